// Windows only: the platform layer's real calls (mutex, last-error value) and Kesvar.dll as a
// host sees it, loaded with LoadLibrary. The upper-casing calls are held to the portable table by
// host_test.cpp, the export table by the Windows stage of scripts/test.sh. Elsewhere this file
// is empty.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "scenario/memory_host.h"
#include "platform/platform.h"

using namespace memory_host;
namespace platform = kesvar::platform;

namespace {

// Mutexes this process holds a handle to and does not own: ReleaseMutex on a mutex it does not
// own fails with ERROR_NOT_OWNER and changes nothing; on any other handle it fails otherwise.
// (Never called while this thread owns a mutex: that one would be released.)
int CountForeignMutexes() {
    int n = 0;
    for (uintptr_t h = 4; h < 0x1000; h += 4)
        n += !ReleaseMutex(reinterpret_cast<HANDLE>(h)) && GetLastError() == ERROR_NOT_OWNER;
    return n;
}

// Runs `body` `rounds` times on each of `threads` threads started together.
void OnThreads(int threads, int rounds, const std::function<void()>& body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> all;
    for (int i = 0; i < threads; ++i) {
        all.emplace_back([&] {
            for (++ready; ready.load() < threads;) {
            }
            for (int k = 0; k < rounds; ++k)
                body();
        });
    }
    for (std::thread& t : all)
        t.join();
}

} // namespace

// Codes go to the thread's platform value; KRGetLastError reads it and changes nothing.
TEST(WindowsLastError, CodesReachGetLastErrorOfTheCallingThreadOnly) {
    SetLastError(0x12345678);
    EXPECT_EQ(0x12345678, KRGetLastError());
    EXPECT_EQ(0x12345678u, GetLastError());
    EXPECT_EQ(0, KRCleanup());
    EXPECT_EQ(DWORD(KR_ERR_STATE), GetLastError());
    InstallCallbacks();
    EXPECT_EQ(DWORD(KR_ERR_NONE), GetLastError());
    EXPECT_EQ(0, KRInitEx(3, 88, 88));
    EXPECT_EQ(DWORD(KR_ERR_VERSION), GetLastError());
    ASSERT_EQ(1, Install());
    // Another thread's code stays on that thread. No platform call between an export and the
    // read of its code: joining a thread itself writes the value.
    std::atomic<int> step{0};
    DWORD other = 0;
    std::thread t([&] {
        KRInit(88, 88); // refused: already initialised
        for (step = 1; step.load() != 2;) {
        }
        other = GetLastError();
        step = 3;
    });
    while (step.load() != 1) {
    }
    KRCleanupDlifiles();
    const DWORD mine = GetLastError();
    for (step = 2; step.load() != 3;) {
    }
    t.join();
    EXPECT_EQ(std::make_pair(DWORD(KR_ERR_STATE), DWORD(KR_ERR_NONE)), std::make_pair(other, mine));
}

// Statically linked, DllMain never runs: the first Lock() calls race to create the mutex, and
// exactly one wins, so the threads still exclude each other.
TEST(WindowsLock, FirstUseFromManyThreadsCreatesOneLock) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    OnThreads(8, 20, [&] {
        platform::Lock();
        if (inside.fetch_add(1) != 0) overlap = true;
        Sleep(0);
        inside.fetch_sub(1);
        platform::Unlock();
    });
    EXPECT_FALSE(overlap.load());
}

// Kesvar.dll loaded the way a host loads it: the load creates the lock and nothing else, codes
// reach GetLastError and the DLL keeps a state of its own. Its exports take that lock with the
// code the statically linked library's take, whose exclusion the thread tests pin.
TEST(Dll, LoadCreatesTheLockAndKeepsAStateOfItsOwn) {
    const int mutexesBefore = CountForeignMutexes();
    HMODULE dll = LoadLibraryW(L"Kesvar.dll");
    ASSERT_NE(nullptr, dll) << "LoadLibrary failed: " << GetLastError();
    EXPECT_EQ(mutexesBefore + 1, CountForeignMutexes());
#define GET(name)                                                                                  \
    reinterpret_cast<decltype(&name)>(reinterpret_cast<void*>(GetProcAddress(dll, #name)))
    auto setLimits = GET(KRSetLimitCallbacks);
    auto setParams = GET(KRSetParamCallbacks);
    auto initEx = GET(KRInitEx);
    auto lastError = GET(KRGetLastError);
#undef GET
    ASSERT_TRUE(setLimits && setParams && initEx && lastError);
    EXPECT_EQ(1, setLimits(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit));
    EXPECT_EQ(1, setParams(GetParamId, GetParamValue));
    EXPECT_EQ(0, initEx(1, 96, 96));
    EXPECT_EQ(DWORD(KR_ERR_SIZE), GetLastError());
    EXPECT_EQ(KR_ERR_SIZE, lastError());
    ASSERT_EQ(1, initEx(1, 88, 88));
    EXPECT_EQ(mutexesBefore + 1, CountForeignMutexes());
    // The statically linked copy in this program is untouched.
    EXPECT_EQ(0, KRCleanup());
    EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
    FreeLibrary(dll);
}

#endif // _WIN32
