// Starting the test child program (support/child) and scratch folders, for the tests of processes,
// the registry, profile files and registration. Only the Windows API and the standard library, so
// that the same tests run on Linux and under Wine.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace zudava_test {

// The folder of the running test program, in the Windows view, with a trailing backslash.
inline std::string programFolder() {
    wchar_t name[4096] = {};
    const DWORD length = GetModuleFileNameW(nullptr, name, 4096);
    std::wstring wide(name, length);
    wide.erase(wide.find_last_of(L"\\/") + 1);
    std::string narrow(wide.size() * 3 + 1, '\0');
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &narrow[0],
                                          int(narrow.size()), nullptr, nullptr);
    narrow.resize(size_t(bytes > 0 ? bytes : 0));
    return narrow;
}

// The name the standard library's file functions take for a Windows-view name: the same text on
// Windows; on Linux drive Z: is the root.
inline std::filesystem::path hostPath(std::string windowsName) {
#ifndef _WIN32
    if (windowsName.size() >= 2 && (windowsName[0] == 'Z' || windowsName[0] == 'z') &&
        windowsName[1] == ':')
        windowsName.erase(0, 2);
    for (char& c : windowsName)
        if (c == '\\')
            c = '/';
#endif
    return std::filesystem::path(windowsName);
}

inline std::string childProgram() {
#ifdef _WIN32
    return programFolder() + "zudava_test_child.exe";
#else
    return programFolder() + "zudava_test_child";
#endif
}

// A running child, terminated and released when the object goes.
class Child {
public:
    explicit Child(const std::string& arguments) {
        std::string line = "\"" + childProgram() + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info) != FALSE;
        if (!started)
            error = GetLastError();
    }
    ~Child() {
        if (!started)
            return;
        if (WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, INFINITE);
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The exit code once it ends within `milliseconds`, else STILL_ACTIVE.
    DWORD finish(DWORD milliseconds = 60000) {
        WaitForSingleObject(info.hProcess, milliseconds);
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
    void kill() {
        TerminateProcess(info.hProcess, 9);
        WaitForSingleObject(info.hProcess, INFINITE);
    }

    bool started = false;
    DWORD error = 0;
    PROCESS_INFORMATION info = {};
};

inline DWORD runChild(const std::string& arguments) {
    Child child(arguments);
    return child.started ? child.finish() : 0xDEAD;
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path = std::filesystem::temp_directory_path() /
               ("zudava-scratch-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(stamp) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // A name inside the folder, as text for the Windows API.
    std::string file(const std::string& name) const { return (path / name).string(); }

    std::filesystem::path path;
};

} // namespace zudava_test
