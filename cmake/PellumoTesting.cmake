# pellumo_add_test(NAME <name> SOURCES <files...> LIBS <targets...>
#                  [THREADED] [DISPLAY] [TIMEOUT <seconds>])
#
# Builds a GoogleTest executable and registers its cases with CTest.
# THREADED marks suites that run threads: they also run in the ThreadSanitizer
#   build (label "threaded", built by the target "threaded-tests").
# DISPLAY marks suites that need an X display (label "display"); the test
#   script provides one with Xvfb when none is present.
include(GoogleTest)
find_package(GTest REQUIRED)

function(pellumo_add_test)
  cmake_parse_arguments(T "THREADED;DISPLAY" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  pellumo_warnings(${T_NAME})
  set(labels unit)
  if(T_THREADED)
    list(APPEND labels threaded)
    set_property(GLOBAL APPEND PROPERTY PELLUMO_THREADED_TESTS ${T_NAME})
  endif()
  if(T_DISPLAY)
    list(APPEND labels display)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # One label word per suite (list-valued properties do not survive test
  # discovery); select with regular expressions: ctest -L threaded.
  list(JOIN labels "_" labels)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT})
endfunction()

# A target that builds only the threaded suites (used by the ThreadSanitizer run).
function(pellumo_finish_threaded_tests)
  get_property(threaded GLOBAL PROPERTY PELLUMO_THREADED_TESTS)
  add_custom_target(threaded-tests)
  if(threaded)
    add_dependencies(threaded-tests ${threaded})
  endif()
endfunction()
