# Cross-compiles for 32-bit Windows with Debian's mingw-w64 (i686-w64-mingw32).
set(PWDRAW_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
