// The connection cache: one ConnectServer per namespace, whatever its case; secured proxies;
// nothing cached after a failure; reset; and two threads at once.
#include "wmi_fake/Checks.h"

#include <thread>

using checks::text;
using DEZE::WmiConnection;
using DEZE::WmiConnectionFactory;

namespace {

class Connections : public checks::FakeTest {};

size_t connects() {
    return fake::log().callsOf(L"IWbemLocator::ConnectServer").size();
}

} // namespace

TEST_F(Connections, OneConnectionPerNamespaceWhateverItsCase) {
    services();
    const _bstr_t mixed(L"ROOT\\CimV2");
    const WmiConnection first = WmiConnectionFactory::create(L"root\\cimv2");
    const WmiConnection second = WmiConnectionFactory::create(mixed);
    EXPECT_EQ(connects(), 1u);
    EXPECT_EQ(text(first.getNameSpace()), L"root\\cimv2");
    EXPECT_EQ(text(second.getNameSpace()), L"root\\cimv2");
    EXPECT_EQ(text(mixed), L"ROOT\\CimV2"); // the caller's text keeps its case
    EXPECT_EQ(first.getServices(), second.getServices());
    WmiConnectionFactory::create(L"root\\default");
    EXPECT_EQ(connects(), 2u);
}

TEST_F(Connections, ConnectingAsksTheLocalMachineAndSecuresTheProxy) {
    services();
    WmiConnectionFactory::create(L"Root\\Test");
    EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                       L"CoCreateInstance 1 WbemLocator",
                                       L"IWbemLocator::ConnectServer 0 \\\\.\\root\\test",
                                       L"CoSetProxyBlanket 0",
                                   }));
    const fake::World& world = fake::world();
    EXPECT_EQ(world.blanket[0], DWORD(RPC_C_AUTHN_WINNT));
    EXPECT_EQ(world.blanket[1], DWORD(RPC_C_AUTHZ_NONE));
    EXPECT_EQ(world.blanket[2], DWORD(RPC_C_AUTHN_LEVEL_CALL));
    EXPECT_EQ(world.blanket[3], DWORD(RPC_C_IMP_LEVEL_IMPERSONATE));
    EXPECT_EQ(world.blanket[4], DWORD(EOAC_NONE));
    EXPECT_TRUE(world.blanketNulls);
}

TEST_F(Connections, AnEmptyNamespaceConnectsToTheBareResource) {
    services();
    EXPECT_EQ(text(WmiConnectionFactory::create(L"").getNameSpace()), L"");
    EXPECT_EQ(fake::log().callsOf(L"IWbemLocator::ConnectServer").front().text, L"\\\\.\\");
}

TEST_F(Connections, FailuresLeaveNothingCached) {
    // No services: the namespace does not exist.
    EXPECT_RAISES(WmiConnectionFactory::create(L"root\\missing"), WBEM_E_INVALID_NAMESPACE,
                  L"IWbemLocator::ConnectServer() failed");
    services();
    fake::world().blanketStatus = E_ACCESSDENIED;
    EXPECT_RAISES(WmiConnectionFactory::create(L"root\\missing"), E_ACCESSDENIED,
                  L"::CoSetProxyBlanket() failed");
    fake::world().blanketStatus = S_OK;
    WmiConnectionFactory::create(L"root\\missing");
    EXPECT_EQ(connects(), 3u);
    WmiConnectionFactory::create(L"root\\missing");
    EXPECT_EQ(connects(), 3u);
}

TEST_F(Connections, LocatorCreationFailures) {
    services();
    fake::world().createFailing = CLSID_WbemLocator;
    fake::world().createStatus = E_NOINTERFACE;
    EXPECT_RAISES(WmiConnectionFactory::create(L"root"), E_FAIL, L"Failed to create IWbemLocator");
    fake::world().createStatus = REGDB_E_CLASSNOTREG;
    try {
        WmiConnectionFactory::create(L"root");
        ADD_FAILURE() << "no _com_error";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), REGDB_E_CLASSNOTREG);
    }
    EXPECT_EQ(connects(), 0u);
}

TEST_F(Connections, ResetConnectsAnewAndOldConnectionsStayUsable) {
    services();
    const WmiConnection before = WmiConnectionFactory::create(L"root");
    WmiConnectionFactory::reset();
    const WmiConnection after = WmiConnectionFactory::create(L"root");
    EXPECT_EQ(connects(), 2u);
    DEZE::IWbemObjectSinkPtr sink;
    EXPECT_EQ(before.getServices()->QueryObjectSink(0, &sink), S_OK);
    WmiConnection assigned = after;
    assigned = before;
    assigned = assigned;
    EXPECT_EQ(assigned.getServices(), before.getServices());
}

TEST_F(Connections, TwoThreadsCreateAndReset) {
    services();
    auto work = [](const wchar_t* nameSpace) {
        for (int i = 0; i < 200; ++i) {
            const WmiConnection connection = WmiConnectionFactory::create(nameSpace);
            EXPECT_TRUE(connection.getServices());
            if (i % 10 == 0)
                WmiConnectionFactory::reset();
        }
    };
    std::thread first(work, L"root\\a");
    std::thread second(work, L"ROOT\\A");
    first.join();
    second.join();
    // Every connection was made under the lock: never more than one per reset and thread.
    EXPECT_GE(connects(), 20u);
    EXPECT_LE(connects(), 400u);
}
