#include "Folder.h"

#include <algorithm>
#include <stdexcept>

#ifndef _WIN32
#include <filesystem>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using DEZE::DataFile;
using Bytes = std::vector<unsigned char>;

namespace {

std::string messageOf(DataFile& file, unsigned long mode) {
    try {
        file.open(mode);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no exception>";
}

} // namespace

class DataFileTest : public FolderTest {
protected:
    // The host's name of the folder (Z:\dir is /dir).
    std::string hostFolder() const {
        std::string folder = DEZE::make_string(m_folder).substr(2);
        std::replace(folder.begin(), folder.end(), '\\', '/');
        return folder;
    }
};

TEST_F(DataFileTest, WritesTheRecordFormatByteForByte) {
    const std::wstring name = path(L"records.dat");
    {
        DataFile file{DEZE::File::Path(name)};
        file.open(0x2);
        EXPECT_EQ(file.getMode(), 0x80000002u);
        file.insert(DataFile::Record(L"ab", Bytes{1, 2, 3}));
        file.close();
    }
    EXPECT_EQ(read(name), std::string("\x04\0\0\0\0a\0b\x03\0\0\0\x01\x02\x03", 15));

    // Characters keep their low byte only: U+00E9 survives, U+0141 comes back as 'A'.
    {
        DataFile file{DEZE::File::Path(name)};
        file.open(0x2);
        file.insert(DataFile::Record(std::wstring(1, wchar_t(0xE9)), Bytes{}));
        file.insert(DataFile::Record(std::wstring(1, wchar_t(0x141)), Bytes(300, 7)));
    } // the destructor saves
    DataFile file{DEZE::File::Path(name)};
    file.open(0x1);
    ASSERT_EQ(file.size(), 2u);
    std::vector<std::wstring> keys = {file[0].getKey(), file[1].getKey()};
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"A", std::wstring(1, wchar_t(0xE9))}));
    EXPECT_EQ(read(name).size(), 2u * (8 + 2) + 300);
}

TEST_F(DataFileTest, RecordOperations) {
    DataFile file(DEZE::File::Path(path(L"ops.dat")));
    file.open(0x3);
    EXPECT_EQ(file.size(), 0u);
    file.insert(DataFile::Record(L"key", Bytes{1}));
    file.insert(DataFile::Record(L"key", Bytes{2})); // same key: the old data stays
    file.insert(DataFile::Record(L"KEY", Bytes{3})); // keys are case-sensitive
    ASSERT_EQ(file.size(), 2u);
    for (unsigned long i = 0; i < 2; ++i)
        EXPECT_EQ(file[i].getData(), file[i].getKey() == L"key" ? Bytes{1} : Bytes{3});
    try {
        file[2];
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "object does not exist");
    }
    file.remove(DataFile::Record(L"key", Bytes{}));
    file.remove(DataFile::Record(L"other", Bytes{}));
    ASSERT_EQ(file.size(), 1u);
    file[0].setData(Bytes{9, 9});
    file.synchronize(); // saves and reloads
    ASSERT_EQ(file.size(), 1u);
    EXPECT_EQ(file[0].getKey(), L"KEY");
    EXPECT_EQ(file[0].getData(), (Bytes{9, 9}));
    // A key changed through a reference still counts for insert.
    file[0].setKey(L"renamed");
    file.insert(DataFile::Record(L"renamed", Bytes{1}));
    EXPECT_EQ(file.size(), 1u);
    file.remove(file[0]);
    file.close();
    EXPECT_EQ(read(file.getName()), "");
}

TEST_F(DataFileTest, ThreadsSharingOneFileTakeTurns) {
    DataFile file{DEZE::File::Path(path(L"shared.dat"))};
    file.open(0x3);
    auto fill = [&file](const wchar_t* prefix) {
        for (int i = 0; i < 500; ++i) {
            file.insert(DataFile::Record(prefix + std::to_wstring(i), Bytes{1}));
            file.remove(DataFile::Record(prefix + std::to_wstring(i / 2), Bytes{}));
            file.insert(DataFile::Record(prefix + std::to_wstring(i / 2), Bytes{2}));
        }
    };
    std::thread a(fill, L"a");
    std::thread b(fill, L"b");
    a.join();
    b.join();
    EXPECT_EQ(file.size(), 1000u);
    file.close();
    file.open(0x1);
    EXPECT_EQ(file.size(), 1000u);
}

TEST(DataFileRecord, KeysAreTrimmedButNeverEmpty) {
    DataFile::Record record(L" name\t\n", Bytes{});
    EXPECT_EQ(record.getKey(), L"name");
    record.setKey(L"\rx\r");
    EXPECT_EQ(record.getKey(), L"\rx\r");
    record.setKey(L"   ");
    EXPECT_EQ(record.getKey(), L"   ");
    try {
        record.setKey(L"");
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "zero length key");
    }
    EXPECT_EQ(record.getKey(), L"   ");
    EXPECT_THROW(DataFile::Record(L"", Bytes{}), std::invalid_argument);
}

TEST_F(DataFileTest, BadFilesThrowAndKeepWhatWasRead) {
    const std::string good("\x02\0\0\0\0k\x01\0\0\0\x05", 11);
    const std::wstring name = path(L"bad.dat");

    // Cut inside the second record, in every field.
    for (size_t cut : {1, 4, 5, 9, 10}) {
        write(name, good + good.substr(0, cut));
        DataFile file{DEZE::File::Path(name)};
        EXPECT_EQ(messageOf(file, 0x1), "failed to read from file") << cut;
        EXPECT_EQ(file.size(), 1u);
        EXPECT_TRUE(finishesOnAnotherThread([&] { file.size(); }));
    }

    // A length far past the end is refused, not allocated.
    write(name, good + std::string("\xFF\xFF\xFF\xFF", 4));
    DataFile huge{DEZE::File::Path(name)};
    EXPECT_EQ(messageOf(huge, 0x1), "failed to read from file");

    write(name, good + std::string("\0\0\0\0\0\0\0\0", 8));
    DataFile empty{DEZE::File::Path(name)};
    EXPECT_EQ(messageOf(empty, 0x1), "zero length key");
    EXPECT_EQ(empty.size(), 1u);

    // Duplicate keys are loaded as they are.
    write(name, good + good);
    DataFile twice{DEZE::File::Path(name)};
    twice.open(0x1);
    EXPECT_EQ(twice.size(), 2u);
    twice.remove(DataFile::Record(L"k", Bytes{}));
    twice.insert(DataFile::Record(L"k", Bytes{}));
    EXPECT_EQ(twice.size(), 1u);
    twice.remove(DataFile::Record(L"k", Bytes{}));
    twice.insert(DataFile::Record(L"k", Bytes{}));
    EXPECT_EQ(twice.size(), 1u);
}

TEST(DataFileBesideTheProgram, OpensByRelativeName) {
    const DEZE::File::Path where("zudava-files-test.dat");
    {
        DataFile file(where);
        file.open(0x3);
        file.insert(DataFile::Record(L"here", Bytes{42}));
        file.close();
    }
    EXPECT_TRUE(DEZE::File::exists(where));
    DataFile file(where);
    file.open(0x1);
    ASSERT_EQ(file.size(), 1u);
    EXPECT_EQ(file[0].getData(), Bytes{42});
    file.close();
    EXPECT_TRUE(DEZE::File::remove(where));
}

namespace {

// Saves one record of `size` bytes under `key` through `name`.
void save(const std::wstring& name, const wchar_t* key, size_t size = 10) {
    DataFile file{DEZE::File::Path(name)};
    file.open(0x2);
    file.insert(DataFile::Record(key, Bytes(size, 7)));
    file.close();
}

std::wstring keyIn(const std::wstring& name) {
    DataFile file{DEZE::File::Path(name)};
    file.open(0x1);
    return file.size() == 1 ? file[0].getKey() : L"<" + std::to_wstring(file.size()) + L" records>";
}

} // namespace

// Names as long as Windows allows save although their temporary file's name is longer: a name
// of 250 characters, and a full name of 259.
TEST_F(DataFileTest, NamesAtTheLengthLimitSave) {
    const size_t room = MAX_PATH - 1 - (m_folder.size() + 1);
    ASSERT_GT(room, 20u);
    for (const std::wstring& last : {std::wstring(250, L'n'), std::wstring(room, L'm')}) {
        const std::wstring name = path(last);
        save(name, L"first");
        save(name, L"second");
        EXPECT_EQ(keyIn(name), L"second") << last.size();
    }
}

// A save's temporary file left by a process that has ended goes at the next save of the same
// file; one of a process that runs, and files that only look alike, stay.
TEST_F(DataFileTest, SavesRemoveTemporariesOfEndedProcesses) {
    const std::wstring name = path(L"t.dat");
    wchar_t own[32];
    swprintf(own, 32, L"%08lx", static_cast<unsigned long>(GetCurrentProcessId()));
    const std::wstring ended = path(L"t.dat.7ffffffc.00000001.tmp");
    const std::wstring running = path(L"t.dat." + std::wstring(own) + L".0000fff0.tmp");
    const std::wstring other = path(L"u.dat.7ffffffc.00000001.tmp");
    const std::wstring odd = path(L"t.dat.7ffffffc.0000001.tmp");
    for (const std::wstring& temporary : {ended, running, other, odd})
        write(temporary, "partial");
    save(name, L"k");
    EXPECT_FALSE(DEZE::File::exists(ended));
    EXPECT_TRUE(DEZE::File::exists(running));
    EXPECT_TRUE(DEZE::File::exists(other));
    EXPECT_TRUE(DEZE::File::exists(odd));
    EXPECT_EQ(keyIn(name), L"k");
}

#ifndef _WIN32
// Saving through a symbolic link replaces what it leads to and leaves the link a link, through
// chains and relative and absolute targets.
TEST_F(DataFileTest, SavesWriteThroughSymbolicLinks) {
    const std::string folder = hostFolder();
    const std::wstring target = path(L"target.dat");
    save(target, L"old");
    const std::wstring relative = path(L"relative.dat");
    const std::wstring absolute = path(L"absolute.dat");
    ASSERT_EQ(symlink("target.dat", (folder + "/relative.dat").c_str()), 0);
    ASSERT_EQ(symlink((folder + "/relative.dat").c_str(), (folder + "/absolute.dat").c_str()), 0);

    save(absolute, L"new");
    save(relative, L"newer", 3);
    struct stat info;
    ASSERT_EQ(lstat((folder + "/absolute.dat").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(lstat((folder + "/relative.dat").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(keyIn(target), L"newer");
    EXPECT_EQ(keyIn(absolute), L"newer");
}

// A save killed while its temporary file is half written leaves the old file whole, and the next
// save removes the dead save's temporary. The child's file size limit stops its writing at a known
// point: the signal that reports it tells the parent, which then kills the child.
TEST_F(DataFileTest, KilledSaveLeavesTheOldFile) {
    const std::wstring name = path(L"killed.dat");
    save(name, L"old", 1000);
    const std::string old = read(name);
    const rlim_t limit = 32 << 10;

    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        static int s_report = report[1];
        signal(SIGXFSZ, [](int) {
            (void)!::write(s_report, "h", 1);
            for (;;)
                pause();
        });
        const rlimit small{limit, limit};
        setrlimit(RLIMIT_FSIZE, &small);
        try {
            DataFile file{DEZE::File::Path(name)};
            file.open(0x3); // reading too: the old file stays as it is until the save replaces it
            file.insert(DataFile::Record(L"new", Bytes(4 * limit, 2)));
            file.close();
        } catch (...) {
        }
        _exit(0); // not reached: the save stops at the limit
    }
    close(report[1]);
    char half = 0;
    const ssize_t reported = ::read(report[0], &half, 1);
    close(report[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(reported, 1) << "the child ended without reaching the size limit";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // The child's temporary file holds exactly what the limit let through.
    wchar_t prefix[32];
    swprintf(prefix, 32, L"killed.dat.%08lx.", static_cast<unsigned long>(child));
    std::wstring temporary;
    for (const auto& entry : std::filesystem::directory_iterator(hostFolder()))
        if (entry.path().filename().wstring().rfind(prefix, 0) == 0)
            temporary = path(entry.path().filename().wstring());
    ASSERT_FALSE(temporary.empty());
    EXPECT_EQ(read(temporary).size(), limit);
    EXPECT_EQ(read(name), old);

    EXPECT_TRUE(DEZE::File::exists(temporary));
    save(name, L"next");
    EXPECT_FALSE(DEZE::File::exists(temporary));
    EXPECT_EQ(keyIn(name), L"next");
}
#endif
