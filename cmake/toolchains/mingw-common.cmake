# Shared by the MinGW-w64 toolchain files; KESVAR_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${KESVAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESVAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESVAR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESVAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked statically: wine (and a host machine) then needs no MinGW runtime DLLs,
# and Kesvar.dll imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
