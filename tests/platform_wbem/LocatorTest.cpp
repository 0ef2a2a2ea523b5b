// IWbemLocator::ConnectServer: the forms a local namespace is named in, and what it refuses.
#include "WbemTesting.h"

#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L // winerror.h: "The RPC server is unavailable."
#endif

using namespace wbem_testing;

namespace {

class WbemLocator : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, m_com.result());
        m_locator.Attach(makeLocator().Detach());
        ASSERT_TRUE(m_locator);
    }

    HRESULT connectTo(const std::wstring& resource) {
        IWbemServicesPtr services;
        return connect(m_locator, resource.c_str(), services);
    }

    // The machine's name as the service reports it.
    std::wstring machine() {
        IWbemServicesPtr services;
        EXPECT_EQ(S_OK, connect(m_locator, L"root\\cimv2", services));
        IEnumWbemClassObjectPtr enumerator;
        EXPECT_EQ(S_OK,
                  services->CreateClassEnum(nullptr, WBEM_FLAG_SHALLOW, nullptr, &enumerator));
        IWbemClassObject* cls = nullptr;
        ULONG returned = 0;
        EXPECT_EQ(S_OK, enumerator->Next(kInfinite, 1, &cls, &returned));
        IWbemClassObjectPtr owned(cls, false);
        return cls ? text(cls, L"__SERVER") : L"";
    }

    ComScope m_com;
    IWbemLocatorPtr m_locator;
};

TEST_F(WbemLocator, ConnectsToALocalNamespaceNamedInAnyForm) {
    const std::wstring name = machine();
    ASSERT_FALSE(name.empty());
    for (const std::wstring& resource :
         {std::wstring(L"root\\cimv2"), std::wstring(L"ROOT\\CIMV2"), std::wstring(L"root/cimv2"),
          std::wstring(L"\\\\.\\root\\cimv2"), std::wstring(L"//./root/cimv2"),
          std::wstring(L"\\\\localhost\\root\\default"), L"\\\\" + name + L"\\root\\cimv2",
          L"//" + name + L"/Root/Default", std::wstring(L"root")})
        EXPECT_EQ(S_OK, connectTo(resource)) << narrow(resource.c_str());
}

TEST_F(WbemLocator, RefusesWhatItCannotConnectTo) {
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE), connectTo(L"root\\nosuchnamespace"));
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE), connectTo(L"\\\\.\\root\\cimv2\\deeper"));
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE), connectTo(L"\\\\.\\"));
    IWbemServicesPtr services;
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_locator->ConnectServer(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                       &services));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_locator->ConnectServer(_bstr_t(L"root\\cimv2"), nullptr, nullptr, nullptr, 0,
                                       nullptr, nullptr, nullptr));
    // A local connection runs as its caller: naming a user is refused.
    EXPECT_EQ(status(WBEM_E_LOCAL_CREDENTIALS),
              m_locator->ConnectServer(_bstr_t(L"root\\cimv2"), _bstr_t(L"someone"),
                                       _bstr_t(L"secret"), nullptr, 0, nullptr, nullptr,
                                       &services));
    EXPECT_EQ(nullptr, services.GetInterfacePtr());
}

TEST_F(WbemLocator, ARemoteMachineIsOutOfReach) {
    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's locator does not try remote machines";
    EXPECT_EQ(status(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)),
              connectTo(L"\\\\no-such-machine.invalid\\root\\cimv2"));
}

TEST_F(WbemLocator, ConnectionsAreIndependentObjects) {
    IWbemServicesPtr first, second;
    ASSERT_EQ(S_OK, connect(m_locator, L"root\\cimv2", first));
    ASSERT_EQ(S_OK, connect(m_locator, L"root\\cimv2", second));
    EXPECT_NE(first.GetInterfacePtr(), second.GetInterfacePtr());
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    unknown->Release();
    IWbemLocator* notIt = nullptr;
    EXPECT_EQ(E_NOINTERFACE,
              first->QueryInterface(IID_IWbemLocator, reinterpret_cast<void**>(&notIt)));
}

} // namespace
