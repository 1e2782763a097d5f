# Install rules for host developers: the shared library with its SONAME, the public header
# with its generated version header, a relocatable CMake package (Kesvar::kesvar) and a
# pkg-config file; with the tool, its man page (the HTML reference is in cmake/docs.cmake).
# kesvar_static and the test programs are never installed.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KESVAR_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Kesvar"
    CACHE STRING "Where KesvarConfig.cmake goes, relative to the install prefix")
set(KESVAR_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
    CACHE STRING "Where kesvar.pc goes, relative to the install prefix")

install(TARGETS kesvar EXPORT KesvarTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kesvar.h
              ${KESVAR_GENERATED_INCLUDE_DIR}/kesvar_version.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel)

# The exported targets file locates everything relative to itself, so the installed tree can
# be moved as a whole.
install(EXPORT KesvarTargets NAMESPACE Kesvar:: FILE KesvarTargets.cmake
    DESTINATION ${KESVAR_INSTALL_CMAKEDIR} COMPONENT devel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KesvarConfig.cmake.in
    ${PROJECT_BINARY_DIR}/package/KesvarConfig.cmake
    INSTALL_DESTINATION ${KESVAR_INSTALL_CMAKEDIR}
    NO_SET_AND_CHECK_MACRO NO_CHECK_REQUIRED_COMPONENTS_MACRO)
# A new major version is a new SONAME, so only the same major version is compatible.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/KesvarConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/KesvarConfig.cmake
              ${PROJECT_BINARY_DIR}/package/KesvarConfigVersion.cmake
    DESTINATION ${KESVAR_INSTALL_CMAKEDIR} COMPONENT devel)

# pkg-config: paths relative to ${pcfiledir}, so the .pc file moves with the tree too.
function(kesvar_pc_path var dir)
    if(IS_ABSOLUTE "${dir}")
        set(${var} "${dir}" PARENT_SCOPE)
    else()
        set(${var} "\${prefix}/${dir}" PARENT_SCOPE)
    endif()
endfunction()
if(IS_ABSOLUTE "${KESVAR_INSTALL_PKGCONFIGDIR}")
    set(KESVAR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH _kesvar_up "/root/${KESVAR_INSTALL_PKGCONFIGDIR}" "/root")
    string(REGEX REPLACE "/$" "" _kesvar_up "${_kesvar_up}")
    set(KESVAR_PC_PREFIX "\${pcfiledir}/${_kesvar_up}")
endif()
kesvar_pc_path(KESVAR_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
kesvar_pc_path(KESVAR_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
get_target_property(KESVAR_PC_LIBNAME kesvar OUTPUT_NAME)
if(NOT KESVAR_PC_LIBNAME)
    set(KESVAR_PC_LIBNAME kesvar)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kesvar.pc.in ${PROJECT_BINARY_DIR}/package/kesvar.pc
    @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/kesvar.pc
    DESTINATION ${KESVAR_INSTALL_PKGCONFIGDIR} COMPONENT devel)

# The command-line tool is defined in tools/, which is read after this file: install it once
# the whole project has been read, if it was built at all.
function(kesvar_install_tool)
    if(TARGET kesvar_cli)
        if(NOT WIN32)
            file(RELATIVE_PATH _kesvar_rpath "/root/${CMAKE_INSTALL_BINDIR}"
                 "/root/${CMAKE_INSTALL_LIBDIR}")
            set_property(TARGET kesvar_cli APPEND PROPERTY INSTALL_RPATH
                         "$ORIGIN/${_kesvar_rpath}")
        endif()
        install(TARGETS kesvar_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
        if(NOT WIN32)
            install(FILES ${PROJECT_SOURCE_DIR}/docs/kesvar.1
                DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
        endif()
    endif()
endfunction()
if(CMAKE_VERSION VERSION_GREATER_EQUAL 3.19)
    cmake_language(DEFER CALL kesvar_install_tool)
else()
    message(STATUS "CMake ${CMAKE_VERSION} cannot defer: the kesvar tool is not installed")
endif()
