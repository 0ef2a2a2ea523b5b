// WmiObjectPath over the platform's path parser, on Linux and under Wine. Wine's parser lacks
// IWbemPathKeyList::GetKey, GetKey2 and SetKey2, through which every key is read and written:
// those cases run on the platform only.
#include <zudava/zudava.h>

#include <wbemcli.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/Host.h"

using DEZE::WmiException;
using DEZE::WmiObjectPath;

namespace {

using testing_support::underWine;

#define SKIP_UNDER_WINE()                                                                          \
    if (underWine())                                                                               \
    GTEST_SKIP() << "Wine's wmiutils lacks IWbemPathKeyList::GetKey, GetKey2 and SetKey2"

std::wstring str(const _bstr_t& text) {
    return text.length() ? std::wstring(static_cast<const wchar_t*>(text), text.length())
                         : std::wstring();
}

// The code and message of what `action` raises.
void expectRaises(const std::function<void()>& action, HRESULT code, const std::wstring& message) {
    try {
        action();
        ADD_FAILURE() << "nothing raised";
    } catch (const WmiException& e) {
        EXPECT_EQ(code, e.getCode());
        EXPECT_EQ(message, str(e.getMessage()));
    }
}

class WmiObjectPathTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(WmiObjectPathTest, GivesThePartsOfItsText) {
    const WmiObjectPath path(L"\\\\srv\\root\\cimv2:Win32_Service");
    EXPECT_EQ(L"srv", str(path.getHostName()));
    EXPECT_EQ(L"root\\cimv2", str(path.getNameSpace()));
    EXPECT_EQ(L"Win32_Service", str(path.getClassName()));
    EXPECT_EQ(0u, path.getKeyCount());
    EXPECT_EQ(L"\\\\srv\\root\\cimv2:Win32_Service", str(path.toString()));

    const WmiObjectPath local(L"root\\default:Cls");
    EXPECT_EQ(L"\\\\.\\root\\default:Cls", str(local.toString())); // the server is always there
    expectRaises([&] { local.getHostName(); }, HRESULT(WBEM_E_NOT_AVAILABLE),
                 L"IWbemPath::GetServer() failed");
    const WmiObjectPath empty;
    EXPECT_TRUE(!empty.getNameSpace());
    expectRaises([&] { empty.getClassName(); }, HRESULT(WBEM_E_INVALID_OBJECT_PATH),
                 L"IWbemPath::GetClassName() failed");
    expectRaises([&] { empty.getKeyCount(); }, HRESULT(WBEM_E_INVALID_PARAMETER),
                 L"IWbemPath::GetKeyList() failed");
}

TEST_F(WmiObjectPathTest, MalformedTextRaisesTheParsersStatus) {
    expectRaises([] { const WmiObjectPath path(L"Cls.Name="); }, HRESULT(WBEM_E_INVALID_PARAMETER),
                 L"IWbemPath::SetText() failed");
    expectRaises([] { const WmiObjectPath path{_bstr_t()}; }, HRESULT(WBEM_E_INVALID_PARAMETER),
                 L"IWbemPath::SetText() failed");
}

TEST_F(WmiObjectPathTest, QuotedKeysAreTypedByWhatTheirTextLooksLike) {
    SKIP_UNDER_WINE();
    const WmiObjectPath path(L"\\\\.\\root\\cimv2:Cls.When=\"20240101120000.000000+060\","
                             L"Ref=\"CIM_Foo.Name=1\",Far=\"\\\\\\\\srv\\\\root:X.k=1\","
                             L"Name=\"abc\",Span=\"00000001020304.000000:000\",Count=42,"
                             L"Almost=\"20240101120000.000000*060\"");
    ASSERT_EQ(7u, path.getKeyCount());
    EXPECT_EQ(CIM_DATETIME, path.getKey(0).getType());
    EXPECT_EQ(CIM_REFERENCE, path.getKey(1).getType());
    EXPECT_EQ(CIM_REFERENCE, path.getKey(2).getType());
    EXPECT_EQ(CIM_STRING, path.getKey(3).getType());
    EXPECT_EQ(CIM_DATETIME, path.getKey(4).getType());
    EXPECT_EQ(CIM_SINT32, path.getKey(5).getType());
    EXPECT_EQ(42, V_I4(&path.getKey(5).getValue().GetVARIANT()));
    EXPECT_EQ(CIM_STRING, path.getKey(6).getType());
    EXPECT_EQ(L"CIM_Foo.Name=1", str(_bstr_t(path.getKey(1).getValue())));
    // Retyping leaves the text as it was.
    EXPECT_EQ(L"\\\\.\\root\\cimv2:Cls.When=\"20240101120000.000000+060\",Ref=\"CIM_Foo.Name=1\","
              L"Far=\"\\\\\\\\srv\\\\root:X.k=1\",Name=\"abc\",Span=\"00000001020304.000000:000\","
              L"Count=42,Almost=\"20240101120000.000000*060\"",
              str(path.toString()));
}

TEST_F(WmiObjectPathTest, KeysByPositionAndByName) {
    const WmiObjectPath keyless(L"root:Cls");
    expectRaises([&] { keyless.getKey(0); }, S_OK, L"Index out of bounds");
    expectRaises([&] { keyless.getKey(L"Name"); }, S_OK, L"Index out of bounds");
    SKIP_UNDER_WINE();

    const WmiObjectPath path(L"root:Cls.Name=\"x\",Id=5");
    const WmiObjectPath::Key byName = path.getKey(L"NAME");
    EXPECT_EQ(L"Name", str(byName.getName()));
    EXPECT_EQ(L"x", str(_bstr_t(byName.getValue())));
    EXPECT_EQ(L"Id", str(path.getKey(1).getName()));
    expectRaises([&] { path.getKey(path.getKeyCount()); }, S_OK, L"Index out of bounds");
    expectRaises([&] { path.getKey(L"Other"); }, S_OK, L"Index out of bounds");

    WmiObjectPath edited(path);
    edited.setKey(WmiObjectPath::Key(L"id", _variant_t(6L), CIM_SINT32)); // replaces Id
    edited.setKey(WmiObjectPath::Key(L"Extra", _variant_t(L"a\"b"), CIM_STRING));
    EXPECT_EQ(L"\\\\.\\root:Cls.Name=\"x\",id=6,Extra=\"a\\\"b\"", str(path.toString()));
    expectRaises([&] { edited.setKey(WmiObjectPath::Key(L"Real", _variant_t(1.5), CIM_REAL64)); },
                 HRESULT(WBEM_E_INVALID_PARAMETER), L"IWbemPathKeyList::SetKey2() failed");
}

TEST_F(WmiObjectPathTest, NamespacesSplitAtBackslashes) {
    WmiObjectPath path;
    path.setNameSpace(L"root\\cimv2");
    EXPECT_EQ(L"root\\cimv2", str(path.getNameSpace()));
    path.setNameSpace(L"root\\");
    EXPECT_EQ(L"root", str(path.getNameSpace()));
    path.setNameSpace(L"");
    EXPECT_TRUE(!path.getNameSpace());
    path.setHostName(L"srv");
    path.setClassName(L"Cls");
    path.setNameSpace(L"a\\b\\c");
    EXPECT_EQ(L"\\\\srv\\a\\b\\c:Cls", str(path.toString()));
    path.setHostName(L"");
    EXPECT_EQ(L"\\\\.\\a\\b\\c:Cls", str(path.toString()));
    expectRaises([&] { path.setClassName(_bstr_t()); }, HRESULT(WBEM_E_INVALID_PARAMETER),
                 L"IWbemPath::SetClassName() failed");

    if (underWine())
        GTEST_SKIP() << "Wine's wmiutils stores empty namespace components";
    // An empty component is refused; the ones stored before it stay.
    expectRaises([&] { path.setNameSpace(L"root\\\\x"); }, HRESULT(WBEM_E_INVALID_PARAMETER),
                 L"IWbemPath::SetNamespaceAt() failed");
    EXPECT_EQ(L"root", str(path.getNameSpace()));
    expectRaises([&] { path.setNameSpace(L"\\root"); }, HRESULT(WBEM_E_INVALID_PARAMETER),
                 L"IWbemPath::SetNamespaceAt() failed");
}

TEST_F(WmiObjectPathTest, CopiesShareOneParser) {
    WmiObjectPath first(L"root\\default:One");
    WmiObjectPath second(first);
    second.setClassName(L"Two");
    EXPECT_EQ(L"Two", str(first.getClassName()));
    WmiObjectPath third;
    third = first;
    third = third;
    first.setHostName(L"srv");
    EXPECT_EQ(L"\\\\srv\\root\\default:Two", str(third.toString()));
    third = WmiObjectPath(L"root\\default:Three");
    EXPECT_EQ(L"Two", str(second.getClassName()));
}

TEST_F(WmiObjectPathTest, KeysAreIndependentValues) {
    WmiObjectPath::Key key(L"Name", _variant_t(L"x"), CIM_STRING);
    WmiObjectPath::Key copy(key);
    copy.setName(L"Other");
    copy.setValue(_variant_t(7L));
    copy.setType(CIM_SINT32);
    EXPECT_EQ(L"Name", str(key.getName()));
    EXPECT_EQ(L"x", str(_bstr_t(key.getValue())));
    EXPECT_EQ(CIM_STRING, key.getType());
    key = copy;
    EXPECT_EQ(7L, long(key.getValue()));
    key = key;
    EXPECT_EQ(L"Other", str(key.getName()));
    key.setType(CIM_UINT8); // the value stays as it was
    EXPECT_EQ(VT_I4, V_VT(&key.getValue().GetVARIANT()));
}

} // namespace
