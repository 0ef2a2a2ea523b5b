// Linking a provider group into a namespace and unlinking it, against the recording fake: the
// instances and values given to WMI, every failure's message and undo, and the unlink's order.
#include "wmi_fake/Checks.h"

#include <string>
#include <vector>

namespace {

using DEZE::WmiOOPCOMServer;

const wchar_t kProviderPath[] = L"__Win32Provider.Name=\"Grp\"";
const wchar_t kProviderFullPath[] = L"\\\\HOST\\root\\x:__Win32Provider.Name=\"Grp\"";
// The registrations' keys, as WMI reports the provider and in the form linking stores.
const wchar_t kInstanceRegistrationByServer[] =
    L"__InstanceProviderRegistration.provider="
    L"\"\\\\\\\\HOST\\\\root\\\\x:__Win32Provider.Name=\\\"Grp\\\"\"";
const wchar_t kInstanceRegistrationLocal[] =
    L"__InstanceProviderRegistration.provider="
    L"\"\\\\\\\\.\\\\root\\\\x:__Win32Provider.Name=\\\"Grp\\\"\"";

class Linking : public checks::FakeTest {
protected:
    void SetUp() override {
        FakeTest::SetUp();
        for (const wchar_t* name :
             {L"__Win32Provider", L"__InstanceProviderRegistration",
              L"__MethodProviderRegistration", L"__EventProviderRegistration"}) {
            auto* definition = new fake::ClassObject(1, name);
            services().add(name, definition);
            definition->Release();
        }
    }

    // An instance WMI would give back, with its path and the machine's name.
    void store(const std::wstring& path, const std::wstring& className,
               const std::wstring& fullPath) {
        auto* instance = new fake::ClassObject(2, className, fullPath);
        instance->addProperty(L"__SERVER", _variant_t(L"HOST"), CIM_STRING);
        services().add(path, instance);
        instance->Release();
    }
    void storeProvider() { store(kProviderPath, L"__Win32Provider", kProviderFullPath); }

    static std::vector<std::wstring> argumentsOf(const wchar_t* method) {
        std::vector<std::wstring> texts;
        for (const fake::Call& call : fake::log().callsOf(method))
            texts.push_back(call.text);
        return texts;
    }

    // "name type value" of every property the library gave the stored instance.
    std::vector<std::wstring> given(size_t index) {
        std::vector<std::wstring> lines;
        const auto* object = dynamic_cast<fake::ClassObject*>(services().stored.at(index));
        for (const fake::ClassObject::Property& property : object->properties) {
            if (property.system)
                continue;
            const VARIANT& value = property.value;
            std::wstring text;
            if (V_VT(&value) == VT_BSTR)
                text = V_BSTR(&value);
            else if (V_VT(&value) == VT_I4)
                text = std::to_wstring(V_I4(&value));
            else if (V_VT(&value) == VT_BOOL)
                text = V_BOOL(&value) == VARIANT_TRUE ? L"true" : V_BOOL(&value) ? L"?" : L"false";
            else if (V_VT(&value) == (VT_ARRAY | VT_BSTR)) {
                LONG lower = -1;
                LONG upper = -1;
                SafeArrayGetLBound(V_ARRAY(&value), 1, &lower);
                SafeArrayGetUBound(V_ARRAY(&value), 1, &upper);
                BSTR first = nullptr;
                LONG at = 0;
                SafeArrayGetElement(V_ARRAY(&value), &at, &first);
                text = L"[" + std::to_wstring(lower) + L".." + std::to_wstring(upper) + L"] " +
                       (first ? first : L"<null>");
                SysFreeString(first);
            }
            lines.push_back(property.name + L" " + std::to_wstring(property.type) + L" " + text);
        }
        return lines;
    }
};

TEST_F(Linking, StoresTheProviderAndItsThreeRegistrationsWithTheirValues) {
    storeProvider();
    EXPECT_TRUE(WmiOOPCOMServer::LinkCPA2NS("root\\x", "Grp", "{C1}"));

    EXPECT_EQ(argumentsOf(L"IWbemServices::GetObject"),
              (std::vector<std::wstring>{
                  L"__Win32Provider", kProviderPath, L"__InstanceProviderRegistration",
                  L"__MethodProviderRegistration", L"__EventProviderRegistration"}));
    for (const fake::Call& call : fake::log().callsOf(L"IWbemServices::PutInstance"))
        EXPECT_EQ(call.flags, 0) << "create or update, no call result";
    EXPECT_EQ(argumentsOf(L"IWbemServices::DeleteInstance"), std::vector<std::wstring>{});
    ASSERT_EQ(services().stored.size(), 4u);
    EXPECT_EQ(given(0),
              (std::vector<std::wstring>{
                  L"Name 8 Grp", L"CLSID 8 {C1}", L"InitializationReentrancy 3 2", L"Pure 11 true",
                  L"ImpersonationLevel 3 0", L"InitializeAsAdminFirst 11 false",
                  L"PerLocaleInitialization 11 false", L"PerUserInitialization 11 false"}));
    // The machine's name in the provider's path becomes ".".
    const std::wstring reference = L"Provider 102 \\\\.\\root\\x:__Win32Provider.Name=\"Grp\"";
    EXPECT_EQ(given(1),
              (std::vector<std::wstring>{reference, L"InteractionType 3 0", L"SupportsGet 11 true",
                                         L"SupportsPut 11 true", L"SupportsDelete 11 true",
                                         L"SupportsEnumeration 11 true"}));
    EXPECT_EQ(given(2), std::vector<std::wstring>{reference});
    EXPECT_EQ(given(3),
              (std::vector<std::wstring>{
                  reference, L"EventQueryList 8200 [0..0] SELECT * FROM DEZE_ExtrinsicEvent"}));
}

TEST_F(Linking, AServerNameMissingFromThePathLeavesTheReferenceAsWmiGaveIt) {
    auto* provider = new fake::ClassObject(2, L"__Win32Provider", kProviderFullPath);
    provider->addProperty(L"__SERVER", _variant_t(L"ELSEWHERE"), CIM_STRING);
    services().add(kProviderPath, provider);
    provider->Release();
    EXPECT_TRUE(WmiOOPCOMServer::LinkCPA2NS("root\\x", "Grp", "{C1}"));
    EXPECT_EQ(given(2),
              std::vector<std::wstring>{std::wstring(L"Provider 102 ") + kProviderFullPath});
}

// Each failing call, its message, whether the link first tries to delete what it may have
// stored, and how many instances it handed to WMI by then.
struct Failure {
    const wchar_t* method;
    int occurrence;
    const wchar_t* step;
    bool undone;
    size_t stores;
};

TEST_F(Linking, EveryFailureRaisesItsOwnTextAndUndoesOnceSomethingMayBeStored) {
    const wchar_t get[] = L"IWbemServices::GetObject";
    const wchar_t spawn[] = L"IWbemClassObject::SpawnInstance";
    const wchar_t put[] = L"IWbemServices::PutInstance";
    const Failure failures[] = {
        {get, 1, L"Error in GetObject __Win32Provider", false, 0},
        {spawn, 1, L"Error in SpawnInstance for __Win32Provider", false, 0},
        {put, 1, L"Error in PutInstance for  __Win32Provider", true, 1},
        {get, 2, L"Error in GetObject __Win32Provider.__PATH", true, 1},
        {L"IWbemClassObject::Get", 1, L"Error in Get  __Win32Provider.__PATH", true, 1},
        {L"IWbemClassObject::Get", 2, L"Error in Get  __Win32Provider.__PATH", true, 1},
        {get, 3, L"Error in GetClass __InstanceProviderRegistration", true, 1},
        {spawn, 2, L"Error in SpawnInstance for __InstanceProviderRegistration", true, 1},
        {put, 2, L"Error in PutInstance for __InstanceProviderRegistration", true, 2},
        {get, 4, L"Error in GetClass __MethodProviderRegistration", true, 2},
        {spawn, 3, L"Error in SpawnInstance for __MethodProviderRegistration", true, 2},
        {put, 3, L"Error in PutInstance for __MethodProviderRegistration", true, 3},
        {get, 5, L"Error in GetClass __EventProviderRegistration", true, 3},
        {spawn, 4, L"Error in SpawnInstance for __EventProviderRegistration", true, 3},
        {put, 4, L"Error in PutInstance for __EventProviderRegistration", true, 4},
    };
    storeProvider();
    for (const Failure& failure : failures) {
        SCOPED_TRACE(std::wstring(failure.method) + L" " + std::to_wstring(failure.occurrence));
        fake::log().clear();
        // Whatever status the call fails with, the exception carries E_FAIL.
        fake::log().failOn(failure.method, WBEM_E_ACCESS_DENIED, failure.occurrence);
        EXPECT_RAISES(WmiOOPCOMServer::LinkCPA2NS("root\\x", "Grp", "{C1}"), E_FAIL,
                      std::wstring(L"WmiOOPCOMServer::CreateNewCOMServer: ") + failure.step);
        // The undo looks for the first registration under the provider's reference; the link
        // itself never asks for a registration by its key.
        bool lookedForRegistration = false;
        for (const std::wstring& path : argumentsOf(get))
            lookedForRegistration |= path == kInstanceRegistrationByServer;
        EXPECT_EQ(lookedForRegistration, failure.undone);
        EXPECT_EQ(fake::log().callsOf(put).size(), failure.stores)
            << "nothing is stored after the failed step";
    }
}

TEST_F(Linking, AFailedMethodRegistrationUndoesTheInstanceRegistrationAndStopsThere) {
    storeProvider();
    // WMI holds what the link stored before the failure: the provider and, under the "." form,
    // the instance registration.
    store(kInstanceRegistrationLocal, L"__InstanceProviderRegistration",
          L"\\\\HOST\\root\\x:__InstanceProviderRegistration.provider=\"stored\"");
    fake::log().failOn(L"IWbemServices::PutInstance", WBEM_E_FAILED, 3);

    EXPECT_RAISES(WmiOOPCOMServer::LinkCPA2NS("root\\x", "Grp", "{C1}"), E_FAIL,
                  L"WmiOOPCOMServer::CreateNewCOMServer: Error in PutInstance for "
                  L"__MethodProviderRegistration");
    // The undo deletes the instance registration it found under the "." form, finds no method
    // registration in either form, and so leaves the provider in place.
    EXPECT_EQ(argumentsOf(L"IWbemServices::DeleteInstance"),
              std::vector<std::wstring>{
                  L"\\\\HOST\\root\\x:__InstanceProviderRegistration.provider=\"stored\""});
    const std::vector<std::wstring> fetched = argumentsOf(L"IWbemServices::GetObject");
    ASSERT_GE(fetched.size(), 2u);
    EXPECT_EQ(fetched[fetched.size() - 2],
              L"__MethodProviderRegistration.provider="
              L"\"\\\\\\\\HOST\\\\root\\\\x:__Win32Provider.Name=\\\"Grp\\\"\"");
    EXPECT_EQ(fetched.back(), L"__MethodProviderRegistration.provider="
                              L"\"\\\\\\\\.\\\\root\\\\x:__Win32Provider.Name=\\\"Grp\\\"\"");
}

TEST_F(Linking, AFailedProviderStoreOfANewGroupDeletesNothing) {
    // Nothing of the group is in the namespace: the undo finds no provider.
    fake::log().failOn(L"IWbemServices::PutInstance", WBEM_E_FAILED);
    EXPECT_RAISES(WmiOOPCOMServer::LinkCPA2NS("root\\x", "Grp", "{C1}"), E_FAIL,
                  L"WmiOOPCOMServer::CreateNewCOMServer: Error in PutInstance for  "
                  L"__Win32Provider");
    EXPECT_EQ(argumentsOf(L"IWbemServices::GetObject"),
              (std::vector<std::wstring>{L"__Win32Provider", kProviderPath}));
    EXPECT_TRUE(argumentsOf(L"IWbemServices::DeleteInstance").empty());
}

TEST_F(Linking, ANamespaceThatCannotBeOpenedRaisesTheConnectionsOwnError) {
    // No services: every connection fails.
    fake::world().services->Release();
    fake::world().services = nullptr;
    EXPECT_RAISES(WmiOOPCOMServer::LinkCPA2NS("root\\none", "Grp", "{C1}"),
                  WBEM_E_INVALID_NAMESPACE, L"IWbemLocator::ConnectServer() failed");
    EXPECT_NO_THROW(EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\none", "Grp")));
    EXPECT_NO_THROW(EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS(nullptr, nullptr)));
}

TEST_F(Linking, UnlinkDeletesTheRegistrationsBeforeTheProvider) {
    storeProvider();
    const wchar_t* const classes[] = {L"__InstanceProviderRegistration",
                                      L"__MethodProviderRegistration",
                                      L"__EventProviderRegistration"};
    for (const wchar_t* name : classes) {
        const std::wstring key =
            L".provider=\"\\\\\\\\HOST\\\\root\\\\x:__Win32Provider.Name=\\\"Grp\\\"\"";
        store(name + key, name, std::wstring(L"\\\\HOST\\root\\x:") + name + L".at");
    }
    EXPECT_TRUE(WmiOOPCOMServer::UnlinkCPA2NS("root\\x", "Grp"));
    EXPECT_EQ(argumentsOf(L"IWbemServices::DeleteInstance"),
              (std::vector<std::wstring>{L"\\\\HOST\\root\\x:__InstanceProviderRegistration.at",
                                         L"\\\\HOST\\root\\x:__MethodProviderRegistration.at",
                                         L"\\\\HOST\\root\\x:__EventProviderRegistration.at",
                                         kProviderFullPath}));
    for (const fake::Call& call : fake::log().callsOf(L"IWbemServices::DeleteInstance"))
        EXPECT_EQ(call.flags, 0);

    // A deletion that fails stops the unlink: the rest stays.
    fake::log().clear();
    fake::log().failOn(L"IWbemServices::DeleteInstance", WBEM_E_ACCESS_DENIED, 2);
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\x", "Grp"));
    EXPECT_EQ(argumentsOf(L"IWbemServices::DeleteInstance").size(), 2u);
    // So does a provider that is gone by the end.
    fake::log().clear();
    fake::log().failOn(L"IWbemServices::GetObject", WBEM_E_NOT_FOUND, 5);
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\x", "Grp"));
    EXPECT_EQ(argumentsOf(L"IWbemServices::DeleteInstance").size(), 3u);
}

TEST_F(Linking, UnlinkOfAGroupThatIsNotThereOrHasNoRegistrationsReturnsFalse) {
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\x", "Grp"));
    EXPECT_TRUE(argumentsOf(L"IWbemServices::DeleteInstance").empty());

    // Only the provider: the first registration is missing in both forms, and the provider stays.
    storeProvider();
    fake::log().clear();
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\x", "Grp"));
    EXPECT_EQ(argumentsOf(L"IWbemServices::GetObject"),
              (std::vector<std::wstring>{kProviderPath, kInstanceRegistrationByServer,
                                         kInstanceRegistrationLocal}));
    EXPECT_TRUE(argumentsOf(L"IWbemServices::DeleteInstance").empty());
}

TEST_F(Linking, TheLocalFormIsTriedOnlyForAPathThatNamesTheGroupAndTheServer) {
    struct Case {
        const wchar_t* path;
        const wchar_t* server;
        size_t lookups; // the provider, the registration as WMI names it, then the "." form
    };
    const Case cases[] = {
        {L"\\\\HOST\\root\\x:__Win32Provider.Name=\"Other\"", L"HOST", 2},
        {L"\\\\HOST\\root\\x:__Win32Provider.Name=\"GRP\"", L"HOST", 3}, // any case
        {kProviderFullPath, L"ELSEWHERE", 2},
        {kProviderFullPath, L"", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.path) + L" on " + c.server);
        // Fresh services (and no cached connection) for each provider.
        DEZE::WmiConnectionFactory::reset();
        fake::world().services->Release();
        fake::world().services = nullptr;
        auto* provider = new fake::ClassObject(2, L"__Win32Provider", c.path);
        provider->addProperty(L"__SERVER", _variant_t(c.server), CIM_STRING);
        services().add(kProviderPath, provider);
        provider->Release();
        fake::log().clear();
        EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\x", "Grp"));
        EXPECT_EQ(argumentsOf(L"IWbemServices::GetObject").size(), c.lookups);
    }
}

} // namespace
