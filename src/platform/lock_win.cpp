// The library lock on Windows: an unnamed mutex, recursive for its owner (a Windows mutex always
// is), waited for without a time limit. Recursion matters because hooks and callbacks run
// with the lock held on the caller's thread: a host that calls an export from one of them
// re-enters instead of waiting on itself forever. DllMain creates it when the process loads
// Kesvar.dll; programs that link the library statically never run DllMain, so the first Lock()
// creates it as well, race-free.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace kesvar {
namespace platform {

namespace {

// Constant-initialised: no constructor runs at load.
std::atomic<HANDLE> gLock{nullptr};

HANDLE TheLock() {
    HANDLE h = gLock.load(std::memory_order_acquire);
    if (h) return h;
    HANDLE created = CreateMutexW(nullptr, FALSE, nullptr);
    if (!created) return nullptr;
    HANDLE expected = nullptr;
    if (gLock.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) return created;
    // Another thread got there first: keep its mutex.
    CloseHandle(created);
    return expected;
}

} // namespace

void ProcessAttach() {
    // CreateMutexW always writes the last-error value; attach must not.
    DWORD saved = GetLastError();
    TheLock();
    SetLastError(saved);
}

// Both keep the caller's last-error value: some exports promise to leave it unchanged, and
// every other export sets its code while the lock is held, before Unlock runs.
void Lock() {
    DWORD saved = GetLastError();
    WaitForSingleObject(TheLock(), INFINITE);
    SetLastError(saved);
}

void Unlock() {
    DWORD saved = GetLastError();
    ReleaseMutex(gLock.load(std::memory_order_acquire));
    SetLastError(saved);
}

} // namespace platform
} // namespace kesvar
