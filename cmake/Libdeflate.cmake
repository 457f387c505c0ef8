# libdeflate, which the zip engine compresses with and the archive check inflates with:
# PkgConfig::LIBDEFLATE for every folder of the build.
if(WIN32)
  # No MinGW package exists: tools/mingw-libdeflate.sh builds Debian's sources of the version the
  # Linux build uses into the build folder.
  set(DRAVELLO_LIBDEFLATE_ROOT ${CMAKE_BINARY_DIR}/libdeflate CACHE PATH "libdeflate built for Windows")
  if(NOT EXISTS ${DRAVELLO_LIBDEFLATE_ROOT}/lib/libdeflate.a)
    message(FATAL_ERROR "libdeflate for Windows is missing in ${DRAVELLO_LIBDEFLATE_ROOT}; "
                        "run tools/mingw-libdeflate.sh ${CMAKE_BINARY_DIR} ${DRAVELLO_MINGW_TRIPLET} first")
  endif()
  add_library(dravello_libdeflate STATIC IMPORTED GLOBAL)
  set_target_properties(dravello_libdeflate PROPERTIES
    IMPORTED_LOCATION ${DRAVELLO_LIBDEFLATE_ROOT}/lib/libdeflate.a
    INTERFACE_INCLUDE_DIRECTORIES ${DRAVELLO_LIBDEFLATE_ROOT}/include)
  add_library(PkgConfig::LIBDEFLATE ALIAS dravello_libdeflate)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET GLOBAL libdeflate)
endif()
