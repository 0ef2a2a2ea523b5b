// OpenProcess: a handle on a process named by its id, signalled once the process has ended.
#include "support/Child.h"

#include <windows.h>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

TEST(OpenProcess, RunningProcessesAreWaitableAndMissingIdsFail) {
    const HANDLE self = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(WaitForSingleObject(self, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(self, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(self));

    SetLastError(0);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0x7FFFFFFC), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Every process handle, however it was made, answers the process calls: the one of a child opened
// by its id shares the child's exit code and can end it.
TEST(OpenProcess, AnOpenedHandleAnswersEveryProcessCall) {
    const DWORD access = PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE;
    const HANDLE self = OpenProcess(access, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(self, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(GetProcessId(self), GetCurrentProcessId());
    CloseHandle(self);

    zudava_test::Child child("sleep 60000");
    ASSERT_TRUE(child.started);
    const HANDLE opened = OpenProcess(access, FALSE, child.info.dwProcessId);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(GetProcessId(opened), child.info.dwProcessId);
    EXPECT_TRUE(GetExitCodeProcess(opened, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(TerminateProcess(opened, 42));
    EXPECT_EQ(WaitForSingleObject(opened, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(child.finish(), 42u);
    EXPECT_TRUE(GetExitCodeProcess(opened, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(opened));
}

#ifndef _WIN32
TEST(OpenProcess, TheHandleIsSignalledWhenTheProcessEnds) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(go[1]);
        char byte;
        (void)!read(go[0], &byte, 1);
        _exit(0);
    }
    close(go[0]);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(child));
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    close(go[1]); // the child reads the end of its pipe and exits
    EXPECT_EQ(WaitForSingleObject(process, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(CloseHandle(process));
}
#endif
