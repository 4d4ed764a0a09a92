# Cross-compiles for another Linux CPU with Debian's cross compilers
# (g++-TRIPLE), the tests run under qemu-user where the CPU is not this one.
#   -DQUILLMAR_CROSS=s390x-linux-gnu -DQUILLMAR_QEMU=s390x
# Programs are linked statically, so the emulator needs no libraries of the
# other CPU.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${QUILLMAR_CROSS}")
set(CMAKE_C_COMPILER ${QUILLMAR_CROSS}-gcc)
set(CMAKE_CXX_COMPILER ${QUILLMAR_CROSS}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMAR_CROSS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
if(QUILLMAR_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${QUILLMAR_QEMU})
endif()
