#include "Folder.h"

#include <algorithm>
#include <stdexcept>

#ifndef _WIN32
#include <filesystem>

#include <signal.h>
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

class DataFileTest : public FolderTest {};

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

#ifndef _WIN32
// A save killed at any moment leaves the old file whole: the new content replaces it only by a
// rename once it is completely on disk.
TEST_F(DataFileTest, KilledSaveLeavesTheOldFile) {
    const std::wstring name = path(L"big.dat");
    {
        DataFile file{DEZE::File::Path(name)};
        file.open(0x2);
        file.insert(DataFile::Record(L"old", Bytes(1000, 1)));
    }
    const std::string old = read(name);
    std::string folder = DEZE::make_string(m_folder).substr(2); // the host's name of Z:\...
    std::replace(folder.begin(), folder.end(), '\\', '/');
    auto temporaries = [&] {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".tmp")
                found.push_back(entry.path());
        return found;
    };

    // Kill the child once its replacement file has appeared and holds some of the new content,
    // then again once it holds more.
    int caught = 0;
    for (std::uintmax_t written : {1u << 10, 16u << 20, 48u << 20}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            DataFile file{DEZE::File::Path(name)};
            file.open(0x3);
            for (int i = 0; i < 64; ++i)
                file.insert(DataFile::Record(L"r" + std::to_wstring(i), Bytes(1 << 20, 2)));
            (void)!::write(ready[1], "s", 1);
            file.close();
            _exit(0);
        }
        close(ready[1]);
        char signal = 0;
        ASSERT_EQ(::read(ready[0], &signal, 1), 1);
        close(ready[0]);
        bool writing = false;
        for (int poll = 0; poll < 20000 && !writing; ++poll) {
            for (const auto& temporary : temporaries()) {
                std::error_code ignored;
                writing = writing || std::filesystem::file_size(temporary, ignored) >= written;
            }
            if (!writing)
                usleep(500);
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        for (const auto& temporary : temporaries())
            std::filesystem::remove(temporary);
        if (WIFSIGNALED(status) && writing) {
            ++caught;
            ASSERT_EQ(read(name), old) << "killed after writing " << written << " bytes";
        }
    }
    EXPECT_GT(caught, 0) << "no kill landed while the new content was being written";
}
#endif
