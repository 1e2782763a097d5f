# API reference: Doxygen over the public header, its generated version header and
# docs/integrating.md, into <build>/docs/html. Any undocumented public name is an error, not a
# warning.
#
# KESVAR_BUILD_DOCS: AUTO (default) builds the reference with everything else and installs it
# (component docs, into CMAKE_INSTALL_DOCDIR/html) when Doxygen is found; ON requires Doxygen;
# OFF leaves it out of the build and the install, though the docs target stays for a build by
# hand. The reference is built by the build, never by the install step.
set(KESVAR_BUILD_DOCS AUTO CACHE STRING
    "Build and install the HTML API reference: AUTO (when Doxygen is found), ON or OFF")
set_property(CACHE KESVAR_BUILD_DOCS PROPERTY STRINGS AUTO ON OFF)
set(KESVAR_DOCS_INSTALLED OFF) # whether the install carries the reference

find_package(Doxygen QUIET)
if(KESVAR_BUILD_DOCS STREQUAL "ON" AND NOT DOXYGEN_FOUND)
    message(FATAL_ERROR "KESVAR_BUILD_DOCS=ON needs Doxygen (Debian: doxygen)")
endif()
if(NOT DOXYGEN_FOUND)
    message(STATUS "Doxygen not found: no docs target, no API reference installed")
    return()
endif()

set(KESVAR_DOCS_SOURCES
    ${PROJECT_SOURCE_DIR}/include/kesvar.h
    ${KESVAR_GENERATED_INCLUDE_DIR}/kesvar_version.h
    ${PROJECT_SOURCE_DIR}/docs/integrating.md)
set(KESVAR_DOCS_INPUT "")
foreach(f ${KESVAR_DOCS_SOURCES})
    string(APPEND KESVAR_DOCS_INPUT " \"${f}\"")
endforeach()
set(KESVAR_DOCS_MAINPAGE "${PROJECT_SOURCE_DIR}/docs/integrating.md")
set(KESVAR_DOCS_OUTPUT "${PROJECT_BINARY_DIR}/docs")
set(KESVAR_DOXYFILE "${PROJECT_BINARY_DIR}/docs/Doxyfile")
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${KESVAR_DOXYFILE} @ONLY)

# The stamp is written only when Doxygen succeeds, so a failed run is retried by the next
# build, and an unchanged header is not documented again.
set(_kesvar_docs_stamp ${KESVAR_DOCS_OUTPUT}/html.stamp)
add_custom_command(OUTPUT ${_kesvar_docs_stamp}
    COMMAND ${DOXYGEN_EXECUTABLE} ${KESVAR_DOXYFILE}
    COMMAND ${CMAKE_COMMAND} -E touch ${_kesvar_docs_stamp}
    DEPENDS ${KESVAR_DOCS_SOURCES} ${KESVAR_DOXYFILE}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Building the API reference in ${KESVAR_DOCS_OUTPUT}/html"
    VERBATIM)
if(KESVAR_BUILD_DOCS STREQUAL "OFF")
    add_custom_target(docs DEPENDS ${_kesvar_docs_stamp})
else()
    add_custom_target(docs ALL DEPENDS ${_kesvar_docs_stamp})
    set(KESVAR_DOCS_INSTALLED ON)
    install(DIRECTORY ${KESVAR_DOCS_OUTPUT}/html/
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/html COMPONENT docs)
endif()
