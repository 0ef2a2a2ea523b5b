// Runtime-library threads, thread-local slots and modules.
#include <windows.h>
#include <process.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

unsigned __stdcall returnArgument(void* argument) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(argument));
}

unsigned __stdcall endEarly(void*) {
    _endthreadex(7);
    return 8;
}

std::atomic<bool> g_release{false};
std::atomic<DWORD> g_reportedId{0};

unsigned __stdcall waitForRelease(void*) {
    g_reportedId = GetCurrentThreadId();
    while (!g_release)
        Sleep(1);
    return 5;
}

TEST(KernelThread, HandleIsSignalledWithTheExitCode) {
    unsigned id = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, returnArgument, reinterpret_cast<void*>(1234), 0, &id));
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 1234u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0); // stays signalled
    EXPECT_TRUE(CloseHandle(thread));

    thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, endEarly, nullptr, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(KernelThread, RunningThreadIsStillActiveAndKnowsItsId) {
    g_release = false;
    unsigned id = 0;
    HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, waitForRelease, nullptr, 0, &id));
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 20), (DWORD)WAIT_TIMEOUT);
    g_release = true;
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(g_reportedId, id);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    CloseHandle(thread);
}

TEST(KernelThread, TerminatedThreadReportsTheGivenExitCode) {
    g_release = false;
    HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, waitForRelease, nullptr, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(TerminateThread(thread, 99));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 99u);
    g_release = true; // where termination is cooperative, let the thread leave
    CloseHandle(thread);
}

TEST(KernelThread, ThreadIdsDifferBetweenLiveThreads) {
    std::set<DWORD> ids{GetCurrentThreadId()};
    std::vector<std::thread> threads;
    std::vector<DWORD> seen(4);
    HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            seen[i] = GetCurrentThreadId();
            EXPECT_EQ(GetCurrentThreadId(), seen[i]);
            WaitForSingleObject(gate, 10000);
        });
    Sleep(20);
    SetEvent(gate);
    for (auto& thread : threads)
        thread.join();
    ids.insert(seen.begin(), seen.end());
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_NE(GetCurrentProcessId(), 0u);
    CloseHandle(gate);
}

TEST(KernelTls, SlotsArePerThreadAndStartNull) {
    const DWORD slot = TlsAlloc();
    ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
    int mine = 1;
    int theirs = 2;
    EXPECT_TRUE(TlsSetValue(slot, &mine));
    std::thread([&] {
        SetLastError(123);
        EXPECT_EQ(TlsGetValue(slot), nullptr);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
        EXPECT_TRUE(TlsSetValue(slot, &theirs));
        EXPECT_EQ(TlsGetValue(slot), &theirs);
    }).join();
    EXPECT_EQ(TlsGetValue(slot), &mine);
    EXPECT_TRUE(TlsFree(slot));

    // A slot handed out again starts null, whatever its last user left in it.
    const DWORD again = TlsAlloc();
    ASSERT_NE(again, TLS_OUT_OF_INDEXES);
    if (again == slot) {
        EXPECT_EQ(TlsGetValue(again), nullptr);
    }
    EXPECT_TRUE(TlsFree(again));
}

TEST(KernelTls, RunsOutOfIndexesAndRefusesBadOnes) {
    std::vector<DWORD> taken;
    for (DWORD slot; taken.size() < 5000 && (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken.push_back(slot);
    EXPECT_LT(taken.size(), 5000u);
    EXPECT_GE(taken.size(), 1000u);
    for (DWORD slot : taken)
        EXPECT_TRUE(TlsFree(slot));

    SetLastError(0);
    EXPECT_FALSE(TlsFree(taken.front())); // already free
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(TlsSetValue(TLS_OUT_OF_INDEXES, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(TlsGetValue(TLS_OUT_OF_INDEXES), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

#ifdef _WIN32
const wchar_t kModule[] = L"zudava_test_module.dll";
#else
const wchar_t kModule[] = L"zudava_test_module.so";
#endif

TEST(KernelModules, ReferenceCountKeepsAModuleLoaded) {
    ASSERT_EQ(GetModuleHandleW(kModule), nullptr);
    HMODULE first = LoadLibraryW(kModule);
    ASSERT_NE(first, nullptr);
    HMODULE second = LoadLibraryW(kModule);
    EXPECT_EQ(second, first);
    auto answer = reinterpret_cast<int (*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(first, "moduleAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleW(kModule), first);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(GetModuleHandleW(kModule), nullptr);
}

TEST(KernelModules, MissingModulesAndSymbolsFail) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(L"zudava_no_such_module.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    HMODULE module = LoadLibraryW(kModule);
    ASSERT_NE(module, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "noSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
