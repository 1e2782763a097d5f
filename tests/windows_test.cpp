// Windows only: the platform layer's real calls (mutex, last-error value, upper-casing) and
// Kesvar.dll as a host sees it, loaded with LoadLibrary. Elsewhere this file is empty.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "platform/platform.h"

using namespace fakehost;

namespace {

const char* const kExports[] = {"KRSetMemoryManagement",
                                "KRSetLimitCallbacks",
                                "KRSetParamCallbacks",
                                "KRInit",
                                "KRInitEx",
                                "KRCleanup",
                                "KRCleanupDlifiles",
                                "KRAddClass",
                                "KRSetDliniFile",
                                "KRInitMarginalRow",
                                "KRCalcMarginalRow",
                                "KRCalcMarginalRowEx",
                                "KRInitMarginalActv",
                                "KRCalcMarginalActv",
                                "KRIsMarginSeccode",
                                "KRIsAssetSeccode",
                                "KRGetMarginSecs",
                                "KRGetNeedClassSecIDs",
                                "KRIsBoardTagApplicable",
                                "KRIsLimitsInLots",
                                "KRGetLastError"};

// Mutexes this process holds a handle to and does not own: ReleaseMutex on a mutex it does not
// own fails with ERROR_NOT_OWNER and changes nothing; on any other handle it fails otherwise.
// (Never called while this thread owns a mutex: that one would be released.)
int CountForeignMutexes() {
    int n = 0;
    for (uintptr_t h = 4; h < 0x1000; h += 4) {
        if (!ReleaseMutex(reinterpret_cast<HANDLE>(h)) && GetLastError() == ERROR_NOT_OWNER) ++n;
    }
    return n;
}

// The names in the export directory of a loaded module.
std::vector<std::string> ExportedNames(HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (dir.Size == 0) return names;
    const IMAGE_EXPORT_DIRECTORY* exp =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const DWORD* rvas = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i)
        names.push_back(reinterpret_cast<const char*>(base + rvas[i]));
    return names;
}

// Memory hooks that notice two threads inside the library at once.
std::atomic<int> gInside{0};
std::atomic<bool> gOverlap{false};
std::atomic<int> gHookCalls{0};

void Enter() {
    if (gInside.fetch_add(1) != 0) gOverlap = true;
    ++gHookCalls;
    Sleep(0); // give another thread the chance to run into the library now
}
void Leave() {
    gInside.fetch_sub(1);
}

void* KR_CALL GuardAlloc(uint32_t size) {
    Enter();
    void* p = malloc(size ? size : 1);
    Leave();
    return p;
}
void KR_CALL GuardFree(void* block) {
    Enter();
    free(block);
    Leave();
}
void* KR_CALL GuardRealloc(void* block, uint32_t size) {
    Enter();
    void* p = realloc(block, size ? size : 1);
    Leave();
    return p;
}

// Kesvar.dll, loaded the way a host loads it, and its exports by name.
class Dll : public ::testing::Test {
  protected:
    void SetUp() override {
        mutexesBefore_ = CountForeignMutexes();
        module_ = LoadLibraryW(L"Kesvar.dll");
        ASSERT_NE(nullptr, module_) << "LoadLibrary failed: " << GetLastError();
        mutexesAfterLoad_ = CountForeignMutexes();
    }
    void TearDown() override {
        // The library frees nothing at unload, and a test process ends right after.
        if (module_) FreeLibrary(module_);
    }
    template <typename F> F Get(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    HMODULE module_ = nullptr;
    int mutexesBefore_ = 0;
    int mutexesAfterLoad_ = 0;
};

} // namespace

TEST(WindowsUpperCase, PortableTableMatchesThePlatformCalls) {
    // The table is the one of code page 1252 unless the build picked 1251; the platform calls
    // use the ANSI code page, which must be the same for the comparison to mean anything.
    const UINT tablePage = kesvar::platform::UpperCaseByte(0xFF) == 0x9F ? 1252 : 1251;
    if (GetACP() != tablePage)
        GTEST_SKIP() << "ANSI code page is " << GetACP() << ", the table is " << tablePage;

    // One byte at a time, and all 255 in one text (the loader converts whole texts).
    char all[256];
    for (int c = 1; c < 256; ++c) {
        char one[2] = {static_cast<char>(c), 0};
        ASSERT_TRUE(kesvar::platform::UpperCaseText(one, sizeof one));
        EXPECT_EQ(kesvar::platform::UpperCaseByte(static_cast<unsigned char>(c)),
                  static_cast<unsigned char>(one[0]))
            << "byte 0x" << std::hex << c;
        EXPECT_EQ(0, one[1]);
        all[c - 1] = static_cast<char>(c);
    }
    all[255] = 0;
    ASSERT_TRUE(kesvar::platform::UpperCaseText(all, sizeof all));
    for (int c = 1; c < 256; ++c)
        EXPECT_EQ(kesvar::platform::UpperCaseByte(static_cast<unsigned char>(c)),
                  static_cast<unsigned char>(all[c - 1]))
            << "byte 0x" << std::hex << c << " in the whole text";
    EXPECT_EQ(0, all[255]);
}

TEST(WindowsUpperCase, StopsAtTheTerminatorAndAtTheCount) {
    // Bytes after the terminator, or past the count, are neither read nor written.
    char text[] = "ab\0cd";
    ASSERT_TRUE(kesvar::platform::UpperCaseText(text, sizeof text));
    EXPECT_EQ(0, memcmp("AB\0cd", text, sizeof text));
    char cut[] = "abcd";
    ASSERT_TRUE(kesvar::platform::UpperCaseText(cut, 2));
    EXPECT_STREQ("ABcd", cut);
    char none[] = "x";
    ASSERT_TRUE(kesvar::platform::UpperCaseText(none, 0));
    EXPECT_STREQ("x", none);
}

TEST(WindowsLastError, EveryCodeReachesGetLastError) {
    // Before initialisation every data export refuses with code 1; the setters then succeed
    // with 0, a bad version gives 9 and bad sizes give 3.
    SetLastError(777);
    EXPECT_EQ(0, KRCleanup());
    EXPECT_EQ(KR_ERR_STATE, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
    InstallCallbacks();
    EXPECT_EQ(KR_ERR_NONE, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(0, KRInitEx(3, 88, 88));
    EXPECT_EQ(KR_ERR_VERSION, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(0, KRInitEx(2, 88, 88));
    EXPECT_EQ(KR_ERR_SIZE, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(KR_ERR_SIZE, KRGetLastError());
}

TEST(WindowsLastError, KRGetLastErrorReadsThePlatformValueAndChangesNothing) {
    SetLastError(0x12345678);
    EXPECT_EQ(0x12345678, KRGetLastError());
    EXPECT_EQ(0x12345678u, GetLastError());
}

TEST(WindowsLastError, IsPerThread) {
    // No platform call between the other thread's export and the reads here: joining a thread
    // itself writes the value.
    std::atomic<int> step{0};
    int32_t other = -1;
    std::thread t([&] {
        KRCleanup(); // refused, not initialised: code 1 on this thread only
        step = 1;
        while (step.load() != 2) {
        }
        other = static_cast<int32_t>(GetLastError());
        step = 3;
    });
    SetLastError(4242);
    while (step.load() != 1) {
    }
    const DWORD mine = GetLastError();
    KRSetMemoryManagement(nullptr, nullptr, nullptr); // code 0 on this thread only
    step = 2;
    while (step.load() != 3) {
    }
    t.join();
    EXPECT_EQ(4242u, mine);
    EXPECT_EQ(KR_ERR_STATE, other);
}

TEST(WindowsLastError, LockAndUnlockLeaveItAlone) {
    // Two exports promise to leave the caller's value as it was on success; the mutex calls
    // around them must not disturb it either.
    ASSERT_EQ(1, Install());
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=SBER\n"));

    SetLastError(4242);
    EXPECT_EQ(1, KRIsBoardTagApplicable("F1", "TQBR"));
    EXPECT_EQ(4242u, GetLastError());

    uint32_t ids[4] = {};
    int32_t count = 4;
    SetLastError(5151);
    EXPECT_EQ(1, KRGetNeedClassSecIDs(10, ids, &count));
    EXPECT_EQ(5151u, GetLastError());
    EXPECT_EQ(1, count);
    EXPECT_EQ(101u, ids[0]);
}

TEST(WindowsLock, RecursiveForItsOwnerAndExclusiveForOthers) {
    kesvar::platform::Lock();
    kesvar::platform::Lock(); // the owner does not wait for itself
    std::atomic<bool> got{false};
    std::thread t([&] {
        kesvar::platform::Lock();
        got = true;
        kesvar::platform::Unlock();
    });
    Sleep(50);
    EXPECT_FALSE(got.load());
    kesvar::platform::Unlock();
    Sleep(20);
    EXPECT_FALSE(got.load()); // still held once
    kesvar::platform::Unlock();
    t.join();
    EXPECT_TRUE(got.load());
}

TEST(WindowsLock, FirstUseFromManyThreadsCreatesOneLock) {
    // Statically linked, DllMain never runs: the first Lock() calls race to create the mutex.
    // Exactly one must win, so the threads still exclude each other.
    const int before = CountForeignMutexes();
    std::atomic<int> ready{0};
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < 8) {
            }
            for (int k = 0; k < 20; ++k) {
                kesvar::platform::Lock();
                if (inside.fetch_add(1) != 0) overlap = true;
                Sleep(0);
                inside.fetch_sub(1);
                kesvar::platform::Unlock();
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_FALSE(overlap.load());
    // One mutex at most came into being (none when an earlier test created it already); the
    // losers of the race closed theirs.
    const int created = CountForeignMutexes() - before;
    EXPECT_GE(created, 0);
    EXPECT_LE(created, 1);
}

TEST_F(Dll, ExportsExactlyTheTwentyOneUndecoratedNames) {
    std::vector<std::string> names = ExportedNames(module_);
    std::set<std::string> expected(std::begin(kExports), std::end(kExports));
    EXPECT_EQ(21u, names.size());
    EXPECT_EQ(expected, std::set<std::string>(names.begin(), names.end()));
    for (const char* name : kExports)
        EXPECT_NE(nullptr, Get<void*>(name)) << name;
}

TEST_F(Dll, LoadCreatesTheLockAndCodesReachGetLastError) {
    // Process attach made the lock: one more mutex than before loading, and the first calls
    // through the exports create no further one.
    EXPECT_EQ(mutexesBefore_ + 1, mutexesAfterLoad_);

    auto cleanup = Get<decltype(&KRCleanup)>("KRCleanup");
    auto lastError = Get<decltype(&KRGetLastError)>("KRGetLastError");
    auto setLimits = Get<decltype(&KRSetLimitCallbacks)>("KRSetLimitCallbacks");
    auto setParams = Get<decltype(&KRSetParamCallbacks)>("KRSetParamCallbacks");
    auto initEx = Get<decltype(&KRInitEx)>("KRInitEx");
    auto limitsInLots = Get<decltype(&KRIsLimitsInLots)>("KRIsLimitsInLots");
    ASSERT_TRUE(cleanup && lastError && setLimits && setParams && initEx && limitsInLots);

    SetLastError(99);
    EXPECT_EQ(0, cleanup());
    EXPECT_EQ(KR_ERR_STATE, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(KR_ERR_STATE, lastError());
    EXPECT_EQ(1, setLimits(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit));
    EXPECT_EQ(1, setParams(GetParamId, GetParamValue));
    EXPECT_EQ(0, initEx(1, 96, 96));
    EXPECT_EQ(KR_ERR_SIZE, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(1, initEx(1, 88, 88));
    EXPECT_EQ(KR_ERR_NONE, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(1, limitsInLots("NOFIRM"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, static_cast<int32_t>(GetLastError()));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, lastError());
    EXPECT_EQ(mutexesAfterLoad_, CountForeignMutexes());

    // The DLL keeps its own state: the statically linked copy in this program is untouched.
    EXPECT_EQ(0, KRCleanup());
    EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
}

TEST_F(Dll, ExportsExcludeEachOtherAcrossThreads) {
    auto setMemory = Get<decltype(&KRSetMemoryManagement)>("KRSetMemoryManagement");
    auto setLimits = Get<decltype(&KRSetLimitCallbacks)>("KRSetLimitCallbacks");
    auto setParams = Get<decltype(&KRSetParamCallbacks)>("KRSetParamCallbacks");
    auto init = Get<decltype(&KRInit)>("KRInit");
    auto addClass = Get<decltype(&KRAddClass)>("KRAddClass");
    ASSERT_TRUE(setMemory && setLimits && setParams && init && addClass);
    ASSERT_EQ(1, setMemory(GuardAlloc, GuardFree, GuardRealloc));
    ASSERT_EQ(1, setLimits(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit));
    ASSERT_EQ(1, setParams(GetParamId, GetParamValue));
    ASSERT_EQ(1, init(88, 88));

    // Every thread registers its own classes; the hooks run under the lock and would see a
    // second thread inside the library if the lock let one through.
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 25; ++k) {
                KRClass c{};
                c.classId = static_cast<uint32_t>(t * 100 + k + 1);
                c.secCount = 3;
                snprintf(c.code, sizeof c.code, "C%d_%d", t, k);
                KRSecurity secs[3] = {};
                for (int s = 0; s < 3; ++s) {
                    secs[s].secId = static_cast<uint32_t>(s + 1);
                    secs[s].lotSize = 1;
                    snprintf(secs[s].code, sizeof secs[s].code, "S%d", s);
                }
                if (addClass(&c, secs) != 1 || GetLastError() != KR_ERR_NONE) ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_GT(gHookCalls.load(), 50);
    EXPECT_FALSE(gOverlap.load());
}

#endif // _WIN32
