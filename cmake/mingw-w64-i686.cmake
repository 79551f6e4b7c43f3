# Cross-build for 32-bit Windows with MinGW-w64; tests run under Wine's
# 32-bit loader (Debian's wine32:i386) where this machine runs 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

