# Saved fuzz inputs (the seed corpora and every crash input found) replayed through the fuzz
# targets' bodies, built without libFuzzer, in every native configuration.
if(NOT WIN32)
  add_executable(kesvar_fuzz_replay ${PROJECT_SOURCE_DIR}/fuzz/harness.cpp
                                    ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_include_directories(kesvar_fuzz_replay PRIVATE ${PROJECT_SOURCE_DIR}/fuzz
                                                        ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(kesvar_fuzz_replay PRIVATE kesvar_memory_host)
  foreach(target settings classes host_answers)
    add_test(NAME fuzz_replay.${target}
             COMMAND kesvar_fuzz_replay ${target} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target}
                     ${CMAKE_CURRENT_SOURCE_DIR}/data/fuzz-regressions/${target})
    set_tests_properties(fuzz_replay.${target} PROPERTIES TIMEOUT ${KESVAR_TEST_TIMEOUT})
  endforeach()
  # The tool's readers, wherever the tool is built.
  if(KESVAR_BUILD_TOOLS AND NOT CMAKE_CROSSCOMPILING
     AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
    target_sources(kesvar_fuzz_replay PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/tool_harness.cpp)
    target_compile_definitions(kesvar_fuzz_replay PRIVATE KESVAR_FUZZ_TOOLS)
    target_link_libraries(kesvar_fuzz_replay PRIVATE kesvar_cli_core)
    foreach(target scenario limits_csv)
      add_test(NAME fuzz_replay.${target}
               COMMAND kesvar_fuzz_replay ${target} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target}
                       ${CMAKE_CURRENT_SOURCE_DIR}/data/fuzz-regressions/${target})
      set_tests_properties(fuzz_replay.${target} PROPERTIES TIMEOUT ${KESVAR_TEST_TIMEOUT})
    endforeach()
  endif()
endif()
