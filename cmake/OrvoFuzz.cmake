# orvo_add_fuzzer(name SOURCES a.cpp ... LIBS lib ... [CORPUS dir]): one fuzz harness, a source
# that defines LLVMFuzzerTestOneInput.
#
# In the fuzz configuration (ORVO_FUZZ, clang) it becomes a libFuzzer program `fuzz_<name>` and
# a ctest case that runs it over its seed corpus and then fuzzes for ORVO_FUZZ_TEST_SECONDS
# with a fixed seed. In the other configurations the same harness is linked with a small main
# that replays every corpus input once, so the regression inputs also run under g++ and its
# sanitizers. The corpus is tests/fuzz/corpus/<name> unless CORPUS names another folder.
set(ORVO_FUZZ_TEST_SECONDS 4 CACHE STRING "Bounded fuzzing time of each harness in the test suite")

function(orvo_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_CORPUS)
    set(F_CORPUS ${name})
  endif()
  set(corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${F_CORPUS})
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})

  if(ORVO_FUZZ)
    set(program fuzz_${name})
    add_executable(${program} ${F_SOURCES})
    target_link_libraries(${program} PRIVATE ${F_LIBS})
    target_link_options(${program} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${program})
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus "${corpus}")  # for tools/fuzz-all.sh
    # New inputs go to the scratch folder (first), never into the committed corpus.
    add_test(NAME fuzz.${name}
             COMMAND ${CMAKE_SOURCE_DIR}/tools/run-fuzzer.sh $<TARGET_FILE:${program}>
                     ${work} ${corpus} ${ORVO_FUZZ_TEST_SECONDS} 1)
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  else()
    set(program fuzz_${name}_replay)
    add_executable(${program} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    target_link_libraries(${program} PRIVATE ${F_LIBS})
    add_test(NAME fuzz_replay.${name} COMMAND ${program} ${corpus})
    set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz_replay)
  endif()
endfunction()
