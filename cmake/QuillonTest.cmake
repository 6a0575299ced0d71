include(GoogleTest)

# quillon_add_test(<name> [THREADED] SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable; its cases are registered with CTest one by one.
# THREADED suites also run in the ThreadSanitizer build.
function(quillon_add_test name)
  cmake_parse_arguments(QT "THREADED" "" "SOURCES;LIBS" ${ARGN})
  if(QUILLON_THREADED_TESTS_ONLY AND NOT QT_THREADED)
    return()
  endif()
  # The Windows build runs the suites that need no simulated machine: those that link the stand-in
  # (platform, platform_devices) exist only over it.
  if(NOT QUILLON_STANDIN AND ("platform" IN_LIST QT_LIBS OR "platform_devices" IN_LIST QT_LIBS))
    return()
  endif()
  add_executable(${name} ${QT_SOURCES})
  target_link_libraries(${name} PRIVATE ${QT_LIBS} GTest::gmock_main GTest::gmock GTest::gtest Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(labels unit)
  if(QT_THREADED)
    set(labels threaded)
  endif()
  if(NOT QUILLON_STANDIN)
    # GCC 12 at -O2 and above takes the copy inside a vector of bytes grown by insert for an
    # out-of-bounds access (known false positives of these two checks, in libstdc++'s own code
    # inlined into the tests' byte helpers); the stand-in's debug builds never see them.
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overread)
    # One Wine process per suite: a process per case would cost Wine's start-up hundreds of times.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS "${labels};windows" TIMEOUT 300)
    return()
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" TIMEOUT 300
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endfunction()
