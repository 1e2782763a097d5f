# The in-memory host: the terminal the kesvar tool runs scenarios in, and the one host behind
# the tests, the benchmarks, the fuzz harnesses and the WebAssembly package, so it is built
# whenever any of them is.
if(KESVAR_BUILD_TESTS OR KESVAR_BUILD_TOOLS OR KESVAR_BUILD_BENCH OR EMSCRIPTEN)
  add_library(kesvar_memory_host STATIC ${CMAKE_CURRENT_LIST_DIR}/memory_host.cpp)
  target_include_directories(kesvar_memory_host PUBLIC ${PROJECT_SOURCE_DIR}/tools)
  target_link_libraries(kesvar_memory_host PUBLIC kesvar_static)
endif()
