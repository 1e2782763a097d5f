// The DLL entry point: process attach creates the lock; nothing else is done on attach,
// detach or thread events, and unload frees nothing.
#include <windows.h>

#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) kesvar::platform::ProcessAttach();
    return TRUE;
}
