// Child processes: finding the program, the command-line rules, the process and thread handles,
// exit codes and termination.
#include "support/Child.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using zudava_test::Child;
using zudava_test::childProgram;
using zudava_test::runChild;
using zudava_test::ScratchFolder;

std::vector<std::string> linesOf(const std::string& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(KernelProcess, HandlesSignalAtTheEndAndGiveTheExitCode) {
    Child child("exit 3");
    ASSERT_TRUE(child.started) << child.error;
    EXPECT_NE(child.info.dwProcessId, 0u);
    EXPECT_EQ(GetProcessId(child.info.hProcess), child.info.dwProcessId);
    EXPECT_EQ(WaitForSingleObject(child.info.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(child.info.hThread, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child.info.hProcess, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(GetExitCodeThread(child.info.hThread, &code));
    EXPECT_EQ(code, 3u);
}

TEST(KernelProcess, StillActiveWhileRunningAndTerminatedWithTheGivenCode) {
    Child child("sleep 60000");
    ASSERT_TRUE(child.started) << child.error;
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child.info.hProcess, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(child.info.hProcess, 50), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(TerminateProcess(child.info.hProcess, 77));
    EXPECT_EQ(WaitForSingleObject(child.info.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(child.info.hProcess, &code));
    EXPECT_EQ(code, 77u);
    EXPECT_FALSE(GetExitCodeProcess(child.info.hThread, &code)); // not a process handle
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(KernelProcess, AMissingProgramIsNotFound) {
    ScratchFolder folder;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = "zudava_no_such_program_anywhere argument";
    EXPECT_FALSE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    line = "\"" + folder.file("absent") + "\"";
    EXPECT_FALSE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    line = "\"" + folder.file("no folder") + "\\absent\"";
    EXPECT_FALSE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info));
#ifdef _WIN32 // Wine does not tell a missing folder from a missing file
    EXPECT_TRUE(GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND);
#else
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
#endif
}

TEST(KernelProcess, TheCommandLineIsSplitByTheRuntimesRules) {
    ScratchFolder folder;
    const std::string out = folder.file("args.txt");
    const std::string arguments =
        "args \"" + out + "\"" + R"( plain "two words" a\\b a\"b "c\\" d\\\"e "f""g" "" tail)";
    ASSERT_EQ(runChild(arguments), 0u);
    EXPECT_EQ(linesOf(out), (std::vector<std::string>{"plain", "two words", R"(a\\b)", R"(a"b)",
                                                      R"(c\)", R"(d\"e)", R"(f"g)", "", "tail"}));
}

TEST(KernelProcess, TheFirstTokenIsSearchedForAsWindowsDoes) {
    // A bare name is found in the caller's own folder.
    EXPECT_EQ(runChild("exit 4"), 4u);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = "zudava_test_child exit 5";
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info));
    WaitForSingleObject(info.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    EXPECT_EQ(code, 5u);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);

    // An unquoted path with blanks: the words are tried one more at a time.
    ScratchFolder folder;
    const std::filesystem::path spaced = folder.path / "with blank";
    std::filesystem::create_directories(spaced);
    const std::filesystem::path original = zudava_test::hostPath(childProgram());
    std::filesystem::copy_file(original, spaced / original.filename());
    line = (spaced / "zudava_test_child").string() + " exit 6";
#ifdef _WIN32
    // The copy's libraries stay beside the original: the child finds them through PATH.
    char oldPath[32767] = {};
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    SetEnvironmentVariableA("PATH", (original.parent_path().string() + ";" + oldPath).c_str());
#endif
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info))
        << GetLastError();
#ifdef _WIN32
    SetEnvironmentVariableA("PATH", oldPath);
#endif
    WaitForSingleObject(info.hProcess, 60000);
    GetExitCodeProcess(info.hProcess, &code);
    // The child ran. Here its runtime splits its own name at the blank, so its first argument is
    // the rest of that name, an unknown mode (98); Wine puts quotes around the name it found, so
    // the child sees "exit 6".
#ifdef _WIN32
    EXPECT_TRUE(code == 6u || code == 98u) << code;
#else
    EXPECT_EQ(code, 98u);
#endif
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

} // namespace
