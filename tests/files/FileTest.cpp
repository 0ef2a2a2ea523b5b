#include "Folder.h"

#include <sstream>
#include <stdexcept>

using DEZE::File;

namespace {

std::wstring executableFolder() {
    wchar_t name[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, name, MAX_PATH);
    std::wstring folder = name;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

template <typename Exception, typename Action>
std::string messageOf(Action action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    return "<no exception>";
}

} // namespace

TEST(FilePath, SplitsAbsolutePathsAsWritten) {
    const File::Path path(L"c:\\dir//sub/file.txt");
    EXPECT_EQ(path.getVolume(), L"C:");
    EXPECT_EQ(path.getDirectory(), L"\\dir\\sub\\");
    EXPECT_EQ(path.getName(), L"file.txt");
    EXPECT_EQ(std::wstring(path), L"C:\\dir\\sub\\file.txt");

    const File::Path root("C:\\");
    EXPECT_EQ(root.getVolume(), L"C:");
    EXPECT_EQ(root.getDirectory(), L"\\");
    EXPECT_EQ(root.getName(), L"");
    EXPECT_EQ(File::Path(std::string("C:\\dir\\")).getName(), L"");
    EXPECT_EQ(File::Path(L"C:\\a\\..\\b").getDirectory(), L"\\a\\..\\");
}

TEST(FilePath, ResolvesRelativePathsAgainstTheExecutable) {
    const std::wstring folder = executableFolder();
    const File::Path data(L"data.txt");
    EXPECT_EQ(std::wstring(data), folder + L"data.txt");
    const File::Path parent("..\\x.ini");
    const std::wstring above = folder.substr(0, folder.rfind(L'\\', folder.size() - 2) + 1);
    EXPECT_EQ(std::wstring(parent), above + L"x.ini");
    // A slash in third place does not make a path absolute.
    EXPECT_EQ(File::Path(L"C:/dir/file").getVolume(), File::Path(L"x").getVolume());
}

TEST(FilePath, RefusesWhatItCannotResolve) {
    const char* const empty = "null or empty string passed as file path";
    EXPECT_EQ(messageOf<std::invalid_argument>([] { File::Path(L""); }), empty);
    EXPECT_EQ(messageOf<std::invalid_argument>([] { File::Path(static_cast<wchar_t*>(nullptr)); }),
              empty);
    EXPECT_EQ(messageOf<std::invalid_argument>([] { File::Path(static_cast<char*>(nullptr)); }),
              empty);
    EXPECT_EQ(messageOf<std::invalid_argument>([] { File::Path(std::wstring(L"\0x", 2)); }), empty);
    // Too long to resolve within the runtime's path size.
    EXPECT_EQ(messageOf<std::invalid_argument>([] { File::Path(std::wstring(300, L'n')); }),
              "cannot determine path");
}

TEST(FilePath, ComparesIgnoringCaseAndJoinsPiecesAsSet) {
    EXPECT_TRUE(File::Path(L"C:\\A\\b.txt") == File::Path(L"c:\\a\\B.TXT"));
    EXPECT_FALSE(File::Path(L"C:\\A\\b.txt") != File::Path(L"c:\\a\\B.TXT"));
    EXPECT_TRUE(File::Path(L"C:\\A\\b.txt") != File::Path(L"C:\\A\\c.txt"));

    File::Path path(L"C:\\dir\\file");
    path.setDirectory(L"x");
    EXPECT_EQ(std::wstring(path), L"C:xfile");
    File::Path copy;
    copy = path;
    EXPECT_EQ(std::wstring(copy), L"C:xfile");

    std::ostringstream out;
    path.setName(std::wstring(1, wchar_t(0x141)));
    out << path;
    EXPECT_EQ(out.str(), "C:xA"); // each character as its low 8 bits
}

class FileTest : public FolderTest {};

TEST_F(FileTest, OpenCreatesOnlyForWritingAndRemembersTheMode) {
    File missing(path(L"missing.txt"));
    EXPECT_EQ(messageOf<std::runtime_error>([&] { missing.open(0x1); }), "failed to open file.");
    EXPECT_EQ(missing.getMode(), 0u);
    EXPECT_FALSE(File::exists(missing.getName()));

    File file(path(L"new.txt"));
    file.open(0x3 | 0x100);
    EXPECT_TRUE(file.is_open());
    EXPECT_EQ(file.getMode(), 0x103u);
    file << "hello";
    file.close();
    EXPECT_EQ(file.getMode(), 0u);
    EXPECT_EQ(read(file.getName()), "hello");

    file.open(0x2); // plain output empties the file
    file.close();
    EXPECT_EQ(read(file.getName()), "");

    file.synchronize(); // closed: nothing happens
    EXPECT_FALSE(file.is_open());
}

TEST_F(FileTest, FailedOpenGivesTheLockBack) {
    File file(path(L"missing.txt"));
    EXPECT_THROW(file.open(0x1), std::runtime_error);
    EXPECT_TRUE(finishesOnAnotherThread([&] { DEZE::FileLock lock(file); }));
}

TEST_F(FileTest, NameOperations) {
    const std::wstring a = path(L"a.txt");
    const std::wstring b = path(L"b.txt");
    const std::wstring c = path(L"c.txt");
    EXPECT_FALSE(File::exists(a));
    EXPECT_TRUE(File::create(a));
    EXPECT_TRUE(File::exists(a));
    EXPECT_EQ(read(a), "");

    write(a, "one\ntwo\n", "w");
    EXPECT_TRUE(File::copy(a, b));
    EXPECT_EQ(read(b), read(a));
    EXPECT_NE(read(b).find("two"), std::string::npos);
    EXPECT_FALSE(File::copy(path(L"none.txt"), c));

    EXPECT_FALSE(File::rename(a, b)); // the target exists
    EXPECT_TRUE(File::exists(a));
    EXPECT_TRUE(File::rename(a, path(L"d.txt")));
    EXPECT_FALSE(File::exists(a));

    ASSERT_EQ(_wchmod(b.c_str(), 0x100), 0); // read-only
    EXPECT_TRUE(File::remove(b));
    EXPECT_FALSE(File::exists(b));
    EXPECT_TRUE(File::remove(b));
}
