// Linking and unlinking against the embedded WMI service.
#include "provider_registration/Registration.h"

namespace {

using DEZE::WmiOOPCOMServer;
using registration_test::Namespace;

class LinkService : public registration_test::ServiceTest {};

TEST_F(LinkService, StoresFourInstancesThatReferToTheProviderThroughTheLocalMachine) {
    ASSERT_TRUE(WmiOOPCOMServer::LinkCPA2NS("root\\default", "Grp", "{C1}"));
    Namespace ns(L"root\\default");
    EXPECT_EQ(ns.provider(L"Grp"),
              L"CLSID={C1} ImpersonationLevel=0 InitializationReentrancy=2 "
              L"InitializeAsAdminFirst=false Name=Grp PerLocaleInitialization=false "
              L"PerUserInitialization=false Pure=true");
    const std::wstring reference = L"\\\\.\\root\\default:__Win32Provider.Name=\"Grp\"";
    EXPECT_EQ(ns.registrations(),
              (std::vector<std::wstring>{L"__InstanceProviderRegistration " + reference,
                                         L"__MethodProviderRegistration " + reference,
                                         L"__EventProviderRegistration " + reference}));
    EXPECT_EQ(ns.text(L"__InstanceProviderRegistration", L"SupportsGet"), L"true");
    EXPECT_EQ(ns.eventQueries(), std::vector<std::wstring>{L"SELECT * FROM DEZE_ExtrinsicEvent"});

    // Linking again overwrites: still one of each.
    ASSERT_TRUE(WmiOOPCOMServer::LinkCPA2NS("root\\default", "Grp", "{C2}"));
    EXPECT_EQ(ns.count(L"__Win32Provider"), 1u);
    EXPECT_EQ(ns.registrations().size(), 3u);
    EXPECT_EQ(ns.text(L"__Win32Provider", L"CLSID"), L"{C2}");

    ASSERT_TRUE(WmiOOPCOMServer::UnlinkCPA2NS("root\\default", "Grp"));
    EXPECT_EQ(ns.count(L"__Win32Provider"), 0u);
    EXPECT_TRUE(ns.registrations().empty());
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\default", "Grp"));
}

TEST_F(LinkService, UnlinkLeavesAProviderWhoseRegistrationsAreMissing) {
    ASSERT_TRUE(WmiOOPCOMServer::LinkCPA2NS("root\\default", "Grp", "{C1}"));
    Namespace ns(L"root\\default");
    ns.deleteAll(L"__InstanceProviderRegistration");
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\default", "Grp"));
    EXPECT_EQ(ns.count(L"__Win32Provider"), 1u);
    EXPECT_EQ(ns.registrations().size(), 2u);
}

TEST_F(LinkService, ANamespaceThatDoesNotExist) {
    EXPECT_FALSE(WmiOOPCOMServer::UnlinkCPA2NS("root\\nowhere", "Grp"));
    try {
        WmiOOPCOMServer::LinkCPA2NS("root\\nowhere", "Grp", "{C1}");
        ADD_FAILURE() << "no exception";
    } catch (const DEZE::WmiException& e) {
        EXPECT_EQ(e.getCode(), static_cast<long>(WBEM_E_INVALID_NAMESPACE));
    }
}

} // namespace
