// The clean-up of provider registrations in both modes, against the embedded WMI service.
#include "provider_registration/Registration.h"

namespace {

using DEZE::GroupConfFile;
using DEZE::UtilityManager;
using DEZE::WmiOOPCOMServer;
using registration_test::Namespace;

const char kAdapter[] = "Talvo|Fennick|DodaVuzavareVizerod";

class CleanUp : public registration_test::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped())
            return;
        makeAdapterNamespace();
    }
    void TearDown() override {
        if (initialised)
            Namespace(L"root\\talvose").clear();
        ServiceTest::TearDown();
    }

    // root\talvose, which the "OOP" mode cleans when no group is known.
    static void makeAdapterNamespace() {
        registration_test::IWbemLocatorPtr locator;
        ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<void**>(&locator)),
                  S_OK);
        registration_test::IWbemServicesPtr root;
        ASSERT_EQ(locator->ConnectServer(_bstr_t(L"\\\\.\\root"), nullptr, nullptr, nullptr, 0,
                                         nullptr, nullptr, &root),
                  S_OK);
        registration_test::IWbemClassObjectPtr definition;
        registration_test::IWbemClassObjectPtr instance;
        ASSERT_EQ(root->GetObject(_bstr_t(L"__NAMESPACE"), 0, nullptr, &definition, nullptr), S_OK);
        ASSERT_EQ(definition->SpawnInstance(0, &instance), S_OK);
        _variant_t name(L"talvose");
        instance->Put(L"Name", 0, &name, 0);
        ASSERT_EQ(root->PutInstance(instance, 0, nullptr, nullptr), S_OK);
    }

    static void linkAdapter(const char* ns) {
        ASSERT_TRUE(WmiOOPCOMServer::LinkCPA2NS(ns, kAdapter, "{A}"));
    }
    static size_t adapterLinks(const wchar_t* ns) {
        return Namespace(ns).provider(L"Talvo|Fennick|DodaVuzavareVizerod") == L"<none>" ? 0 : 1;
    }
    static void addGroup(const std::string& group, const std::vector<std::string>& namespaces) {
        DEZE::_configData entry;
        entry.groupName = group;
        entry.clsid = "{" + group + "}";
        entry.namespaces = namespaces;
        ASSERT_TRUE(GroupConfFile::getInstance()->AddEntry(entry));
    }
};

TEST_F(CleanUp, InProcessModeRemovesEveryGroupWithItsServerAndLinks) {
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\default", "A"));
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\cimv2", "A"));
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\cimv2", "B"));

    EXPECT_TRUE(UtilityManager::cleanUpRegistrationProvider("ip"));
    for (const wchar_t* ns : {L"root\\default", L"root\\cimv2"}) {
        EXPECT_EQ(Namespace(ns).count(L"__Win32Provider"), 0u);
        EXPECT_TRUE(Namespace(ns).registrations().empty());
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &key), ERROR_SUCCESS);
    wchar_t name[64];
    DWORD length = 64;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS)
        << "no CLSID left";
    RegCloseKey(key);
    EXPECT_EQ(groupFileText(), "");

    // Nothing left to remove.
    EXPECT_FALSE(UtilityManager::cleanUpRegistrationProvider("IP"));
}

TEST_F(CleanUp, InProcessModeTriesEveryGroupAndSucceedsWithOne) {
    // The first group is not linked where the file says: its removal fails, the next one works.
    addGroup("Broken", {"root\\default"});
    ASSERT_TRUE(WmiOOPCOMServer::CreateNewCOMServer("root\\cimv2", "Fine"));
    EXPECT_TRUE(UtilityManager::cleanUpRegistrationProvider("Ip"));
    EXPECT_EQ(GroupConfFile::getInstance()->GetAllGroups(), std::vector<std::string>{"Broken"});
    EXPECT_EQ(Namespace(L"root\\cimv2").count(L"__Win32Provider"), 0u);
}

TEST_F(CleanUp, OutOfProcessModeUnlinksTheAdapterFromEachGroupNamespaceOnce) {
    linkAdapter("root\\cimv2");
    linkAdapter("root\\talvose");
    // root\cimv2 twice in two spellings: unlinked once (a second unlink would fail, and the last
    // unlink's result is the mode's). root\talvose is not cleaned while groups are known.
    addGroup("G1", {"root\\cimv2"});
    addGroup("G2", {"ROOT\\CIMV2"});
    EXPECT_TRUE(UtilityManager::cleanUpRegistrationProvider("oop"));
    EXPECT_EQ(adapterLinks(L"root\\cimv2"), 0u);
    EXPECT_EQ(adapterLinks(L"root\\talvose"), 1u);
    // The groups stay: only the adapter's provider goes.
    EXPECT_EQ(GroupConfFile::getInstance()->GetAllGroups().size(), 2u);
}

TEST_F(CleanUp, OutOfProcessModeWithoutGroupsCleansTheSupportedNamespacesThenTheAdaptersOwn) {
    linkAdapter("root\\default");
    linkAdapter("root\\cimv2");
    linkAdapter("root\\talvose");
    writeProperties("# adapter settings\n  other=1\n  supportedNamespaces = default,,cimv2  \n"
                    "supportedNamespaces=ignored\n");
    EXPECT_TRUE(UtilityManager::cleanUpRegistrationProvider("OOP"));
    EXPECT_EQ(adapterLinks(L"root\\default"), 0u);
    EXPECT_EQ(adapterLinks(L"root\\cimv2"), 0u);
    EXPECT_EQ(adapterLinks(L"root\\talvose"), 0u);

    // root\talvose named by the file is cleaned once, as the last entry's result shows.
    linkAdapter("root\\talvose");
    writeProperties("supportedNamespaces=TALVOSE\n");
    EXPECT_TRUE(UtilityManager::cleanUpRegistrationProvider("OOP"));
    EXPECT_EQ(adapterLinks(L"root\\talvose"), 0u);
}

TEST_F(CleanUp, AKeyLineWithoutEqualsLeavesOnlyTheAdaptersNamespace) {
    linkAdapter("root\\default");
    linkAdapter("root\\talvose");
    writeProperties("supportedNamespaces default\nsupportedNamespaces=default\n");
    EXPECT_TRUE(UtilityManager::cleanUpRegistrationProvider("OOP"));
    EXPECT_EQ(adapterLinks(L"root\\default"), 1u);
    EXPECT_EQ(adapterLinks(L"root\\talvose"), 0u);
    // The last unlink decides: root\talvose has nothing left, so the result is false.
    EXPECT_FALSE(UtilityManager::cleanUpRegistrationProvider("OOP"));
}

} // namespace
