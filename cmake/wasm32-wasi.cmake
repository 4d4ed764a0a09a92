# The browser page's build: the core compiled for WebAssembly with the WASI
# C library, by Debian's clang, into a module that the page instantiates.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# The compiler's test links a program; a module without main is the page's.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# The C++ library for this target cannot throw.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
