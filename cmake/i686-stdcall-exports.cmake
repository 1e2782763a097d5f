# 32-bit x86 Windows: the exports are __stdcall (name@bytes in the objects). kesvar.def lists
# them undecorated, and the linker's stdcall fix-up binds each to its decorated symbol, so
# the DLL exports plain names. The import library the linker writes would then only know the
# plain names, which no __stdcall caller asks for: it is rewritten from kesvar_x86.def, whose
# decorated names map to the plain exports (dlltool -k).
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(kesvar PRIVATE -Wl,--enable-stdcall-fixup)
  if(CMAKE_DLLTOOL)
    set(KESVAR_DLLTOOL ${CMAKE_DLLTOOL})
  else()
    string(REGEX REPLACE "g\\+\\+(-posix|-win32)?$" "dlltool" KESVAR_DLLTOOL ${CMAKE_CXX_COMPILER})
  endif()
  add_custom_command(TARGET kesvar POST_BUILD
    COMMAND ${KESVAR_DLLTOOL} -k -D Kesvar.dll -d ${PROJECT_SOURCE_DIR}/src/exports/kesvar_x86.def
            -l $<TARGET_LINKER_FILE:kesvar>
    COMMENT "Import library of Kesvar.dll with __stdcall names"
    VERBATIM)
endif()
