// Registering provider groups end to end: the embedded WMI service, the registry and the group
// file, one process and several threads.
#include "provider_registration/Registration.h"

#include <atomic>
#include <regex>
#include <thread>

namespace {

using DEZE::GroupConfFile;
using DEZE::WmiOOPCOMServer;
using registration_test::Namespace;

// "name=data (bytes)" of every value of HKEY_CLASSES_ROOT\`path`; empty when there is no key.
std::vector<std::wstring> registryValues(const std::wstring& path) {
    std::vector<std::wstring> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    wchar_t name[256];
    wchar_t data[1024];
    DWORD nameLength = 256;
    DWORD size = sizeof(wchar_t) * 1024;
    DWORD type = 0;
    for (DWORD i = 0; RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
         ++i, nameLength = 256, size = sizeof(wchar_t) * 1024) {
        EXPECT_EQ(type, DWORD(REG_SZ));
        std::wstring text(data, size / 2);
        if (!text.empty() && text.back() == L'\0')
            text.pop_back();
        values.push_back(std::wstring(name, nameLength) + L"=" + text + L" (" +
                         std::to_wstring(size) + L")");
    }
    RegCloseKey(key);
    return values;
}

std::vector<std::wstring> subkeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    DWORD length = 256;
    for (DWORD i = 0;
         RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        names.push_back(std::wstring(name, length));
    RegCloseKey(key);
    return names;
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring ownPath() {
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    return path;
}

class COMServer : public registration_test::ServiceTest {
protected:
    GroupConfFile& file() { return *GroupConfFile::getInstance(); }
};

TEST_F(COMServer, AGroupIsRegisteredInTwoNamespacesAndRemovedWithoutTrace) {
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\default", "Group A"));
    const std::string clsid = file().GetCLSID("Group A");
    ASSERT_TRUE(
        std::regex_match(clsid, std::regex("\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}")))
        << clsid;
    EXPECT_EQ(groupFileText(), "[Group A]\r\nCLSID=" + clsid + "\r\nNAMESPACE=root\\default\r\n");

    // Three values, text counted two bytes a character without the NUL; the registry keeps the NUL
    // that follows the counted text in memory, as Windows does, and reads it back counted.
    const std::wstring classKey = L"CLSID\\" + wide(clsid);
    EXPECT_EQ(subkeys(L"CLSID"), std::vector<std::wstring>{wide(clsid)});
    EXPECT_EQ(registryValues(classKey),
              (std::vector<std::wstring>{L"= (0)",
                                         L"AppID={5C3E9D17-42B8-4F0A-9E61-7D2A0B4C8E35} (78)"}));
    EXPECT_EQ(subkeys(classKey), std::vector<std::wstring>{L"LocalServer32"});
    const std::wstring command = ownPath() + L" /G" + wide(clsid) + L":Group A";
    EXPECT_EQ(registryValues(classKey + L"\\LocalServer32"),
              std::vector<std::wstring>{L"=" + command + L" (" +
                                        std::to_wstring(2 * command.size() + 2) + L")"});

    Namespace defaults(L"root\\default");
    Namespace cimv2(L"root\\cimv2");
    EXPECT_EQ(defaults.text(L"__Win32Provider", L"CLSID"), wide(clsid));
    EXPECT_EQ(defaults.registrations().size(), 3u);
    EXPECT_EQ(cimv2.count(L"__Win32Provider"), 0u);

    // The second namespace: linked and appended; the CLSID and the registry stay as they were.
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\cimv2", "Group A"));
    EXPECT_EQ(groupFileText(),
              "[Group A]\r\nCLSID=" + clsid + "\r\nNAMESPACE=root\\default:root\\cimv2\r\n");
    EXPECT_EQ(subkeys(L"CLSID"), std::vector<std::wstring>{wide(clsid)});
    EXPECT_EQ(cimv2.text(L"__Win32Provider", L"CLSID"), wide(clsid));
    EXPECT_EQ(
        cimv2.registrations(),
        (std::vector<std::wstring>{
            L"__InstanceProviderRegistration \\\\.\\root\\cimv2:__Win32Provider.Name=\"Group A\"",
            L"__MethodProviderRegistration \\\\.\\root\\cimv2:__Win32Provider.Name=\"Group A\"",
            L"__EventProviderRegistration \\\\.\\root\\cimv2:__Win32Provider.Name=\"Group A\""}));

    // A namespace listed already, in other letter case: nothing is written.
    defaults.clear();
    EXPECT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("ROOT\\DEFAULT", "group a"));
    EXPECT_EQ(defaults.count(L"__Win32Provider"), 0u);
    ASSERT_TRUE(WmiOOPCOMServer::LinkCPA2NS("root\\default", "Group A", clsid.c_str()));

    ASSERT_TRUE(WmiOOPCOMServer::RemoveCOMServer("Group A", nullptr));
    for (const Namespace* ns : {&defaults, &cimv2}) {
        EXPECT_EQ(ns->count(L"__Win32Provider"), 0u);
        EXPECT_TRUE(ns->registrations().empty());
    }
    EXPECT_TRUE(subkeys(L"CLSID").empty());
    EXPECT_EQ(groupFileText(), "");
    EXPECT_FALSE(file().FindEntry("Group A"));
}

TEST_F(COMServer, AFailedLinkWritesNeitherRegistryNorFile) {
    try {
        WmiOOPCOMServer::CreateNewCOMServer("root\\nowhere", "G");
        ADD_FAILURE() << "no exception";
    } catch (const DEZE::WmiException& e) {
        EXPECT_EQ(e.getCode(), static_cast<long>(WBEM_E_INVALID_NAMESPACE));
    }
    EXPECT_TRUE(subkeys(L"CLSID").empty());
    EXPECT_FALSE(file().FindEntry("G"));

    // A known group: the namespace is not added.
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\default", "G"));
    EXPECT_THROW(WmiOOPCOMServer::CreateNewCOMServer("root\\nowhere", "G"), DEZE::WmiException);
    EXPECT_EQ(file().GetNamespacesForGroup("G"), std::vector<std::string>{"root\\default"});

    EXPECT_FALSE(WmiOOPCOMServer::CreateNewCOMServer(nullptr, "G"));
    EXPECT_FALSE(WmiOOPCOMServer::CreateNewCOMServer("root\\default", nullptr));
    EXPECT_FALSE(WmiOOPCOMServer::RemoveCOMServer(nullptr, nullptr));
    // A group name that needs more than 259 characters is refused before anything is written.
    EXPECT_FALSE(WmiOOPCOMServer::CreateNewCOMServer("root\\cimv2", std::string(260, 'g').c_str()));
    EXPECT_EQ(Namespace(L"root\\cimv2").count(L"__Win32Provider"), 0u);
    EXPECT_EQ(subkeys(L"CLSID").size(), 1u);
}

TEST_F(COMServer, RemovalStopsAtTheFirstNamespaceItCannotUnlink) {
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\default", "G"));
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\cimv2", "G"));
    Namespace defaults(L"root\\default");
    defaults.deleteAll(L"__MethodProviderRegistration");

    EXPECT_FALSE(WmiOOPCOMServer::RemoveCOMServer("G", nullptr));
    // The first namespace lost its instance registration and kept its provider; the second, the
    // registry and the file are untouched.
    EXPECT_EQ(defaults.count(L"__Win32Provider"), 1u);
    EXPECT_EQ(defaults.registrations().size(), 1u);
    EXPECT_EQ(Namespace(L"root\\cimv2").registrations().size(), 3u);
    EXPECT_EQ(subkeys(L"CLSID").size(), 1u);
    EXPECT_EQ(file().GetNamespacesForGroup("G"),
              (std::vector<std::string>{"root\\default", "root\\cimv2"}));
}

TEST_F(COMServer, RemovalOfGroupsTheFileDoesNotKnow) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{X}\\LocalServer32", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // Without a CLSID there is nothing to delete; an empty one leaves the registry alone too.
    EXPECT_TRUE(WmiOOPCOMServer::RemoveCOMServer("Nobody", nullptr));
    EXPECT_TRUE(WmiOOPCOMServer::RemoveCOMServer("Nobody", ""));
    EXPECT_EQ(subkeys(L"CLSID"), std::vector<std::wstring>{L"{X}"});
    // A given CLSID goes with its keys.
    EXPECT_TRUE(WmiOOPCOMServer::RemoveCOMServer("Nobody", "{X}"));
    EXPECT_TRUE(subkeys(L"CLSID").empty());

    // A section without a CLSID is removed alone.
    DEZE::_configData entry;
    entry.groupName = "Bare";
    ASSERT_TRUE(file().AddEntry(entry));
    EXPECT_TRUE(WmiOOPCOMServer::RemoveCOMServer("Bare", nullptr));
    EXPECT_FALSE(file().FindEntry("Bare"));
}

// Threads registering one new group at once make one CLSID and link each namespace once, while
// others empty the connection cache and fetch the group file's object: the registration mutex
// serialises the registrations and is always taken before the other two.
TEST_F(COMServer, ConcurrentRegistrationsOfOneGroupMakeOneServer) {
    const char* const namespaces[] = {"root\\default", "root\\cimv2"};
    std::atomic<bool> running{true};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            try {
                if (!WmiOOPCOMServer::CreateNewCOMServer(namespaces[i % 2], "Raced"))
                    ++failures;
            } catch (...) {
                ++failures;
            }
            CoUninitialize();
        });
    }
    std::thread resetter([&] {
        while (running) {
            DEZE::WmiConnectionFactory::reset();
            GroupConfFile::getInstance();
            std::this_thread::yield();
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    running = false;
    resetter.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(subkeys(L"CLSID").size(), 1u);
    EXPECT_EQ(file().GetAllGroups(), std::vector<std::string>{"Raced"});
    const auto listed = file().GetNamespacesForGroup("Raced");
    EXPECT_EQ(listed.size(), 2u);
    for (const char* ns : namespaces) {
        Namespace linked(wide(ns));
        EXPECT_EQ(linked.count(L"__Win32Provider"), 1u) << ns;
        EXPECT_EQ(linked.registrations().size(), 3u) << ns;
    }
}

} // namespace
