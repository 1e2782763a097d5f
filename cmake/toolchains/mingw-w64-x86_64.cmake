# 64-bit Windows with MinGW-w64. The posix thread model is needed by the tests (std::thread);
# the library itself only calls the Windows API.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(KESVAR_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
