# Tests of the kesvar tool: they run the built binary as a user would.
if(KESVAR_BUILD_TOOLS AND NOT CMAKE_CROSSCOMPILING AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
  add_executable(kesvar_cli_tests cli_test.cpp)
  target_link_libraries(kesvar_cli_tests PRIVATE ${KESVAR_GTEST} nlohmann_json::nlohmann_json)
  target_include_directories(kesvar_cli_tests PRIVATE ${PROJECT_SOURCE_DIR}/src) # settings/names.h
  target_compile_definitions(kesvar_cli_tests PRIVATE
    KESVAR_CLI="$<TARGET_FILE:kesvar_cli>"
    KESVAR_CLI_DIR="$<TARGET_FILE_DIR:kesvar_cli>"
    KESVAR_CLI_DATA="${PROJECT_SOURCE_DIR}/tests/data/cli"
    KESVAR_DEMO_DIR="${PROJECT_SOURCE_DIR}/examples/demo"
    KESVAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KESVAR_PROJECT_VERSION="${PROJECT_VERSION}")
  add_dependencies(kesvar_cli_tests kesvar_cli)
  gtest_discover_tests(kesvar_cli_tests DISCOVERY_TIMEOUT 300
                       PROPERTIES TIMEOUT ${KESVAR_TOOL_TEST_TIMEOUT})
endif()

# explain, what-if, stress and report: the tool's own sources with the library's trace, in
# process (explain_test) and as a user runs the tool (report_test, which needs Chromium).
if(KESVAR_BUILD_TOOLS AND NOT CMAKE_CROSSCOMPILING AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  add_executable(kesvar_why_tests explain_test.cpp report_test.cpp risk_test.cpp)
  target_link_libraries(kesvar_why_tests PRIVATE kesvar_cli_core ${KESVAR_GTEST})
  target_compile_definitions(kesvar_why_tests PRIVATE
    KESVAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    KESVAR_CLI="$<TARGET_FILE:kesvar_cli>"
    KESVAR_DEMO_DIR="${PROJECT_SOURCE_DIR}/examples/demo"
    KESVAR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
  add_dependencies(kesvar_why_tests kesvar_cli)
  # The golden test's file is compiled in for its world: its test gets a prefix here.
  gtest_discover_tests(kesvar_why_tests TEST_PREFIX "why." DISCOVERY_TIMEOUT 300
                       PROPERTIES TIMEOUT ${KESVAR_TOOL_TEST_TIMEOUT})
endif()
