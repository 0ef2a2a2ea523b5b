// The runtime's file functions on Windows-view names. The same expectations hold for the Linux
// platform layer and for Wine, where drive Z: is the host's root in both.
#include <windows.h>

#include <direct.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

namespace {

std::wstring fullPath(const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    return _wfullpath(buffer, name, MAX_PATH) != nullptr ? std::wstring(buffer) : L"<failed>";
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end()); // test names are ASCII
}

// A fresh folder beside the current directory, removed with what is left in it.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Other test programs may run beside this one in the same folder: take the first free name.
        static int counter = 0;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            wchar_t name[64];
            swprintf(name, 64, L"zp-files-%u-%d", static_cast<unsigned>(time(nullptr)), ++counter);
            m_folder = fullPath(name);
            if (_wmkdir(m_folder.c_str()) == 0)
                return;
            ASSERT_EQ(errno, EEXIST);
        }
        FAIL() << "no free folder name";
    }
    void TearDown() override {
        for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) {
            _wchmod(path(name).c_str(), _S_IREAD | _S_IWRITE);
            _wremove(path(name).c_str());
        }
        _wrmdir(m_folder.c_str());
    }
    std::wstring path(const std::wstring& name) const { return m_folder + L"\\" + name; }
    void write(const std::wstring& name, const char* text) {
        FILE* file = nullptr;
        ASSERT_EQ(fopen_s(&file, narrow(path(name)).c_str(), "wb"), 0);
        fputs(text, file);
        fclose(file);
    }
    std::string read(const std::wstring& name) {
        FILE* file = nullptr;
        if (fopen_s(&file, narrow(path(name)).c_str(), "rb") != 0)
            return "<missing>";
        char buffer[256] = {};
        const size_t count = fread(buffer, 1, sizeof buffer - 1, file);
        fclose(file);
        return std::string(buffer, count);
    }
    std::wstring m_folder;
};

} // namespace

TEST(WindowsView, ModuleFileNameIsAFullWindowsPath) {
    wchar_t name[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, name, MAX_PATH);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(wcslen(name), length);
    EXPECT_EQ(name[1], L':');
    EXPECT_EQ(name[2], L'\\');
    EXPECT_EQ(wcschr(name, L'/'), nullptr);
    EXPECT_NE(wcsstr(name, L"\\platform_tests"), nullptr);

    // Too small a buffer: cut, and the buffer's size returned. (Current Windows terminates the
    // cut text within the buffer, as the platform layer does; Wine fills all of it.)
    wchar_t cut[6];
    wmemset(cut, L'#', 6);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, cut, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::wstring(cut, 4), std::wstring(name, 4));
    EXPECT_EQ(cut[5], L'#');
}

TEST(WindowsView, FullPathNormalisesWithoutTouchingTheDisk) {
    EXPECT_EQ(fullPath(L"C:\\a\\..\\b"), L"C:\\b");
    EXPECT_EQ(fullPath(L"C:\\a\\.\\b\\"), L"C:\\a\\b\\");
    EXPECT_EQ(fullPath(L"C:/x//y"), L"C:\\x\\y");
    EXPECT_EQ(fullPath(L"C:\\.."), L"C:\\");
    EXPECT_EQ(fullPath(L"C:\\"), L"C:\\");
    // A folder loses one trailing dot, the last name all its trailing dots and blanks.
    EXPECT_EQ(fullPath(L"C:\\a.\\b. ."), L"C:\\a\\b");
    EXPECT_EQ(fullPath(L"C:\\a..\\b. \\c"), L"C:\\a.\\b. \\c");
    EXPECT_EQ(fullPath(L"C:\\a\\b.\\"), L"C:\\a\\b\\");
    EXPECT_EQ(fullPath(L"C:\\a\\ . "), L"C:\\a\\");
    EXPECT_EQ(fullPath(L"C:\\a\\..."), L"C:\\a\\");

    wchar_t current[MAX_PATH] = {};
    ASSERT_NE(_wgetcwd(current, MAX_PATH), nullptr);
    const std::wstring here = current;
    ASSERT_GE(here.size(), 3u);
    EXPECT_EQ(here.substr(1, 2), L":\\");
    EXPECT_EQ(fullPath(L"sub\\f.txt"), here + L"\\sub\\f.txt");
    EXPECT_EQ(fullPath(L"sub/../g.txt"), here + L"\\g.txt");
    EXPECT_EQ(fullPath(L"\\top\\x"), here.substr(0, 2) + L"\\top\\x");
    EXPECT_EQ(fullPath(L""), here);

    // Too small a buffer fails; no buffer gets one allocated.
    wchar_t small[4];
    EXPECT_EQ(_wfullpath(small, L"C:\\long\\name", 4), nullptr);
    wchar_t* allocated = _wfullpath(nullptr, L"C:\\x\\..\\y", 0);
    ASSERT_NE(allocated, nullptr);
    EXPECT_STREQ(allocated, L"C:\\y");
    free(allocated);
}

TEST_F(FilesTest, AccessModeAndRemoveFollowTheReadOnlyAttribute) {
    write(L"a.txt", "x");
    const std::wstring a = path(L"a.txt");
    EXPECT_EQ(_waccess(a.c_str(), 0), 0);
    EXPECT_EQ(_waccess(a.c_str(), 6), 0);

    ASSERT_EQ(_wchmod(a.c_str(), _S_IREAD), 0);
    errno = 0;
    EXPECT_EQ(_waccess(a.c_str(), 2), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(_waccess(a.c_str(), 4), 0);
    errno = 0;
    EXPECT_EQ(_wremove(a.c_str()), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(_waccess(a.c_str(), 0), 0);

    ASSERT_EQ(_wchmod(a.c_str(), _S_IREAD | _S_IWRITE), 0);
    EXPECT_EQ(_wremove(a.c_str()), 0);
    errno = 0;
    EXPECT_EQ(_waccess(a.c_str(), 0), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(_wremove(a.c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_wchmod(a.c_str(), _S_IREAD), -1);

    // A folder exists but is no file to remove.
    EXPECT_EQ(_waccess(m_folder.c_str(), 0), 0);
    EXPECT_EQ(_wremove(m_folder.c_str()), -1);
}

TEST_F(FilesTest, RenameNeverReplacesButMoveFileExCan) {
    write(L"a.txt", "first");
    write(L"b.txt", "second");
    EXPECT_EQ(_wrename(path(L"a.txt").c_str(), path(L"b.txt").c_str()), -1);
    EXPECT_EQ(read(L"a.txt"), "first");
    EXPECT_EQ(read(L"b.txt"), "second");
    EXPECT_EQ(_wrename(path(L"a.txt").c_str(), path(L"c.txt").c_str()), 0);
    EXPECT_EQ(read(L"a.txt"), "<missing>");
    EXPECT_EQ(read(L"c.txt"), "first");

    const std::string b = narrow(path(L"b.txt"));
    const std::string c = narrow(path(L"c.txt"));
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA(c.c_str(), b.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(
        MoveFileExA(c.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(read(L"b.txt"), "first");
    EXPECT_EQ(read(L"c.txt"), "<missing>");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA(c.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(MoveFileExW(path(L"b.txt").c_str(), path(L"a.txt").c_str(), 0));
    EXPECT_EQ(read(L"a.txt"), "first");
}

TEST_F(FilesTest, OpenedFilesCommitAndFoldersDoNotOpen) {
    FILE* file = nullptr;
    EXPECT_EQ(fopen_s(&file, narrow(path(L"a.txt")).c_str(), "rb"), ENOENT);
    EXPECT_EQ(file, nullptr);
    ASSERT_EQ(fopen_s(&file, narrow(path(L"a.txt")).c_str(), "w+b"), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fwrite("abc", 1, 3, file), 3u);
    EXPECT_EQ(fflush(file), 0);
    EXPECT_EQ(_commit(_fileno(file)), 0);
    fclose(file);
    EXPECT_EQ(read(L"a.txt"), "abc");
    EXPECT_EQ(fopen_s(&file, narrow(m_folder).c_str(), "rb"), EACCES);
}

TEST_F(FilesTest, DriveZIsTheHostRootAndOtherDrivesAreMissing) {
    write(L"a.txt", "x");
    const std::wstring full = path(L"a.txt");
    ASSERT_TRUE(full.compare(0, 3, L"Z:\\") == 0 || full.compare(0, 3, L"z:\\") == 0);
    std::wstring host = full.substr(2);
    for (wchar_t& c : host)
        if (c == L'\\')
            c = L'/';
    EXPECT_EQ(_waccess(host.c_str(), 0), 0);
    FILE* file = nullptr;
    ASSERT_EQ(fopen_s(&file, narrow(host).c_str(), "rb"), 0);
    fclose(file);

    errno = 0;
    EXPECT_EQ(_waccess((L"Q:" + host).c_str(), 0), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(fopen_s(&file, narrow(L"Q:" + host).c_str(), "rb"), ENOENT);
    EXPECT_EQ(fopen_s(&file, "Q:\\new.txt", "wb"), ENOENT);
}

// Names are found without regard to case, each component on its own; a new file created through
// a folder named in another case lands in that folder.
TEST_F(FilesTest, NamesMatchWithoutRegardToCase) {
    write(L"a.txt", "x");
    std::wstring upper = m_folder;
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    ASSERT_NE(upper, m_folder);
    EXPECT_EQ(_waccess((upper + L"\\A.TXT").c_str(), 0), 0);
    FILE* file = nullptr;
    ASSERT_EQ(fopen_s(&file, narrow(upper + L"\\A.txt").c_str(), "rb"), 0);
    EXPECT_EQ(fgetc(file), 'x');
    fclose(file);
    ASSERT_EQ(fopen_s(&file, narrow(upper + L"\\B.txt").c_str(), "wb"), 0);
    fputs("y", file);
    fclose(file);
    EXPECT_EQ(_wrename((upper + L"\\b.TXT").c_str(), (upper + L"\\C.txt").c_str()), 0);
    EXPECT_EQ(read(L"c.txt"), "y");
    EXPECT_EQ(read(L"b.txt"), "<missing>");
    errno = 0;
    EXPECT_EQ(_waccess((upper + L"\\A.TXT\\x").c_str(), 0), -1);
    EXPECT_EQ(_waccess((upper + L"x\\A.TXT").c_str(), 0), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(WindowsView, SplitAndMakePathInTheRuntimesSizes) {
    char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    ASSERT_EQ(_splitpath_s("C:\\logs\\agent.log", drive, sizeof drive, dir, sizeof dir, fname,
                           sizeof fname, ext, sizeof ext),
              0);
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(dir, "\\logs\\");
    EXPECT_STREQ(fname, "agent");
    EXPECT_STREQ(ext, ".log");

    ASSERT_EQ(_splitpath_s("a.b/c\\x.tar.gz", drive, sizeof drive, dir, sizeof dir, fname,
                           sizeof fname, ext, sizeof ext),
              0);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(dir, "a.b/c\\");
    EXPECT_STREQ(fname, "x.tar");
    EXPECT_STREQ(ext, ".gz");

    ASSERT_EQ(
        _splitpath_s("dir.d\\name", nullptr, 0, dir, sizeof dir, fname, sizeof fname, nullptr, 0),
        0);
    EXPECT_STREQ(dir, "dir.d\\");
    EXPECT_STREQ(fname, "name");

    char path[_MAX_PATH];
    ASSERT_EQ(_makepath_s(path, sizeof path, "C:", "\\logs\\", "_agent", ".log"), 0);
    EXPECT_STREQ(path, "C:\\logs\\_agent.log");
    ASSERT_EQ(_makepath_s(path, sizeof path, "D", "\\logs", "x", "txt"), 0);
    EXPECT_STREQ(path, "D:\\logs\\x.txt");
    ASSERT_EQ(_makepath_s(path, sizeof path, "", "", "x", ""), 0);
    EXPECT_STREQ(path, "x");
}

TEST(WindowsView, EnvironmentReadsWithSizeFirst) {
    // A missing variable needs no buffer. (What it returns differs: 0 from the current runtime,
    // EINVAL from Wine's older one.)
    size_t required = 99;
    char buffer[8] = "junk";
    getenv_s(&required, buffer, sizeof buffer, "ZP_SURELY_NOT_SET_ANYWHERE");
    EXPECT_EQ(required, 0u);

    const char* path = getenv("PATH");
    ASSERT_NE(path, nullptr);
    // Too small a buffer, or none, answers ERANGE with the size needed.
    EXPECT_EQ(getenv_s(&required, nullptr, 0, "PATH"), ERANGE);
    EXPECT_EQ(required, strlen(path) + 1);
    required = 0;
    EXPECT_EQ(getenv_s(&required, buffer, 2, "PATH"), ERANGE);
    EXPECT_EQ(required, strlen(path) + 1);
    std::string value(required, '\0');
    EXPECT_EQ(getenv_s(&required, &value[0], value.size(), "PATH"), 0);
    EXPECT_STREQ(value.c_str(), path);
}

TEST(WindowsView, LocalTimeAgreesWithTheRuntime) {
    const time_t before = time(nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    struct tm expected = *localtime(&before);
    EXPECT_EQ(now.wYear, expected.tm_year + 1900);
    EXPECT_EQ(now.wMonth, expected.tm_mon + 1);
    EXPECT_LE(now.wMilliseconds, 999);
    EXPECT_LE(now.wDayOfWeek, 6);
    EXPECT_EQ(now.wHour * 3600 + now.wMinute * 60 + now.wSecond >=
                  expected.tm_hour * 3600 + expected.tm_min * 60 + expected.tm_sec,
              true);
    EXPECT_EQ(_SH_DENYNO, 0x40);
}
