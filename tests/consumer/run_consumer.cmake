# What a host developer does with a release: install it, move the installed tree, build the
# example host against it through the CMake package and through pkg-config, build the host
# that opens the library at run time from the installed headers alone, and run them.
# Run with cmake -P; the -D variables come from tests/cmake/install-and-docs-tests.cmake.
cmake_minimum_required(VERSION 3.16)

foreach(var BUILD_DIR SOURCE_DIR WORK_DIR GENERATOR C_COMPILER CXX_COMPILER LIBDIR INCLUDEDIR
        CMAKEDIR PKGCONFIGDIR DOCDIR MANDIR PKG_CONFIG VERSION VERSION_NUMBER EXPECTED_OUTPUT
        EXPECTED_DLOPEN_OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run_consumer.cmake needs -D${var}=...")
    endif()
endforeach()
separate_arguments(extra_flags UNIX_COMMAND "${EXTRA_FLAGS}")

function(run)
    cmake_parse_arguments(R "" "OUTPUT;WORKING_DIRECTORY" "COMMAND" ${ARGN})
    if(NOT R_WORKING_DIRECTORY)
        set(R_WORKING_DIRECTORY "${WORK_DIR}")
    endif()
    execute_process(COMMAND ${R_COMMAND} WORKING_DIRECTORY "${R_WORKING_DIRECTORY}"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " cmd "${R_COMMAND}")
        message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
    endif()
    if(R_OUTPUT)
        set(${R_OUTPUT} "${out}" PARENT_SCOPE)
    endif()
endfunction()

function(expect_same what expected actual)
    if(NOT expected STREQUAL actual)
        file(WRITE "${WORK_DIR}/${what}.expected" "${expected}")
        file(WRITE "${WORK_DIR}/${what}.actual" "${actual}")
        message(FATAL_ERROR "${what}: output differs from the expected one "
                            "(${WORK_DIR}/${what}.expected)\n"
                            "--- got (also in ${WORK_DIR}/${what}.actual):\n${actual}")
    endif()
endfunction()

function(expect_same_file installed source)
    file(READ "${installed}" installed_text)
    file(READ "${source}" source_text)
    if(NOT installed_text STREQUAL source_text)
        message(FATAL_ERROR "${installed} differs from ${source}")
    endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(stage "${WORK_DIR}/stage")
set(prefix "${WORK_DIR}/prefix")

# --- 1. Install, and check that the tree holds the release and nothing else ----------------
set(config_args)
if(CONFIG)
    set(config_args --config "${CONFIG}")
endif()
run(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${stage}" ${config_args})

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(SORT installed)
set(expected_files
    "${CMAKEDIR}/KesvarConfig.cmake"
    "${CMAKEDIR}/KesvarConfigVersion.cmake"
    "${CMAKEDIR}/KesvarTargets.cmake"
    "${INCLUDEDIR}/kesvar.h"
    "${INCLUDEDIR}/kesvar_version.h"
    "${LIBDIR}/libkesvar.so"
    "${LIBDIR}/libkesvar.so.1"
    "${LIBDIR}/libkesvar.so.1.0.0"
    "${PKGCONFIGDIR}/kesvar.pc")
if(TOOL_NAME)
    list(APPEND expected_files "bin/${TOOL_NAME}" "${MANDIR}/man1/kesvar.1")
endif()
if(DOCS)
    list(APPEND expected_files "${DOCDIR}/html/index.html")
endif()
set(unexpected "${installed}")
foreach(f ${expected_files})
    if(NOT f IN_LIST installed)
        message(FATAL_ERROR "not installed: ${f}\ninstalled: ${installed}")
    endif()
    list(REMOVE_ITEM unexpected "${f}")
endforeach()
# One per-configuration targets file goes with KesvarTargets.cmake; anything else is a stray.
list(FILTER unexpected EXCLUDE REGEX "^${CMAKEDIR}/KesvarTargets-[a-z]+\\.cmake$")
# ...and the pages, pictures and scripts of the HTML reference go with its index.
if(DOCS)
    list(FILTER unexpected EXCLUDE REGEX "^${DOCDIR}/html/")
endif()
if(unexpected)
    message(FATAL_ERROR "installed but not part of a release: ${unexpected}")
endif()

file(READ_SYMLINK "${stage}/${LIBDIR}/libkesvar.so" dev_link)
file(READ_SYMLINK "${stage}/${LIBDIR}/libkesvar.so.1" soname_link)
if(NOT dev_link STREQUAL "libkesvar.so.1" OR NOT soname_link STREQUAL "libkesvar.so.1.0.0")
    message(FATAL_ERROR "library links: libkesvar.so -> ${dev_link}, "
                        "libkesvar.so.1 -> ${soname_link}")
endif()
if(READELF)
    run(COMMAND "${READELF}" -d "${stage}/${LIBDIR}/libkesvar.so.1.0.0" OUTPUT dynamic)
    if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[libkesvar\\.so\\.1\\]")
        message(FATAL_ERROR "libkesvar.so.1.0.0 does not carry the SONAME libkesvar.so.1:\n"
                            "${dynamic}")
    endif()
endif()
expect_same_file("${stage}/${INCLUDEDIR}/kesvar.h" "${SOURCE_DIR}/include/kesvar.h")
expect_same_file("${stage}/${INCLUDEDIR}/kesvar_version.h" "${BUILD_DIR}/include/kesvar_version.h")
if(TOOL_NAME)
    expect_same_file("${stage}/${MANDIR}/man1/kesvar.1" "${SOURCE_DIR}/docs/kesvar.1")
endif()

# A packager splits the release by component: the docs component is the reference alone.
if(DOCS)
    run(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/docs-only"
                --component docs ${config_args})
    file(GLOB_RECURSE docs_only LIST_DIRECTORIES false RELATIVE "${WORK_DIR}/docs-only"
         "${WORK_DIR}/docs-only/*")
    list(FILTER docs_only EXCLUDE REGEX "^${DOCDIR}/html/")
    if(docs_only OR NOT EXISTS "${WORK_DIR}/docs-only/${DOCDIR}/html/index.html")
        message(FATAL_ERROR "the docs component must hold the HTML reference and nothing else; "
                            "besides it: ${docs_only}")
    endif()
endif()

# The package and the .pc file must not remember where they were installed.
file(RENAME "${stage}" "${prefix}")

# --- 2. The header alone, as strict C99 and strict C++17, linked against the library --------
set(strict -Wall -Wextra -Werror -pedantic)
set(link_args -L${prefix}/${LIBDIR} -lkesvar -Wl,-rpath,${prefix}/${LIBDIR})
run(COMMAND "${C_COMPILER}" -std=c99 ${strict} -Wstrict-prototypes ${extra_flags}
            -I${prefix}/${INCLUDEDIR} "${SOURCE_DIR}/tests/consumer/header_check.c"
            -o "${WORK_DIR}/header_check_c" ${link_args})
run(COMMAND "${WORK_DIR}/header_check_c" OUTPUT c_out)
set(unknown_code "unknown code: not a Kesvar last-error value")
expect_same(header_check_c "21 exports\nversion ${VERSION}\n11 codes named, unknown codes: ${unknown_code}\n"
            "${c_out}")
run(COMMAND "${CXX_COMPILER}" -std=c++17 ${strict} ${extra_flags}
            -I${prefix}/${INCLUDEDIR} "${SOURCE_DIR}/tests/consumer/header_check.cpp"
            -o "${WORK_DIR}/header_check_cxx" ${link_args})
run(COMMAND "${WORK_DIR}/header_check_cxx" OUTPUT cxx_out)
expect_same(header_check_cxx
            "refused: KR_ERR_STATE: library not initialised yet, or already initialised\n"
            "${cxx_out}")

# --- 3. The example host, found through the CMake package and through pkg-config -----------
file(READ "${EXPECTED_OUTPUT}" expected_output)
# The example's own CMakeLists.txt leaves -Werror to the consumer; here it must compile clean.
set(host_args -G "${GENERATOR}" -DCMAKE_C_COMPILER=${C_COMPILER}
              "-DCMAKE_C_FLAGS=-Werror ${EXTRA_FLAGS}" -DCMAKE_BUILD_TYPE=Release)

run(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/host" -B "${WORK_DIR}/host-package"
            ${host_args} "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/host-package")
run(COMMAND "${WORK_DIR}/host-package/kesvar_example_host" OUTPUT package_out)
expect_same(host_package "${expected_output}" "${package_out}")

run(COMMAND "${CMAKE_COMMAND}" -E env "PKG_CONFIG_PATH=${prefix}/${PKGCONFIGDIR}"
            "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/host" -B "${WORK_DIR}/host-pkgconfig"
            ${host_args} -DKESVAR_HOST_USE_PKGCONFIG=ON)
run(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/host-pkgconfig")
run(COMMAND "${WORK_DIR}/host-pkgconfig/kesvar_example_host" OUTPUT pkgconfig_out)
expect_same(host_pkgconfig "${expected_output}" "${pkgconfig_out}")

if(READELF)
    # Both hosts must load the installed library by its SONAME.
    foreach(host host-package host-pkgconfig)
        run(COMMAND "${READELF}" -d "${WORK_DIR}/${host}/kesvar_example_host" OUTPUT dynamic)
        if(NOT dynamic MATCHES "\\(NEEDED\\)[^\n]*\\[libkesvar\\.so\\.1\\]")
            message(FATAL_ERROR "${host} does not need libkesvar.so.1:\n${dynamic}")
        endif()
    endforeach()
endif()
# --- 4. The host that opens the library at run time: headers only, through pkg-config -------
run(COMMAND "${CMAKE_COMMAND}" -E env "PKG_CONFIG_PATH=${prefix}/${PKGCONFIGDIR}"
            "${PKG_CONFIG}" --cflags kesvar OUTPUT pc_cflags)
separate_arguments(pc_cflags UNIX_COMMAND "${pc_cflags}")
set(dl_args)
foreach(lib ${DL_LIBS})
    list(APPEND dl_args -l${lib})
endforeach()
run(COMMAND "${C_COMPILER}" -std=c99 ${strict} ${extra_flags} ${pc_cflags}
            "${SOURCE_DIR}/examples/dlopen/dlopen.c" -o "${WORK_DIR}/dlopen_host" ${dl_args})
file(READ "${EXPECTED_DLOPEN_OUTPUT}" expected_dlopen)
string(REPLACE "@VERSION@" "${VERSION}" expected_dlopen "${expected_dlopen}")
string(REPLACE "@VERSION_NUMBER@" "${VERSION_NUMBER}" expected_dlopen "${expected_dlopen}")
# By path, and by the file name of its major version through the loader's search path.
run(COMMAND "${WORK_DIR}/dlopen_host" "${prefix}/${LIBDIR}/libkesvar.so.1" OUTPUT dlopen_out)
expect_same(dlopen_by_path "${expected_dlopen}" "${dlopen_out}")
run(COMMAND "${CMAKE_COMMAND}" -E env "LD_LIBRARY_PATH=${prefix}/${LIBDIR}"
            "${WORK_DIR}/dlopen_host" OUTPUT dlopen_out)
expect_same(dlopen_by_name "${expected_dlopen}" "${dlopen_out}")
if(READELF)
    run(COMMAND "${READELF}" -d "${WORK_DIR}/dlopen_host" OUTPUT dynamic)
    if(dynamic MATCHES "libkesvar")
        message(FATAL_ERROR "dlopen_host is linked against the library:\n${dynamic}")
    endif()
endif()
message(STATUS "installed, relocated; both example hosts and the run-time loading host printed "
               "the expected figures")
