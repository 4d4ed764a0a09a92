# Cross-compiles the Windows program with MinGW-w64: 64-bit by default
# (Debian package g++-mingw-w64-x86-64), or 32-bit with
# -DQUILLMAR_MINGW=i686 (g++-mingw-w64-i686), for which the project sets the
# SSE2 float arithmetic that exact results need.
if(NOT QUILLMAR_MINGW)
  set(QUILLMAR_MINGW x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUILLMAR_MINGW})
set(CMAKE_CXX_COMPILER ${QUILLMAR_MINGW}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${QUILLMAR_MINGW}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMAR_MINGW}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
