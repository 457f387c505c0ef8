# Cross build for Windows with Debian's MinGW-w64 compilers (the "posix" thread flavour, whose
# C++ runtime has std::thread). Included by the two toolchain files beside it, which set
# DRAVELLO_MINGW_ARCH; pass one of them as CMAKE_TOOLCHAIN_FILE.
#
# Everything is linked statically (libstdc++, libgcc, winpthread, zlib, libdeflate), so that
# dravello.exe and ZIPENGINE.DLL import only Windows' own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${DRAVELLO_MINGW_ARCH})
set(DRAVELLO_MINGW_TRIPLET ${DRAVELLO_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${DRAVELLO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DRAVELLO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DRAVELLO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DRAVELLO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's libz-mingw-w64-dev ships both libz.a and an import library for zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
