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
  gtest_discover_tests(kesvar_cli_tests DISCOVERY_TIMEOUT 300)
endif()
