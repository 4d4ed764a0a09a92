# The browser page: the core as a WebAssembly module, inlined with the
# page's script into one HTML file that works opened from disk.
# Included by the top-level CMakeLists.txt for the wasm32-wasi build.
add_executable(quillmar_page app/page/page_main.cc)
target_link_libraries(quillmar_page PRIVATE quillmar_core)
set_target_properties(quillmar_page PROPERTIES SUFFIX .wasm)
# Settings files convert in a few MiB; only a line of hundreds of MB needs
# more, and a tab that grows past 2 GiB endangers the browser on many PCs.
# There the core runs out of memory, and the page says so.
math(EXPR page_memory "2 << 30")
# A module without main, its functions called by the page; no names or
# debugging sections, which only add to the page.
target_link_options(quillmar_page PRIVATE -mexec-model=reactor -Wl,--strip-all -Wl,--gc-sections
                    -Wl,--max-memory=${page_memory})

find_program(NODE node REQUIRED)
set(page_dir ${CMAKE_CURRENT_SOURCE_DIR}/app/page)
set(page ${CMAKE_CURRENT_BINARY_DIR}/quillmar-${PROJECT_VERSION}.html)
add_custom_command(OUTPUT ${page}
                   COMMAND ${NODE} ${page_dir}/build_page.mjs ${page_dir}
                           $<TARGET_FILE:quillmar_page> ${PROJECT_VERSION} ${page}
                   DEPENDS quillmar_page ${page_dir}/build_page.mjs ${page_dir}/page.html
                           ${page_dir}/page.css ${page_dir}/page.js ${page_dir}/worker.js
                   VERBATIM)
add_custom_target(page ALL DEPENDS ${page})

if(QUILLMAR_TESTS)
  enable_testing()
  # The core's unit tests that need no thread, file or exception, built for
  # this target and run under Node.js's WASI: a difference of this C++
  # library, in reading numbers above all, shows where it starts.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # WASI has no dup() to capture a stream with.
  target_compile_definitions(gtest PUBLIC GTEST_HAS_STREAM_REDIRECTION=0 GTEST_HAS_EXCEPTIONS=0)
  target_compile_options(gtest PRIVATE -w -fno-exceptions)
  target_compile_options(gtest_main PRIVATE -w -fno-exceptions)
  file(GLOB wasm_tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/rules/*_test.cc
       ${PROJECT_SOURCE_DIR}/textio/*_test.cc)
  list(FILTER wasm_tests EXCLUDE REGEX "(background_sink|file_io)_test")
  add_executable(quillmar_wasm_tests ${wasm_tests} tests/support/memory_io.cc)
  set_target_properties(quillmar_wasm_tests PROPERTIES SUFFIX .wasm)
  target_link_libraries(quillmar_wasm_tests PRIVATE quillmar_core gtest_main)
  add_test(NAME wasm.unit_tests
           COMMAND ${NODE} --no-warnings ${PROJECT_SOURCE_DIR}/tests/page/run_wasi.mjs
                   $<TARGET_FILE:quillmar_wasm_tests>)
  # The page in headless Chromium and Firefox, driven by puppeteer-core
  # from node_modules (npm ci): the program's end-to-end cases, and its own.
  file(GLOB case_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/cases/*.cases)
  foreach(browser chromium firefox)
    add_test(NAME page.cases.${browser}
             COMMAND ${NODE} ${PROJECT_SOURCE_DIR}/tests/page/cases_in_page.mjs ${page} ${browser}
                     ${case_files})
    add_test(NAME page.own_cases.${browser}
             COMMAND ${NODE} ${PROJECT_SOURCE_DIR}/tests/page/page_test.mjs ${page} ${browser})
    set_tests_properties(page.cases.${browser} page.own_cases.${browser} PROPERTIES TIMEOUT 900)
  endforeach()
endif()
