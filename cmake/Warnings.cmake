# Project-wide compiler settings: warnings for our own targets, sanitizers on request.
add_library(dravello_warnings INTERFACE)
target_compile_options(dravello_warnings INTERFACE -Wall -Wextra -Wpedantic)
# "local" shadowing is a GCC spelling; clang would warn about the unknown option on every file.
target_compile_options(dravello_warnings INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)

if(DRAVELLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# dravello_add_library(name sources...): one static library per folder, with the repository
# root on the include path so headers are included as "runtime/Env.h".
function(dravello_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE dravello_warnings)
endfunction()
