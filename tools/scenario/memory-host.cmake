# The one fake host (tests/support): the in-memory terminal behind the tests, the benchmarks
# and the kesvar tool, so it is built whenever any of them is.
if(KESVAR_BUILD_TESTS OR KESVAR_BUILD_TOOLS OR KESVAR_BUILD_BENCH)
  add_library(kesvar_fakehost STATIC ${PROJECT_SOURCE_DIR}/tests/support/fake_host.cpp)
  target_include_directories(kesvar_fakehost PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(kesvar_fakehost PUBLIC kesvar_static)
endif()
