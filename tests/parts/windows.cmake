# Windows: kesvar_tests also loads Kesvar.dll with LoadLibrary, the way a host does; the DLL
# is copied beside the test program, where the loader looks first.
if(WIN32)
  add_dependencies(kesvar_tests kesvar)
  add_custom_command(TARGET kesvar_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:kesvar> $<TARGET_FILE_DIR:kesvar_tests>
    VERBATIM)
endif()
