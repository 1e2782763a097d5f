# API reference: `cmake --build <dir> --target docs` runs Doxygen over the public header and
# docs/integrating.md. Any undocumented public name is an error, not a warning.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
    set(KESVAR_DOCS_INPUT
        "\"${PROJECT_SOURCE_DIR}/include/kesvar.h\" \"${PROJECT_SOURCE_DIR}/docs/integrating.md\"")
    set(KESVAR_DOCS_MAINPAGE "${PROJECT_SOURCE_DIR}/docs/integrating.md")
    set(KESVAR_DOCS_OUTPUT "${PROJECT_BINARY_DIR}/docs")
    set(KESVAR_DOXYFILE "${PROJECT_BINARY_DIR}/docs/Doxyfile")
    configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${KESVAR_DOXYFILE} @ONLY)
    add_custom_target(docs
        COMMAND ${DOXYGEN_EXECUTABLE} ${KESVAR_DOXYFILE}
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        COMMENT "Building the API reference in ${KESVAR_DOCS_OUTPUT}/html"
        VERBATIM)
else()
    message(STATUS "Doxygen not found: no docs target")
endif()
