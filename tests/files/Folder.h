// A fresh folder beside the current directory for one test, removed with its files afterwards.
#pragma once

#include <windows.h>

#include <direct.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zudava/zudava.h>

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            wchar_t name[64];
            swprintf(name, 64, L"zudava-files-%u-%d", static_cast<unsigned>(time(nullptr)),
                     ++counter);
            wchar_t full[MAX_PATH];
            ASSERT_NE(_wfullpath(full, name, MAX_PATH), nullptr);
            m_folder = full;
            m_name = name;
            if (_wmkdir(m_folder.c_str()) == 0)
                return;
            ASSERT_EQ(errno, EEXIST);
        }
        FAIL() << "no free folder name";
    }
    void TearDown() override {
        for (const std::wstring& name : m_created)
            DEZE::File::remove(name);
        _wrmdir(m_folder.c_str());
    }

    // The full Windows name of `name` in the folder; the file is removed after the test.
    std::wstring path(const std::wstring& name) {
        m_created.push_back(m_folder + L"\\" + name);
        return m_created.back();
    }
    std::string narrowPath(const std::wstring& name) { return DEZE::make_string(path(name)); }
    // The same file named relative to the current folder, where no dot of the folders above
    // can appear in it; the file is removed after the test.
    std::wstring relativePath(const std::wstring& name) {
        path(name);
        return m_name + L"\\" + name;
    }

    static std::string read(const std::wstring& name) {
        FILE* file = nullptr;
        if (fopen_s(&file, DEZE::make_string(name).c_str(), "rb") != 0)
            return "<missing>";
        std::string bytes;
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.append(buffer, got);
        fclose(file);
        return bytes;
    }
    // Binary unless `mode` says "w" (text: the host's line ends).
    static void write(const std::wstring& name, const std::string& bytes, const char* mode = "wb") {
        FILE* file = nullptr;
        ASSERT_EQ(fopen_s(&file, DEZE::make_string(name).c_str(), mode), 0);
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }

    std::wstring m_folder;
    std::wstring m_name; // the folder's own name, relative to the current folder
    std::vector<std::wstring> m_created;
};

// Runs `action` on another thread and tells whether it finished within a few seconds; used to see
// that a lock was given back (the owning thread itself would re-enter it).
#include <chrono>
#include <functional>
#include <future>
#include <thread>

inline bool finishesOnAnotherThread(std::function<void()> action) {
    std::packaged_task<void()> task(std::move(action));
    std::future<void> done = task.get_future();
    std::thread thread(std::move(task));
    const bool finished = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (finished)
        thread.join();
    else
        thread.detach();
    return finished;
}
