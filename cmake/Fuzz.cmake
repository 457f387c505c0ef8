# DRAVELLO_FUZZ: builds the libFuzzer targets under fuzzers/ (clang only). Every library of the
# project is then compiled with the fuzzer's coverage instrumentation and with AddressSanitizer
# and UndefinedBehaviorSanitizer, so a fault anywhere below a target is found, not only in the
# target's own file. Use a build folder of its own (./fuzz uses build-fuzz/).
option(DRAVELLO_FUZZ "Build the libFuzzer targets (clang; instruments every library)" OFF)

if(DRAVELLO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "DRAVELLO_FUZZ needs clang (e.g. -DCMAKE_CXX_COMPILER=clang++-14), not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  if(DRAVELLO_SANITIZE)
    message(FATAL_ERROR "DRAVELLO_FUZZ brings its own sanitizers; leave DRAVELLO_SANITIZE off")
  endif()
  # Undefined behaviour stops the run (the fuzzer records the input) instead of printing and
  # going on; integer overflow in unsigned arithmetic is well defined and not checked.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# dravello_add_fuzzer(name sources... [SEEDS dir] [MAX_LEN bytes] [DICT file] [LIBS libs...]):
# one fuzzer executable, fuzz_<name>. SEEDS names the folder below fuzz-seeds/ that seeds it
# (default: <name>), MAX_LEN the largest input to try, DICT a libFuzzer dictionary. ./fuzz runs
# every target listed in fuzz-targets.txt in the build folder.
function(dravello_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SEEDS;MAX_LEN;DICT" "LIBS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_UNPARSED_ARGUMENTS})
  target_compile_definitions(fuzz_${name} PRIVATE DRAVELLO_LIBFUZZER)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE dravello_fuzz_support ${ARG_LIBS} dravello_warnings)
  if(NOT ARG_SEEDS)
    set(ARG_SEEDS ${name})
  endif()
  if(NOT ARG_MAX_LEN)
    set(ARG_MAX_LEN 4096)
  endif()
  if(ARG_DICT)
    set(ARG_DICT ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DICT})
  endif()
  set_property(GLOBAL APPEND PROPERTY DRAVELLO_FUZZERS "${name} ${ARG_SEEDS} ${ARG_MAX_LEN} ${ARG_DICT}")
endfunction()

# Writes fuzz-targets.txt: one line per target, "name seeds max_len [dict]".
function(dravello_write_fuzzer_list)
  get_property(fuzzers GLOBAL PROPERTY DRAVELLO_FUZZERS)
  list(JOIN fuzzers "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets.txt "${text}\n")
endfunction()
