// Profile files with Windows' results: case-insensitive names, whole-section replacement,
// deletion, section order, cut buffers and their sizes, the last errors, the Windows folder, and
// writers killed midway.
#include "support/Child.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using zudava_test::Child;
using zudava_test::ScratchFolder;

std::string contentOf(const std::string& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& file, const std::string& content) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary);
    out << content;
}

// The NUL-separated list a profile function returned, as items.
std::vector<std::string> itemsOf(const char* buffer, DWORD length) {
    std::vector<std::string> items;
    for (DWORD at = 0; at < length; at += DWORD(items.back().size()) + 1)
        items.emplace_back(buffer + at);
    return items;
}

class ProfileFile : public ::testing::Test {
protected:
    std::string read(const char* section, const char* key, const char* fallback = nullptr) {
        char buffer[1024];
        const DWORD length =
            GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, file.c_str());
        return std::string(buffer, length);
    }

    ScratchFolder folder;
    std::string file = folder.file("group.ini");
};

TEST_F(ProfileFile, WritesTheWindowsLayoutAndReadsWithoutRegardToCase) {
    ASSERT_TRUE(WritePrivateProfileStringA("Group", "CLSID", "{1}", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("GROUP", "Namespace", "root\\a", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "k", "v", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("group", "clsid", "{2}", file.c_str()));
    EXPECT_EQ(contentOf(file), "[Group]\r\nCLSID={2}\r\nNamespace=root\\a\r\n[Other]\r\nk=v\r\n");

    EXPECT_EQ(read("gRoUp", "NAMESPACE"), "root\\a");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(read("Group", "Missing", "fallback  "), "fallback"); // trailing blanks go
#ifndef _WIN32 // Wine leaves no error for what it did not find
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
#endif
    EXPECT_EQ(read("Missing", "CLSID"), "");
#ifndef _WIN32
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
#endif
}

TEST_F(ProfileFile, ReadsFilesAsWindowsDoes) {
    writeFile(file, "; comment\n[ Spaced ]\n  key  =  value with blanks  \n"
                    "quoted=\"in quotes\"\nbare line\n[Next]\nx=1");
    EXPECT_EQ(read("Spaced", "KEY"), "value with blanks");
    EXPECT_EQ(read("spaced", "quoted"), "in quotes");
    EXPECT_EQ(read("Next", "x"), "1");

    char buffer[256];
    DWORD length = GetPrivateProfileSectionA("Spaced", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(
        itemsOf(buffer, length),
        (std::vector<std::string>{"key=value with blanks", "quoted=\"in quotes\"", "bare line"}));
    length =
        GetPrivateProfileStringA("Spaced", nullptr, nullptr, buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(itemsOf(buffer, length), (std::vector<std::string>{"key", "quoted"}));
}

TEST_F(ProfileFile, SectionWritesReplaceTheWholeSection) {
    writeFile(file, "; keep me\r\n[A]\r\nold=1\r\nolder=2\r\n\r\n[B]\r\nb=1\r\n");
    const char lines[] = "CLSID={9}\0";
    ASSERT_TRUE(WritePrivateProfileSectionA("a", lines, file.c_str()));
#ifndef _WIN32 // Wine drops blank lines when it rewrites a file; this platform keeps them
    EXPECT_EQ(contentOf(file), "; keep me\r\n[A]\r\nCLSID={9}\r\n\r\n[B]\r\nb=1\r\n");
#endif
    ASSERT_TRUE(WritePrivateProfileSectionA("New", lines, file.c_str()));
    EXPECT_EQ(read("new", "clsid"), "{9}");

    // Deleting: a key with a null text, a section with a null key or null lines.
    ASSERT_TRUE(WritePrivateProfileStringA("B", "B", nullptr, file.c_str()));
    EXPECT_EQ(read("B", "b", "gone"), "gone");
    ASSERT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, file.c_str()));
    ASSERT_TRUE(WritePrivateProfileSectionA("NEW", nullptr, file.c_str()));
    char buffer[64];
    const DWORD length = GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(itemsOf(buffer, length), (std::vector<std::string>{"A"}));
    EXPECT_EQ(contentOf(file).find("; keep me"), 0u);
}

TEST_F(ProfileFile, SectionNamesComeInFileOrderAndCutListsEndInTwoNuls) {
    for (const char* name : {"Zeta", "alpha", "Mid:dle"})
        ASSERT_TRUE(WritePrivateProfileStringA(name, "k", "v", file.c_str()));
    char buffer[64];
    DWORD length = GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(length, 19u);
    EXPECT_EQ(itemsOf(buffer, length), (std::vector<std::string>{"Zeta", "alpha", "Mid:dle"}));

    std::memset(buffer, '#', sizeof buffer);
    length = GetPrivateProfileSectionNamesA(buffer, 8, file.c_str());
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(std::string(buffer, 7), std::string("Zeta\0a\0", 7));
#ifndef _WIN32 // the second NUL Windows documents; Wine leaves that byte alone
    EXPECT_EQ(buffer[7], '\0');
#endif

    // A value cut to fit: size - 1 characters and a NUL.
    ASSERT_TRUE(WritePrivateProfileStringA("Zeta", "long", "0123456789", file.c_str()));
    length = GetPrivateProfileStringA("Zeta", "long", nullptr, buffer, 5, file.c_str());
    EXPECT_EQ(length, 4u);
    EXPECT_STREQ(buffer, "0123");
    // A section cut to fit: size - 2 and two NULs.
    length = GetPrivateProfileSectionA("Zeta", buffer, 6, file.c_str());
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::string(buffer, 6), std::string("k=v\0\0\0", 6));
}

TEST_F(ProfileFile, SectionLookupsLeaveTheLastErrorTheExistenceTestReads) {
    char buffer[32767];
    SetLastError(12345);
    EXPECT_EQ(GetPrivateProfileSectionA("Group", buffer, sizeof buffer, file.c_str()), 0u);
    EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS)); // no file
    ASSERT_TRUE(WritePrivateProfileStringA("Group", "CLSID", "{1}", file.c_str()));
    SetLastError(12345);
    EXPECT_EQ(GetPrivateProfileSectionA("GROUP", buffer, sizeof buffer, file.c_str()), 10u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
#ifndef _WIN32 // Wine leaves no error for a missing section of an existing file
    SetLastError(12345);
    GetPrivateProfileSectionA("Other", buffer, sizeof buffer, file.c_str());
    EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS));
#endif

    // An empty section exists all the same.
    ASSERT_TRUE(WritePrivateProfileSectionA("Empty", "\0", file.c_str()));
    SetLastError(12345);
    EXPECT_EQ(GetPrivateProfileSectionA("Empty", buffer, sizeof buffer, file.c_str()), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
}

TEST_F(ProfileFile, AMissingFolderFailsAndCreatesNothing) {
    const std::string inMissing = folder.file("missing") + "\\group.ini";
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("Group", "CLSID", "{1}", inMissing.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(WritePrivateProfileSectionA("Group", "CLSID={1}\0", inMissing.c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder.path / "missing"));

    // Deleting what is not there writes nothing, not even an empty file.
    EXPECT_TRUE(WritePrivateProfileStringA("Group", nullptr, nullptr, file.c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(ProfileFile, LongValuesAreWrittenWhole) {
    const std::string value(1023, 'n');
    ASSERT_TRUE(WritePrivateProfileStringA("Group", "NAMESPACE", value.c_str(), file.c_str()));
    EXPECT_EQ(read("Group", "NAMESPACE"), value);
    const std::string longer(3000, 'm');
    ASSERT_TRUE(WritePrivateProfileStringA("Group", "NAMESPACE", longer.c_str(), file.c_str()));
    EXPECT_EQ(read("Group", "NAMESPACE"), longer.substr(0, 1023));
#ifndef _WIN32 // Wine leaves no error for a cut value
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
#endif
}

#ifndef _WIN32
TEST_F(ProfileFile, ABareNameMeansTheMachinesWindowsFolder) {
    const std::string name = "zudava-profile-test.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "v", name.c_str()));
    const std::filesystem::path expected =
        std::filesystem::path(std::getenv("ZUDAVA_STATE_DIR")) / "windows" / name;
    EXPECT_EQ(contentOf(expected.string()), "[S]\r\nk=v\r\n");
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("s", "K", nullptr, buffer, sizeof buffer, name.c_str()), 1u);
    std::filesystem::remove(expected);
}
#endif

TEST_F(ProfileFile, ThreadsWritingOneFileAtOnceLoseNothing) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([this, t] {
            for (int i = 0; i < 10; ++i)
                WritePrivateProfileStringA(("S" + std::to_string(t)).c_str(),
                                           ("k" + std::to_string(i)).c_str(), "v", file.c_str());
        });
    for (auto& writer : writers)
        writer.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(read(("S" + std::to_string(t)).c_str(), ("k" + std::to_string(i)).c_str()),
                      "v");
}

#ifndef _WIN32
// Wine rewrites a profile file in place, so a writer killed there can leave it half written.
TEST_F(ProfileFile, AWriterKilledMidwayLeavesTheOldFileOrTheNew) {
    Child writer("iniwriter \"" + file + "\"");
    ASSERT_TRUE(writer.started) << writer.error;
    for (int wait = 0; wait < 600 && !std::filesystem::exists(file); ++wait)
        Sleep(50);
    Sleep(300);
    writer.kill();

    std::vector<char> buffer(32767);
    const DWORD length =
        GetPrivateProfileStringA("Writer", "Value", "", buffer.data(), 32767, file.c_str());
    ASSERT_EQ(length, 20000u);
    for (DWORD i = 1; i < length; ++i)
        ASSERT_EQ(buffer[i], buffer[0]) << "torn at " << i;
    const DWORD section = GetPrivateProfileSectionA("Whole", buffer.data(), 32767, file.c_str());
    if (section != 0) {
        const auto lines = itemsOf(buffer.data(), section);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), 6u + 8000u);
        EXPECT_EQ(lines[1].size(), 7u + 8000u);
    }
}

#endif

} // namespace
