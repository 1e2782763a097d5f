# Host-developer checks: the installed package works for a consumer, the API reference
# documents every public name, and the manual page keeps up with the tool. They need the native
# toolchain, so cross builds skip them.
if(CMAKE_CROSSCOMPILING OR WIN32)
    return()
endif()

find_program(KESVAR_READELF NAMES readelf)
find_program(KESVAR_PKG_CONFIG NAMES pkg-config pkgconf)
set(_consumer_flags "")
if(KESVAR_SANITIZE)
    set(_consumer_flags "-fsanitize=address,undefined -fno-omit-frame-pointer")
elseif(KESVAR_TSAN)
    set(_consumer_flags "-fsanitize=thread")
endif()
# tools/ is read after the tests, so whether the tool exists is known only at generation.
set(_consumer_tool "$<$<TARGET_EXISTS:kesvar_cli>:$<TARGET_FILE_NAME:kesvar_cli>>")

if(KESVAR_PKG_CONFIG)
    add_test(NAME consumer_install_and_example_host
        COMMAND ${CMAKE_COMMAND}
            -DBUILD_DIR=${PROJECT_BINARY_DIR}
            -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/consumer
            -DGENERATOR=${CMAKE_GENERATOR}
            -DCONFIG=$<CONFIG>
            -DC_COMPILER=${CMAKE_C_COMPILER}
            -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
            -DEXTRA_FLAGS=${_consumer_flags}
            -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
            -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR}
            -DCMAKEDIR=${KESVAR_INSTALL_CMAKEDIR}
            -DPKGCONFIGDIR=${KESVAR_INSTALL_PKGCONFIGDIR}
            -DDOCDIR=${CMAKE_INSTALL_DOCDIR}
            -DDOCS=${KESVAR_DOCS_INSTALLED}
            -DMANDIR=${CMAKE_INSTALL_MANDIR}
            -DTOOL_NAME=${_consumer_tool}
            -DREADELF=${KESVAR_READELF}
            -DPKG_CONFIG=${KESVAR_PKG_CONFIG}
            -DDL_LIBS=${CMAKE_DL_LIBS}
            -DVERSION=${PROJECT_VERSION}
            -DVERSION_NUMBER=${KESVAR_VERSION_NUMBER}
            -DEXPECTED_OUTPUT=${PROJECT_SOURCE_DIR}/tests/consumer/expected_host_output.txt
            -DEXPECTED_DLOPEN_OUTPUT=${PROJECT_SOURCE_DIR}/tests/consumer/expected_dlopen_output.txt
            -P ${PROJECT_SOURCE_DIR}/tests/consumer/run_consumer.cmake)
    set_tests_properties(consumer_install_and_example_host PROPERTIES
        LABELS "integration" TIMEOUT 180)
else()
    message(STATUS "pkg-config not found: the consumer test is not added")
endif()

# The manual page keeps up with the tool: every command and option the tool's help lists.
find_program(KESVAR_GROFF NAMES groff)
add_test(NAME man_page_matches_tool
    COMMAND ${CMAKE_COMMAND}
        -DTOOL=$<$<TARGET_EXISTS:kesvar_cli>:$<TARGET_FILE:kesvar_cli>>
        -DMAN_PAGE=${PROJECT_SOURCE_DIR}/docs/kesvar.1
        -DGROFF=${KESVAR_GROFF}
        -P ${PROJECT_SOURCE_DIR}/tests/consumer/man_page_check.cmake)
set_tests_properties(man_page_matches_tool PROPERTIES
    LABELS "integration;docs" TIMEOUT 60 SKIP_REGULAR_EXPRESSION "no kesvar tool in this build")

if(TARGET docs)
    # The reference build fails on any undocumented public name (WARN_AS_ERROR).
    add_test(NAME docs_reference_complete
        COMMAND ${DOXYGEN_EXECUTABLE} ${KESVAR_DOXYFILE}
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    # ...and that gate really closes: the same settings over a header with one undocumented
    # declaration added must fail and name it.
    add_test(NAME docs_gate_rejects_undocumented
        COMMAND ${CMAKE_COMMAND}
            -DDOXYGEN=${DOXYGEN_EXECUTABLE}
            -DDOXYFILE_IN=${PROJECT_SOURCE_DIR}/docs/Doxyfile.in
            -DHEADER=${PROJECT_SOURCE_DIR}/include/kesvar.h
            -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/docs-gate
            -P ${PROJECT_SOURCE_DIR}/tests/consumer/docs_gate.cmake)
    set_tests_properties(docs_reference_complete docs_gate_rejects_undocumented PROPERTIES
        LABELS "integration;docs" TIMEOUT 120)
endif()
