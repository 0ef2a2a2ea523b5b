// WmiHandle::deliverIndication against the embedded service: the event reaches a consumer of the
// namespace with its values.
#include <zudava/zudava.h>

#include <gtest/gtest.h>

using DEZE::IEnumWbemClassObjectPtr;
using DEZE::IWbemClassObjectPtr;
using DEZE::WmiClass;
using DEZE::WmiConnectionFactory;
using DEZE::WmiContext;
using DEZE::WmiException;
using DEZE::WmiHandle;
using DEZE::WmiIndication;
using DEZE::WmiObjectPath;
using DEZE::WmiProperty;

namespace {

const wchar_t kNameSpace[] = L"root\\default";

class Indication : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override {
        WmiConnectionFactory::reset();
        CoUninitialize();
    }
    static WmiObjectPath path(const std::wstring& relative) {
        return WmiObjectPath(_bstr_t((std::wstring(kNameSpace) + L":" + relative).c_str()));
    }
};

TEST_F(Indication, DeliveredIndicationReachesAConsumer) {
    WmiHandle handle;
    WmiContext context;
    WmiClass eventClass(kNameSpace, L"DEZE_TestEvent", L"__ExtrinsicEvent");
    eventClass.setProperty(WmiProperty(L"Message", _variant_t(L""), CIM_STRING, nullptr));
    handle.createClass(context, path(L"DEZE_TestEvent"), eventClass);

    IEnumWbemClassObjectPtr events;
    ASSERT_EQ(S_OK,
              WmiConnectionFactory::create(_bstr_t(kNameSpace))
                  .getServices()
                  ->ExecNotificationQuery(_bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM DEZE_TestEvent"),
                                          WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                          nullptr, &events));
    WmiIndication indication(kNameSpace, L"DEZE_TestEvent");
    indication.setProperty(WmiProperty(L"Message", _variant_t(L"disk full"), CIM_STRING, nullptr));
    handle.deliverIndication(context, path(L"DEZE_TestEvent"), indication);

    IWbemClassObject* event = nullptr;
    ULONG returned = 0;
    ASSERT_EQ(S_OK, events->Next(10000, 1, &event, &returned));
    ASSERT_EQ(1u, returned);
    IWbemClassObjectPtr received(event, false);
    _variant_t message;
    ASSERT_EQ(S_OK, received->Get(L"Message", 0, &message, nullptr, nullptr));
    EXPECT_EQ(std::wstring(L"disk full"), std::wstring(message.bstrVal));
}

TEST_F(Indication, InstanceOfAnOrdinaryClassIsRefusedWithTheSinksStatus) {
    WmiHandle handle;
    WmiContext context;
    WmiClass plain(kNameSpace, L"DEZE_NotAnEvent", L"");
    plain.setProperty(WmiProperty(L"Name", _variant_t(L""), CIM_STRING, nullptr));
    handle.createClass(context, path(L"DEZE_NotAnEvent"), plain);
    WmiIndication indication(kNameSpace, L"DEZE_NotAnEvent");
    try {
        handle.deliverIndication(context, path(L"DEZE_NotAnEvent"), indication);
        ADD_FAILURE() << "no WmiException";
    } catch (const WmiException& e) {
        EXPECT_EQ(static_cast<long>(static_cast<HRESULT>(WBEM_E_NOT_EVENT_CLASS)), e.getCode());
        EXPECT_EQ(std::wstring(L"IWbemObjectSink::Indicate() failed"),
                  std::wstring(static_cast<const wchar_t*>(e.getMessage())));
    }
}

} // namespace
