// The registry with Windows' results: keys, the value types, sizes in UTF-16 bytes, access
// rights, deletion rules, enumeration, other processes and writers killed midway.
#include "support/Child.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using zudava_test::Child;
using zudava_test::runChild;

// A key under HKEY_CLASSES_ROOT for one test, removed with its subtree before and after.
class RegistryKey : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::string("ZudavaTest\\") + info->name();
        widePath = std::wstring(path.begin(), path.end());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, widePath.c_str());
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, widePath.c_str());
    }

    // Sets text the way the library does: two bytes a character, with or without the NUL.
    LONG setText(HKEY target, const wchar_t* name, const std::wstring& text, bool withNul = false,
                 DWORD type = REG_SZ) {
        return RegSetValueExW(target, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              DWORD(2 * (text.size() + (withNul ? 1 : 0))));
    }

    std::string path;
    std::wstring widePath;
    HKEY key = nullptr;
};

TEST_F(RegistryKey, KeyNamesIgnoreCaseAndKeepTheirSpelling) {
    HKEY created = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(key, L"Mixed\\Case", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(created);

    ASSERT_EQ(RegCreateKeyExW(key, L"MIXED\\case", 0, nullptr, 0, KEY_READ, nullptr, &created,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(created);

    HKEY opened = nullptr;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_CLASSES_ROOT, (path + "\\mixed\\CASE").c_str(), 0, KEY_READ, &opened),
        ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(RegOpenKeyExA(key, "Mixed\\Missing", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(key, L"Missing", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);

    wchar_t name[64];
    DWORD length = 64;
    ASSERT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, length), L"Mixed");
}

TEST_F(RegistryKey, WideTextCountsTwoBytesACharacterAndComesBackWhole) {
    // The library's local-server line: a byte count of twice the characters, leaving out the NUL,
    // which Windows NT stores all the same since it follows the text in memory.
    const std::wstring line =
        L"Z:\\opt\\my app\\server /G{5C3E9D17-42B8-4F0A-9E61-7D2A0B4C8E35}:Group One";
    ASSERT_EQ(setText(key, nullptr, line), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 2 * (line.size() + 1));

    std::vector<wchar_t> buffer(line.size() + 8, L'#');
    size = DWORD(2 * buffer.size());
    ASSERT_EQ(
        RegQueryValueExW(key, L"", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 2 * (line.size() + 1));
    EXPECT_EQ(std::wstring(buffer.data()), line);

    // One character short: ERROR_MORE_DATA, and the size needed.
    size = DWORD(2 * line.size());
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer.data()), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 2 * (line.size() + 1));

    // Text that no NUL follows is stored exactly as counted.
    const std::wstring padded = line + L"###";
    ASSERT_EQ(RegSetValueExW(key, L"Cut", 0, REG_SZ, reinterpret_cast<const BYTE*>(padded.c_str()),
                             DWORD(2 * line.size())),
              ERROR_SUCCESS);
    size = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"Cut", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2 * line.size());
}

TEST_F(RegistryKey, TextCrossesBetweenTheAnsiAndWideForms) {
    ASSERT_EQ(setText(key, L"Wide", L"caf\u00e9 \xD83D\xDE00", true), ERROR_SUCCESS);
    const char ansi[] = "plain text";
    ASSERT_EQ(RegSetValueExA(key, "Ansi", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(ansi),
                             sizeof ansi),
              ERROR_SUCCESS);

    wchar_t wide[32] = {};
    DWORD size = 2 * 32; // UTF-16 bytes, whatever a wchar_t takes
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"ANSI", nullptr, &type, reinterpret_cast<BYTE*>(wide), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(size, 2 * sizeof ansi); // stored as UTF-16, as Windows stores it
    EXPECT_EQ(std::wstring(wide), L"plain text");

    char narrow[32] = {};
    size = sizeof narrow;
    ASSERT_EQ(RegQueryValueExA(key, "wide", nullptr, &type, reinterpret_cast<BYTE*>(narrow), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    if (GetACP() == CP_UTF8) {
        EXPECT_STREQ(narrow, "caf\xC3\xA9 \xF0\x9F\x98\x80");
        EXPECT_EQ(size, 11u);
    }
}

TEST_F(RegistryKey, AnsiNamesMeetTheirWideSpelling) {
    // "Café" in the process's code page: a key and a value made through one form are found,
    // changed and removed through the other.
    const char* const name = GetACP() == CP_UTF8 ? "Caf\xC3\xA9" : "Caf\xE9";
    HKEY sub = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(
        RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    const DWORD number = 7;
    ASSERT_EQ(RegSetValueExA(sub, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    RegCloseKey(sub);

    ASSERT_EQ(RegOpenKeyExW(key, L"CAF\u00C9", 0, KEY_ALL_ACCESS, &sub), ERROR_SUCCESS);
    DWORD read = 0;
    DWORD size = sizeof read;
    EXPECT_EQ(RegQueryValueExW(sub, L"caf\u00e9", nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 7u);
    EXPECT_EQ(RegDeleteValueA(sub, name), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(sub, L"Caf\u00e9"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(sub);
    EXPECT_EQ(RegDeleteKeyA(key, name), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(key, name, 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(key, L"Caf\u00e9"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKey, DefaultValueIsTheEmptyName) {
    ASSERT_EQ(setText(key, L"", L"default", true), ERROR_SUCCESS);
    wchar_t text[16] = {};
    DWORD size = 32;
    EXPECT_EQ(
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text), L"default");
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, L"", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, L""), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKey, NumbersBinaryAndMultiStrings) {
    const DWORD number = 0x12345678;
    ASSERT_EQ(
        RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        ERROR_SUCCESS);
    const BYTE two[] = {0xAB, 0xCD};
    ASSERT_EQ(RegSetValueExW(key, L"Two", 0, REG_BINARY, two, 2), ERROR_SUCCESS);
    const wchar_t multi[] = L"one\0two\0";
    ASSERT_EQ(
        RegSetValueExW(key, L"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 2 * 9),
        ERROR_SUCCESS);

    DWORD read = 0;
    DWORD size = 4;
    DWORD type = 0;
    ASSERT_EQ(
        RegQueryValueExA(key, "NUMBER", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(read, number);

    read = 0;
    size = 4;
    ASSERT_EQ(RegQueryValueExA(key, "Two", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(read, 0xCDABu);

    wchar_t back[16];
    size = 2 * 16;
    ASSERT_EQ(RegQueryValueExW(key, L"multi", nullptr, &type, reinterpret_cast<BYTE*>(back), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(size, 18u);
    EXPECT_EQ(std::wstring(back, 9), std::wstring(multi, 9));

    // Overwriting changes type and data in place.
    ASSERT_EQ(setText(key, L"Number", L"now text", true), ERROR_SUCCESS);
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"Number", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 18u);
}

TEST_F(RegistryKey, ReadOnlyHandlesRefuseWrites) {
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &reader), ERROR_SUCCESS);
    const DWORD number = 7;
    EXPECT_EQ(
        RegSetValueExA(reader, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegSetValueExA(key, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(reader, "Value"), ERROR_ACCESS_DENIED);
    DWORD read = 0;
    DWORD size = 4;
    EXPECT_EQ(
        RegQueryValueExA(reader, "Value", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(read, 7u);
    EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
}

TEST_F(RegistryKey, KeysWithSubkeysResistRegDeleteKey) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyA(key, "Parent\\Child", &child), ERROR_SUCCESS);
    RegCloseKey(child);
    EXPECT_EQ(RegDeleteKeyA(key, "Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(key, L"PARENT\\child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key, L"Parent\\Child"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(key, "Parent"), ERROR_SUCCESS);
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, "Parent", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);

    // A tree goes at once, values and all; the key it starts from can stay, emptied.
    ASSERT_EQ(RegCreateKeyA(key, "Tree\\A\\B", &child), ERROR_SUCCESS);
    ASSERT_EQ(setText(child, L"Leaf", L"x", true), ERROR_SUCCESS);
    RegCloseKey(child);
    ASSERT_EQ(setText(key, L"Kept?", L"no", true), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(key, L"Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(key, "Tree", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(key, L"Tree"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegCreateKeyA(key, "Again", &child), ERROR_SUCCESS);
    RegCloseKey(child);
    EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, L"Kept?", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(key, "Again", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
}

TEST_F(RegistryKey, EnumeratesSubkeysByNameAndValuesInTheirOrder) {
    for (const char* name : {"beta", "Alpha", "gamma"}) {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyA(key, name, &child), ERROR_SUCCESS);
        RegCloseKey(child);
    }
    std::vector<std::wstring> keys;
    wchar_t name[32];
    DWORD length = 32;
    for (DWORD i = 0;
         RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 32)
        keys.emplace_back(name, length);
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"Alpha", L"beta", L"gamma"}));
    length = 32;
    EXPECT_EQ(RegEnumKeyExW(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    length = 5; // "Alpha" needs six with its NUL
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);

    ASSERT_EQ(setText(key, L"Zed", L"1", true), ERROR_SUCCESS);
    ASSERT_EQ(setText(key, L"Ant", L"22", true), ERROR_SUCCESS);
    ASSERT_EQ(setText(key, L"zed", L"333", true), ERROR_SUCCESS); // the same value, set again
    std::vector<std::wstring> values;
    wchar_t data[16];
    DWORD size = 32;
    length = 32;
    DWORD type = 0;
    for (DWORD i = 0; RegEnumValueW(key, i, name, &length, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
         ++i, length = 32, size = 32)
        values.push_back(std::wstring(name, length) + L"=" + data);
#ifdef _WIN32
    // Windows keeps values in the order they were made; Wine keeps them sorted by name.
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (std::vector<std::wstring>{L"Ant=22", L"Zed=333"}));
#else
    EXPECT_EQ(values, (std::vector<std::wstring>{L"Zed=333", L"Ant=22"}));
#endif
}

TEST_F(RegistryKey, AHandleToADeletedKeyFailsAndPathsAreChecked) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyA(key, "Doomed", &child), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(key, "Doomed"), ERROR_SUCCESS);
    const DWORD number = 1;
    EXPECT_EQ(RegSetValueExA(child, "V", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyA(key, "\\Leading", &child), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryKey, AnotherProcessSeesTheValuesAndItsOwnAreSeen) {
    const DWORD number = 42;
    ASSERT_EQ(
        RegSetValueExA(key, "FromParent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        ERROR_SUCCESS);
    ASSERT_EQ(runChild("regset " + path + "\\Sub FromChild \"written by the child\""), 0u);
    char text[64] = {};
    DWORD size = sizeof text;
    HKEY sub = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, "Sub", 0, KEY_READ, &sub), ERROR_SUCCESS);
    EXPECT_EQ(
        RegQueryValueExA(sub, "FromChild", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(text, "written by the child");
    RegCloseKey(sub);
}

TEST_F(RegistryKey, ThreadsWritingAtOnceLoseNothing) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([this, t] {
            for (DWORD i = 0; i < 25; ++i) {
                const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
                HKEY sub = nullptr;
                if (RegCreateKeyA(key, ("Thread" + std::to_string(t)).c_str(), &sub) !=
                    ERROR_SUCCESS)
                    continue;
                RegSetValueExA(sub, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                               4);
                RegCloseKey(sub);
            }
        });
    for (auto& writer : writers)
        writer.join();
    for (int t = 0; t < 4; ++t) {
        HKEY sub = nullptr;
        ASSERT_EQ(RegOpenKeyExA(key, ("Thread" + std::to_string(t)).c_str(), 0, KEY_READ, &sub),
                  ERROR_SUCCESS);
        for (DWORD i = 0; i < 25; ++i) {
            DWORD read = 99;
            DWORD size = 4;
            const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
            EXPECT_EQ(RegQueryValueExA(sub, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&read), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(read, i);
        }
        RegCloseKey(sub);
    }
}

TEST_F(RegistryKey, AWriterKilledMidwayLeavesWholeValues) {
    Child writer("regwriter " + path + "\\Killed");
    ASSERT_TRUE(writer.started) << writer.error;
    // Let it complete some rounds, then kill it wherever it is.
    HKEY killed = nullptr;
    for (int wait = 0;
         wait < 600 && RegOpenKeyExA(key, "Killed", 0, KEY_READ, &killed) != ERROR_SUCCESS; ++wait)
        Sleep(50);
    ASSERT_NE(killed, nullptr);
    Sleep(300);
    writer.kill();

    std::vector<BYTE> blob(256 * 1024 + 16);
    DWORD size = DWORD(blob.size());
    const LONG blobResult = RegQueryValueExW(killed, L"Blob", nullptr, nullptr, blob.data(), &size);
    if (blobResult == ERROR_SUCCESS) {
        ASSERT_EQ(size, 256u * 1024u);
        for (DWORD i = 1; i < size; ++i)
            ASSERT_EQ(blob[i], blob[0]) << "torn at byte " << i;
    } else {
        EXPECT_EQ(blobResult, ERROR_FILE_NOT_FOUND);
    }
    std::vector<wchar_t> text(32000 + 8);
    size = DWORD(2 * text.size());
    const LONG textResult = RegQueryValueExW(killed, L"Text", nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(text.data()), &size);
    if (textResult == ERROR_SUCCESS) {
        ASSERT_EQ(size, 64002u); // with the NUL that follows the counted text
        for (DWORD i = 1; i < 32000; ++i)
            ASSERT_EQ(text[i], text[0]) << "torn at character " << i;
    } else {
        EXPECT_EQ(textResult, ERROR_FILE_NOT_FOUND);
    }
    RegCloseKey(killed);

    // The registry takes writes again at once.
    const DWORD number = 5;
    EXPECT_EQ(RegSetValueExA(key, "After", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_SUCCESS);
}

} // namespace
