// Windows only: the platform layer's real calls (mutex, last-error value, upper-casing) and
// Kesvar.dll as a host sees it, loaded with LoadLibrary. The export table itself is checked by
// the Windows stage of scripts/test.sh. Elsewhere this file is empty.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

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

// Memory hooks that notice two threads inside the library at once.
std::atomic<int> gInside{0}, gHookCalls{0};
std::atomic<bool> gOverlap{false};
struct Guard {
    Guard() {
        if (gInside.fetch_add(1) != 0) gOverlap = true;
        ++gHookCalls;
        Sleep(0); // give another thread the chance to run into the library now
    }
    ~Guard() { gInside.fetch_sub(1); }
};
// clang-format off
void* KR_CALL GuardAlloc(uint32_t n) { Guard g; return malloc(n ? n : 1); }
void KR_CALL GuardFree(void* b) { Guard g; free(b); }
void* KR_CALL GuardRealloc(void* b, uint32_t n) { Guard g; return realloc(b, n ? n : 1); }
// clang-format on

} // namespace

// The portable table is the one the platform calls give for the ANSI code page, byte by byte and
// for a whole text; the conversion stops at the terminator and at the count.
TEST(WindowsUpperCase, PlatformCallsMatchThePortableTable) {
    const UINT tablePage = platform::UpperCaseByte(0xFF) == 0x9F ? 1252 : 1251;
    if (GetACP() != tablePage)
        GTEST_SKIP() << "ANSI code page is " << GetACP() << ", the table is " << tablePage;
    char all[256];
    for (int c = 1; c < 256; ++c)
        all[c - 1] = static_cast<char>(c);
    all[255] = 0;
    ASSERT_TRUE(platform::UpperCaseText(all, sizeof all));
    for (int c = 1; c < 256; ++c)
        EXPECT_EQ(platform::UpperCaseByte(static_cast<unsigned char>(c)),
                  static_cast<unsigned char>(all[c - 1]))
            << c;
    char text[] = "ab\0cd", cut[] = "abcd";
    ASSERT_TRUE(platform::UpperCaseText(text, sizeof text) && platform::UpperCaseText(cut, 2));
    EXPECT_EQ(0, memcmp("AB\0cd", text, sizeof text));
    EXPECT_STREQ("ABcd", cut);
}

// Codes go to the thread's platform value; KRGetLastError reads it and changes nothing; the
// mutex calls around the exports that leave it alone on success do not disturb it either.
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
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=SBER\n"));
    SetLastError(4242);
    EXPECT_EQ(1, KRIsBoardTagApplicable("F1", "TQBR"));
    EXPECT_EQ(4242u, GetLastError());
    uint32_t ids[4] = {};
    int32_t count = 4;
    EXPECT_EQ(1, KRGetNeedClassSecIDs(10, ids, &count));
    EXPECT_EQ(4242u, GetLastError());
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
// exactly one wins, so the threads still exclude each other. The lock is recursive for its owner.
TEST(WindowsLock, FirstUseFromManyThreadsCreatesOneRecursiveLock) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    OnThreads(8, 20, [&] {
        platform::Lock();
        platform::Lock();
        if (inside.fetch_add(1) != 0) overlap = true;
        Sleep(0);
        inside.fetch_sub(1);
        platform::Unlock();
        platform::Unlock();
    });
    EXPECT_FALSE(overlap.load());
}

// Kesvar.dll loaded the way a host loads it: the load creates the lock and nothing else, codes
// reach GetLastError, the DLL keeps a state of its own, and its exports exclude each other.
TEST(Dll, LoadCreatesTheLockAndServesOneCallAtATime) {
    const int mutexesBefore = CountForeignMutexes();
    HMODULE dll = LoadLibraryW(L"Kesvar.dll");
    ASSERT_NE(nullptr, dll) << "LoadLibrary failed: " << GetLastError();
    EXPECT_EQ(mutexesBefore + 1, CountForeignMutexes());
#define GET(name)                                                                                  \
    reinterpret_cast<decltype(&name)>(reinterpret_cast<void*>(GetProcAddress(dll, #name)))
    auto setMemory = GET(KRSetMemoryManagement);
    auto setLimits = GET(KRSetLimitCallbacks);
    auto setParams = GET(KRSetParamCallbacks);
    auto initEx = GET(KRInitEx);
    auto addClass = GET(KRAddClass);
    auto lastError = GET(KRGetLastError);
#undef GET
    ASSERT_TRUE(setMemory && setLimits && setParams && initEx && addClass && lastError);
    ASSERT_EQ(1, setMemory(GuardAlloc, GuardFree, GuardRealloc));
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

    // Every thread registers classes of its own through the DLL.
    std::atomic<int> failures{0}, next{0};
    OnThreads(4, 25, [&] {
        KRClass c{};
        c.classId = uint32_t(++next);
        c.secCount = 3;
        snprintf(c.code, sizeof c.code, "C%u", c.classId);
        KRSecurity secs[3] = {};
        for (int i = 0; i < 3; ++i)
            snprintf(secs[i].code, sizeof secs[i].code, "S%d", i);
        if (addClass(&c, secs) != 1 || GetLastError() != KR_ERR_NONE) ++failures;
    });
    EXPECT_EQ(0, failures.load());
    EXPECT_GT(gHookCalls.load(), 50);
    EXPECT_FALSE(gOverlap.load());
    FreeLibrary(dll);
}

#endif // _WIN32
