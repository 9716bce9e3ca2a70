# Cross-compiles for Windows with Debian's mingw-w64: 64-bit, whose tests run
# under wine, or 32-bit when PWDRAW_MINGW_PROCESSOR is i686 (see
# mingw-w64-i686.cmake), which is built only: wine64 runs no 32-bit code.
if(NOT PWDRAW_MINGW_PROCESSOR)
  set(PWDRAW_MINGW_PROCESSOR x86_64)
endif()
set(triplet ${PWDRAW_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PWDRAW_MINGW_PROCESSOR})
# The posix thread model: GoogleTest needs std::mutex, which the win32
# model of GCC 12 lacks.
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static C and C++ runtimes, so that each .exe runs alone, and no link time
# in the header, so that the same sources give the same .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
if(PWDRAW_MINGW_PROCESSOR STREQUAL x86_64)
  find_program(WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE})
endif()
