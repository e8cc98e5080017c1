# orvo_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2): one GoogleTest executable,
# each test case registered with ctest.
function(orvo_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
endfunction()
