# Cross-compiles for Linux on another processor with Debian's cross
# compilers and runs what it builds under qemu-user. The presets name the
# target: PWDRAW_TRIPLET (i686-linux-gnu) and PWDRAW_QEMU (i386).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${PWDRAW_QEMU})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PWDRAW_TRIPLET PWDRAW_QEMU)
set(CMAKE_C_COMPILER ${PWDRAW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PWDRAW_TRIPLET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${PWDRAW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static, so that qemu needs none of the target's shared libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(QEMU qemu-${PWDRAW_QEMU}-static REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU})
