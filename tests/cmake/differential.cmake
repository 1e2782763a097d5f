# Cross-target differential: the driver runs seeded worlds through the exports and writes every
# output byte; scripts/stages/45-differential.sh compares the files of the three targets. Here
# each build runs a short range once per interface version, which fails on a leak or when the
# worlds stop reaching the answers the driver expects of them (under the sanitizers too).
add_executable(kesvar_differential ${CMAKE_CURRENT_SOURCE_DIR}/differential/generator.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/differential/driver.cpp)
target_link_libraries(kesvar_differential PRIVATE kesvar_memory_host)
foreach(version 1 2)
  add_test(NAME differential.v${version}
           COMMAND kesvar_differential ${version} 1-100
                   ${CMAKE_CURRENT_BINARY_DIR}/differential-v${version}.bin)
  set_tests_properties(differential.v${version} PROPERTIES TIMEOUT ${KESVAR_TEST_TIMEOUT})
endforeach()
