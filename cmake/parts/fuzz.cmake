# Fuzz targets (libFuzzer, clang only). The library's own objects get coverage
# instrumentation so the fuzzer can steer by it.
option(KESVAR_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)
if(KESVAR_FUZZ)
  target_compile_options(kesvar_objects PRIVATE -fsanitize=fuzzer-no-link)
  add_subdirectory(${PROJECT_SOURCE_DIR}/fuzz ${CMAKE_BINARY_DIR}/fuzz)
endif()
