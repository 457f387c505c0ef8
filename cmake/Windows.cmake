# What the Windows build adds: the Qt front end stays out (Windows gets native windows), every
# program carries the application manifest, and tests run under Wine when cross-built.
if(DRAVELLO_WITH_QT)
  message(STATUS "Windows build: the Qt front end is left out")
  set(DRAVELLO_WITH_QT OFF CACHE BOOL "Build the Qt 6 desktop front end" FORCE)
endif()

enable_language(RC)

# Wide-character Win32 calls throughout, and no min/max macros from <windows.h>.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

set(DRAVELLO_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/windows/dravello.manifest)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/manifest.rc.in ${CMAKE_BINARY_DIR}/dravello-manifest.rc @ONLY)
set(DRAVELLO_MANIFEST_RC ${CMAKE_BINARY_DIR}/dravello-manifest.rc)

# dravello_windows_program(target): gives a program the application manifest.
function(dravello_windows_program target)
  target_sources(${target} PRIVATE ${DRAVELLO_MANIFEST_RC})
  set_property(SOURCE ${DRAVELLO_MANIFEST_RC} APPEND PROPERTY OBJECT_DEPENDS ${DRAVELLO_MANIFEST})
endfunction()

# Cross-built programs run under Wine, in a Wine prefix of the build folder's own.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(DRAVELLO_WINE wine)
  if(DRAVELLO_WINE)
    set(DRAVELLO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${DRAVELLO_WINEPREFIX} WINEDEBUG=-all ${DRAVELLO_WINE})
  else()
    message(STATUS "Wine not found: the Windows tests are built but cannot run here")
  endif()
endif()

# The Windows form of a path of this machine as a Wine program sees it (drive Z: is "/"), for
# paths compiled into tests: "Z:\\work\\x" in C string-literal spelling.
function(dravello_native_path out path)
  string(REPLACE "/" "\\\\" native "${path}")
  set(${out} "Z:${native}" PARENT_SCOPE)
endfunction()

# The program's resources: the icon and the glyphs, written as .ico and .bmp files by glyphres (a
# program of the build machine, built here with its compiler from ui/GlyphPictures.h), and the
# version information. Programs that show windows take them with dravello_windows_resources.
find_program(DRAVELLO_HOST_CXX NAMES c++ g++ clang++)
if(NOT DRAVELLO_HOST_CXX)
  message(FATAL_ERROR "The Windows build needs a compiler for the build machine (c++) to make its resources")
endif()
set(DRAVELLO_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
set(glyph_names PLUS MINUS EDIT RUN OK CANCEL FOLDER)
set(glyph_files ${DRAVELLO_RESOURCE_DIR}/glyphs.rc ${DRAVELLO_RESOURCE_DIR}/dravello.ico)
foreach(name ${glyph_names})
  list(APPEND glyph_files ${DRAVELLO_RESOURCE_DIR}/${name}.bmp)
endforeach()
add_custom_command(
  OUTPUT ${glyph_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DRAVELLO_RESOURCE_DIR}
  COMMAND ${DRAVELLO_HOST_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}
          ${PROJECT_SOURCE_DIR}/tools/windows/glyphres.cpp -o ${DRAVELLO_RESOURCE_DIR}/glyphres
  COMMAND ${DRAVELLO_RESOURCE_DIR}/glyphres ${DRAVELLO_RESOURCE_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/windows/glyphres.cpp ${PROJECT_SOURCE_DIR}/ui/GlyphPictures.h
  COMMENT "Writing the icon and the glyphs as resource files")
add_custom_target(dravello_resources DEPENDS ${glyph_files})
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/resources.rc.in ${DRAVELLO_RESOURCE_DIR}/resources.rc @ONLY)
set(DRAVELLO_RESOURCES_RC ${DRAVELLO_RESOURCE_DIR}/resources.rc)
set(DRAVELLO_GLYPH_FILES ${glyph_files})

# dravello_windows_resources(target): gives a program the icon, the glyphs and the version.
function(dravello_windows_resources target)
  target_sources(${target} PRIVATE ${DRAVELLO_RESOURCES_RC})
  add_dependencies(${target} dravello_resources)
  set_property(SOURCE ${DRAVELLO_RESOURCES_RC} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS
               ${DRAVELLO_GLYPH_FILES})
endfunction()
