# 32-bit Windows (i686-w64-mingw32); see MinGW-w64.cmake.
set(DRAVELLO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW-w64.cmake)
