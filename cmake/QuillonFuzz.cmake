# Fuzz targets.
#
# quillon_add_fuzzer(<name> SOURCES <files...> LIBS <targets...>
#                    [CORPUS <dir>] [DICT <file>])
#
# <files> define LLVMFuzzerTestOneInput. Every build makes <name>_replay, which feeds each file of
# the seed corpus (default tests/fuzz/<name>/corpus) and of tests/fuzz/<name>/regressions through
# the same entry point, registered with CTest as "fuzz_replay.<name>". With QUILLON_FUZZ on (the
# default when the compiler is clang), <name> itself is built as a libFuzzer binary; scripts/test.sh
# runs each one listed in <build>/fuzz_targets.txt for a bounded time.

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(_quillon_fuzz_default ON)
else()
  set(_quillon_fuzz_default OFF)
endif()
option(QUILLON_FUZZ "Build libFuzzer targets (needs clang)" ${_quillon_fuzz_default})

set(QUILLON_FUZZ_LIST "${CMAKE_BINARY_DIR}/fuzz_targets.txt")
file(WRITE "${QUILLON_FUZZ_LIST}" "")

function(quillon_add_fuzzer name)
  cmake_parse_arguments(QF "" "CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  if(QUILLON_THREADED_TESTS_ONLY)
    return()
  endif()
  if(NOT QF_CORPUS)
    set(QF_CORPUS "${PROJECT_SOURCE_DIR}/tests/fuzz/${name}/corpus")
  endif()
  set(regressions "${PROJECT_SOURCE_DIR}/tests/fuzz/${name}/regressions")

  add_executable(${name}_replay ${QF_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/FuzzReplayMain.cpp)
  target_link_libraries(${name}_replay PRIVATE ${QF_LIBS} Threads::Threads)
  target_include_directories(${name}_replay PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME fuzz_replay.${name} COMMAND ${name}_replay ${QF_CORPUS} ${regressions})
  set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS "unit;fuzz" TIMEOUT 300
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

  if(QUILLON_FUZZ)
    add_executable(${name} ${QF_SOURCES})
    target_link_libraries(${name} PRIVATE ${QF_LIBS} Threads::Threads)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(dict "")
    if(QF_DICT)
      set(dict "${QF_DICT}")
    endif()
    # name|binary|corpus|regressions|dictionary
    file(APPEND "${QUILLON_FUZZ_LIST}"
         "${name}|${CMAKE_CURRENT_BINARY_DIR}/${name}|${QF_CORPUS}|${regressions}|${dict}\n")
  endif()
endfunction()
