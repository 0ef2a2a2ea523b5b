// RegistryManager, ProcessManager and the COM server's registry entries, against the real
// registry and real child processes.
#include "support/Child.h"

#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace DEZE {
// The registry half of the COM server registration, reached as the class's friend.
class WmiOOPCOMServerTest {
public:
    static bool Register(const WmiOOPCOMServer::COMRegistration& registration) {
        return WmiOOPCOMServer::Register(registration);
    }
    static bool UnRegister(const WmiOOPCOMServer::COMRegistration& registration) {
        return WmiOOPCOMServer::UnRegister(registration);
    }
};
} // namespace DEZE

namespace {

using DEZE::ProcessManager;
using DEZE::RegistryManager;
using DEZE::WmiOOPCOMServerTest;
using zudava_test::childProgram;

const char kTestKey[] = "ZudavaRegistrationTest";

struct Cleanup {
    ~Cleanup() { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ZudavaRegistrationTest"); }
};

TEST(RegistryManager, WritesAndReadsDwordsCreatingThePath) {
    Cleanup cleanup;
    EXPECT_TRUE(RegistryManager::WriteRegKey(std::string(kTestKey) + "\\A\\B", "Count", 0xCAFE));
    unsigned long value = 1;
    EXPECT_TRUE(RegistryManager::ReadRegKey(std::string(kTestKey) + "\\a\\b", "COUNT", &value));
    EXPECT_EQ(value, 0xCAFEul);
    EXPECT_TRUE(RegistryManager::WriteRegKey(kTestKey, "", 7)); // the default value
    EXPECT_TRUE(RegistryManager::ReadRegKey(kTestKey, "", &value));
    EXPECT_EQ(value, 7ul);

    value = 99;
    EXPECT_FALSE(RegistryManager::ReadRegKey(std::string(kTestKey) + "\\Missing", "x", &value));
    EXPECT_FALSE(RegistryManager::ReadRegKey(kTestKey, "Missing", &value));
    EXPECT_EQ(value, 99ul);
    if (sizeof(unsigned long) > 4) {
        EXPECT_FALSE(RegistryManager::WriteRegKey(kTestKey, "Wide",
                                                  static_cast<unsigned long>(0x100000000ull)));
        EXPECT_FALSE(RegistryManager::ReadRegKey(kTestKey, "Wide", &value));
    }
}

TEST(RegistryManager, TakesAnyValueOfAtMostFourBytes) {
    Cleanup cleanup;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, kTestKey, &key), ERROR_SUCCESS);
    const BYTE two[] = {0x34, 0x12};
    RegSetValueExA(key, "Two", 0, REG_BINARY, two, 2);
    const char text[] = "longer than four";
    RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);

    unsigned long value = 0xFFFFFFFF;
    EXPECT_TRUE(RegistryManager::ReadRegKey(kTestKey, "Two", &value));
    EXPECT_EQ(value, 0x1234ul);
    value = 5;
    EXPECT_FALSE(RegistryManager::ReadRegKey(kTestKey, "Text", &value));
    EXPECT_EQ(value, 5ul);
    EXPECT_FALSE(RegistryManager::ReadRegKey(kTestKey, "Two", nullptr));
}

TEST(ProcessManager, ReturnsTheExitCodeOrTheErrorOfAFailedStart) {
    ProcessManager manager;
    EXPECT_EQ(manager.ProcessExec("\"" + childProgram() + "\" exit 3"), 3ul);
    EXPECT_EQ(manager.ProcessExec("zudava_test_child exit 0"), 0ul);
    EXPECT_EQ(manager.ProcessExec("zudava_no_such_program_anywhere"),
              static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));

    // Copies hold handles of their own: each closes only its own, in any order.
    ProcessManager first;
    EXPECT_EQ(first.ProcessExec("zudava_test_child exit 12"), 12ul);
    {
        ProcessManager copy(first);
        ProcessManager assigned;
        assigned = copy;
        assigned = assigned;
    }
    ProcessManager later(first);
    EXPECT_EQ(later.ProcessExec("zudava_test_child exit 13"), 13ul);
}

std::vector<std::wstring> valuesOf(const std::wstring& path) {
    std::vector<std::wstring> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    wchar_t name[256];
    wchar_t data[512];
    DWORD nameLength = 256;
    DWORD size = 2 * 512;
    DWORD type = 0;
    for (DWORD i = 0; RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
         ++i, nameLength = 256, size = 2 * 512) {
        EXPECT_EQ(type, DWORD(REG_SZ));
        std::wstring text(data, size / 2);
        while (!text.empty() && text.back() == L'\0')
            text.pop_back(); // the NUL that followed the counted text in memory
        values.push_back(std::wstring(name, nameLength) + L"=" + text);
    }
    RegCloseKey(key);
    return values;
}

TEST(WmiOOPCOMServer, RegistersThreeValuesAndRemovesThemAgain) {
    DEZE::WmiOOPCOMServer::COMRegistration registration;
    EXPECT_TRUE(registration.clsid.empty() && registration.appId.empty() &&
                registration.serverPath.empty() && registration.groupName.empty() &&
                registration.displayName.empty());
    registration.clsid = L"{0E7D3C35-1B6A-4C4E-9D2B-7A1F2C3D4E5F}";
    registration.appId = L"{5C3E9D17-42B8-4F0A-9E61-7D2A0B4C8E35}";
    registration.serverPath = L"C:\\Program Files\\Adapter\\server.exe";
    registration.groupName = L"Group One";
    ASSERT_TRUE(WmiOOPCOMServerTest::Register(registration));

    const std::wstring classKey = L"CLSID\\{0E7D3C35-1B6A-4C4E-9D2B-7A1F2C3D4E5F}";
    EXPECT_EQ(valuesOf(classKey),
              (std::vector<std::wstring>{L"=", L"AppID={5C3E9D17-42B8-4F0A-9E61-7D2A0B4C8E35}"}));
    // The executable path with its blanks, unquoted; no NUL stored.
    EXPECT_EQ(valuesOf(classKey + L"\\LocalServer32"),
              (std::vector<std::wstring>{L"=C:\\Program Files\\Adapter\\server.exe "
                                         L"/G{0E7D3C35-1B6A-4C4E-9D2B-7A1F2C3D4E5F}:Group One"}));

    ASSERT_TRUE(WmiOOPCOMServerTest::UnRegister(registration));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(WmiOOPCOMServerTest::UnRegister(registration)); // nothing left: still true
}

TEST(WmiOOPCOMServer, AnEmptyClsidLeavesTheRegistryAlone) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"CLSID\\LocalServer32", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    DEZE::WmiOOPCOMServer::COMRegistration registration;
    registration.groupName = L"G";
    EXPECT_TRUE(WmiOOPCOMServerTest::Register(registration));
    EXPECT_TRUE(WmiOOPCOMServerTest::UnRegister(registration));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\LocalServer32", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\LocalServer32");
}

} // namespace
