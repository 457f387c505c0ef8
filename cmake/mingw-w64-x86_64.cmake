# 64-bit Windows (x86_64-w64-mingw32); see MinGW-w64.cmake.
set(DRAVELLO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW-w64.cmake)
