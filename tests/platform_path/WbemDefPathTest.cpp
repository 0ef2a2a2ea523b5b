// The path parser (WbemDefPath: IWbemPath and IWbemPathKeyList) as Windows documents and runs
// it. The same test runs against the Linux platform and under Wine's wmiutils, which implements
// less: where Wine departs from Windows the case says so and runs on the platform only.
#include <windows.h>

#include <comdef.h>
#include <wbemcli.h>
#include <wmiutils.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "support/Host.h"

_COM_SMARTPTR_TYPEDEF(IWbemPath, IID_IWbemPath);
_COM_SMARTPTR_TYPEDEF(IWbemPathKeyList, IID_IWbemPathKeyList);

namespace {

using testing_support::underWine;

// mingw's WBEM codes are unsigned enumerators; ours are HRESULTs already.
constexpr HRESULT kInvalidParameter = static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER);
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(WBEM_E_BUFFER_TOO_SMALL);
constexpr HRESULT kNotAvailable = static_cast<HRESULT>(WBEM_E_NOT_AVAILABLE);
constexpr HRESULT kInvalidObjectPath = static_cast<HRESULT>(WBEM_E_INVALID_OBJECT_PATH);
constexpr HRESULT kNotFound = static_cast<HRESULT>(WBEM_E_NOT_FOUND);

#define SKIP_UNDER_WINE(reason)                                                                    \
    if (underWine())                                                                               \
    GTEST_SKIP() << "Wine's wmiutils " reason

class WbemDefPathTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    static IWbemPathPtr create() {
        IWbemPath* path = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWbemPath, reinterpret_cast<void**>(&path)));
        return IWbemPathPtr(path, false);
    }

    static IWbemPathPtr parsed(const wchar_t* text, ULONG mode = WBEMPATH_CREATE_ACCEPT_ALL) {
        IWbemPathPtr path = create();
        EXPECT_EQ(S_OK, path->SetText(mode, text))
            << "text " << static_cast<const char*>(_bstr_t(text));
        return path;
    }

    // Parses a new text into an existing object.
    static void reparse(IWbemPath* path, const wchar_t* text,
                        ULONG mode = WBEMPATH_CREATE_ACCEPT_ALL) {
        EXPECT_EQ(S_OK, path->SetText(mode, text)) << static_cast<const char*>(_bstr_t(text));
    }

    // One GetText form, read with the two calls.
    static std::wstring text(IWbemPath* path, LONG flags) {
        ULONG length = 0;
        EXPECT_EQ(S_OK, path->GetText(flags, &length, nullptr));
        std::wstring result(length, L'?');
        EXPECT_EQ(S_OK, path->GetText(flags, &length, &result[0]));
        EXPECT_EQ(result.size(), length);
        result.resize(length ? length - 1 : 0);
        return result;
    }

    static IWbemPathKeyListPtr keys(IWbemPath* path) {
        IWbemPathKeyList* list = nullptr;
        EXPECT_EQ(S_OK, path->GetKeyList(&list));
        return IWbemPathKeyListPtr(list, false);
    }

    static ULONG keyCount(IWbemPath* path) {
        ULONG count = 99;
        EXPECT_EQ(S_OK, keys(path)->GetCount(&count));
        return count;
    }

    static std::wstring keyText(IWbemPath* path, LONG flags) {
        IWbemPathKeyListPtr list = keys(path);
        ULONG length = 0;
        EXPECT_EQ(S_OK, list->GetText(flags, &length, nullptr));
        std::wstring result(length, L'?');
        EXPECT_EQ(S_OK, list->GetText(flags, &length, &result[0]));
        result.resize(length ? length - 1 : 0);
        return result;
    }

    static ULONGLONG info(IWbemPath* path) {
        ULONGLONG bits = 0;
        EXPECT_EQ(S_OK, path->GetInfo(0, &bits));
        return bits;
    }

    struct Key {
        std::wstring name;
        _variant_t value;
        ULONG type;
    };

    static Key key(IWbemPath* path, ULONG index) {
        IWbemPathKeyListPtr list = keys(path);
        Key result;
        ULONG length = 0;
        EXPECT_EQ(S_OK, list->GetKey2(index, 0, &length, nullptr, nullptr, nullptr));
        result.name.assign(length, L'?');
        VARIANT value;
        EXPECT_EQ(S_OK, list->GetKey2(index, 0, &length, &result.name[0], &value, &result.type));
        result.name.resize(length - 1);
        result.value.Attach(value);
        return result;
    }
};

const wchar_t kDisk[] = L"\\\\.\\root\\cimv2:Win32_LogicalDisk.DeviceId=\"C:\"";

TEST_F(WbemDefPathTest, ReadsAnInstancePathIntoItsParts) {
    IWbemPathPtr path = parsed(kDisk, WBEMPATH_CREATE_ACCEPT_RELATIVE);
    EXPECT_EQ(kDisk, text(path, WBEMPATH_GET_SERVER_TOO));
    EXPECT_EQ(L"root\\cimv2:Win32_LogicalDisk.DeviceId=\"C:\"", text(path, 0));
    EXPECT_EQ(L"Win32_LogicalDisk.DeviceId=\"C:\"", text(path, WBEMPATH_GET_RELATIVE_ONLY));
    EXPECT_EQ(L"\\\\.\\root\\cimv2", text(path, WBEMPATH_GET_SERVER_AND_NAMESPACE_ONLY));
    EXPECT_EQ(L"root\\cimv2", text(path, WBEMPATH_GET_NAMESPACE_ONLY));
    EXPECT_EQ(kDisk, text(path, WBEMPATH_GET_ORIGINAL));

    wchar_t buffer[32];
    ULONG length = 32;
    EXPECT_EQ(S_OK, path->GetServer(&length, buffer));
    EXPECT_STREQ(L".", buffer);
    EXPECT_EQ(2u, length);
    ULONG count = 0;
    EXPECT_EQ(S_OK, path->GetNamespaceCount(&count));
    EXPECT_EQ(2u, count);
    length = 32;
    EXPECT_EQ(S_OK, path->GetNamespaceAt(1, &length, buffer));
    EXPECT_STREQ(L"cimv2", buffer);
    length = 32;
    EXPECT_EQ(S_OK, path->GetClassName(&length, buffer));
    EXPECT_STREQ(L"Win32_LogicalDisk", buffer);
    EXPECT_EQ(18u, length);
    EXPECT_EQ(1u, keyCount(path));
    EXPECT_EQ(ULONGLONG(WBEMPATH_INFO_ANON_LOCAL_MACHINE | WBEMPATH_INFO_IS_INST_REF |
                        WBEMPATH_INFO_HAS_SUBSCOPES | WBEMPATH_INFO_V2_COMPLIANT |
                        WBEMPATH_INFO_CIM_COMPLIANT | WBEMPATH_INFO_PATH_HAD_SERVER),
              info(path));
}

TEST_F(WbemDefPathTest, SlashesSeparateAndAPathWithoutServerIsOnTheLocalOne) {
    IWbemPathPtr path = parsed(L"/root/cimv2:Win32_OperatingSystem");
    EXPECT_EQ(L"\\\\.\\root\\cimv2:Win32_OperatingSystem", text(path, WBEMPATH_GET_SERVER_TOO));
    EXPECT_EQ(L"root\\cimv2:Win32_OperatingSystem", text(path, 0));
    EXPECT_EQ(L"/root/cimv2:Win32_OperatingSystem", text(path, WBEMPATH_GET_ORIGINAL));
    ULONG length = 0;
    EXPECT_EQ(kNotAvailable, path->GetServer(&length, nullptr));
    EXPECT_EQ(ULONGLONG(WBEMPATH_INFO_ANON_LOCAL_MACHINE | WBEMPATH_INFO_IS_CLASS_REF |
                        WBEMPATH_INFO_HAS_SUBSCOPES | WBEMPATH_INFO_V2_COMPLIANT |
                        WBEMPATH_INFO_CIM_COMPLIANT),
              info(path));

    reparse(path, L"//./root/cimv2");
    EXPECT_EQ(L"\\\\.\\root\\cimv2", text(path, WBEMPATH_GET_SERVER_TOO));
    reparse(path, L"root\\cimv2"); // a separator makes a namespace path
    EXPECT_EQ(L"\\\\.\\root\\cimv2", text(path, WBEMPATH_GET_SERVER_TOO));
    if (!underWine()) { // which takes the text for a class
        EXPECT_EQ(ULONGLONG(WBEMPATH_INFO_ANON_LOCAL_MACHINE | WBEMPATH_INFO_V1_COMPLIANT |
                            WBEMPATH_INFO_V2_COMPLIANT | WBEMPATH_INFO_CIM_COMPLIANT |
                            WBEMPATH_INFO_SERVER_NAMESPACE_ONLY),
                  info(path));
    }
    reparse(path, L"Win32_Service.Name=\"Service\"");
    EXPECT_EQ(L"Win32_Service.Name=\"Service\"", text(path, WBEMPATH_GET_RELATIVE_ONLY));
}

TEST_F(WbemDefPathTest, ModesDecideWhichFormsAreAccepted) {
    IWbemPathPtr path = create();
    EXPECT_EQ(kInvalidParameter, path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, nullptr));
    EXPECT_EQ(kInvalidParameter, path->SetText(0, kDisk));
    EXPECT_EQ(kInvalidParameter, path->SetText(0, L""));
    for (const wchar_t* text : {L"", L"\\", L"\\\\server", L"\\\\server\\", L"\\\\.\\"})
        EXPECT_EQ(S_OK, path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, text))
            << static_cast<const char*>(_bstr_t(text));
    EXPECT_EQ(S_OK, path->SetText(WBEMPATH_CREATE_ACCEPT_ABSOLUTE,
                                  L"//.\\root\\cimv2:Win32_OperatingSystem"));
    EXPECT_EQ(S_OK, path->SetText(WBEMPATH_TREAT_SINGLE_IDENT_AS_NS + 1,
                                  L"/root/cimv2:Win32_OperatingSystem"));

    SKIP_UNDER_WINE("accepts what these modes refuse on Windows");
    EXPECT_EQ(kInvalidParameter,
              path->SetText(WBEMPATH_CREATE_ACCEPT_ABSOLUTE, L"/root/cimv2:Win32_OperatingSystem"));
    EXPECT_EQ(kInvalidParameter, path->SetText(WBEMPATH_TREAT_SINGLE_IDENT_AS_NS, L"root"));
    EXPECT_EQ(kInvalidParameter, path->SetText(WBEMPATH_CREATE_ACCEPT_RELATIVE, L""));
    EXPECT_EQ(kInvalidParameter, path->SetText(0x10 | WBEMPATH_CREATE_ACCEPT_ALL, L"Cls"));

    // A lone identifier is a class, or with WBEMPATH_TREAT_SINGLE_IDENT_AS_NS a namespace.
    reparse(path, L"Name", WBEMPATH_CREATE_ACCEPT_RELATIVE);
    EXPECT_EQ(L"Name", text(path, WBEMPATH_GET_RELATIVE_ONLY));
    reparse(path, L"Name", WBEMPATH_CREATE_ACCEPT_RELATIVE | WBEMPATH_TREAT_SINGLE_IDENT_AS_NS);
    EXPECT_EQ(L"Name", text(path, WBEMPATH_GET_NAMESPACE_ONLY));
    EXPECT_EQ(L"", text(path, WBEMPATH_GET_RELATIVE_ONLY));
}

TEST_F(WbemDefPathTest, MalformedTextIsRefusedAndChangesNothing) {
    EXPECT_EQ(kInvalidParameter,
              create()->SetText(WBEMPATH_CREATE_ACCEPT_ALL,
                                L"\\\\.\\root\\cimv2:Win32_LogicalDisk.DeviceId="));
    EXPECT_EQ(kInvalidParameter,
              create()->SetText(WBEMPATH_CREATE_ACCEPT_ALL,
                                L"\\\\.\\root\\cimv2:Win32_LogicalDisk.DeviceId = \"C:\""));
    SKIP_UNDER_WINE("accepts most malformed paths and empties the object on a failure");
    IWbemPathPtr path = parsed(kDisk);
    for (const wchar_t* bad : {L"Cls.",
                               L"Cls.A",
                               L"Cls.A=",
                               L"Cls.A=1,",
                               L"Cls.=1",
                               L".A=1",
                               L"Cls.A=\"open",
                               L"Cls.A=\"x\"y",
                               L"Cls.A=1,a=2",
                               L"Cls.A=x",
                               L"Cls.A=1.5",
                               L"Cls.A=+1",
                               L"Cls.A=0x10",
                               L"Cls.A=99999999999999999999",
                               L"Cls.A=-9223372036854775809",
                               L"Cls=@x",
                               L"Cls.A=@",
                               L"Cls=1,A=2",
                               L"9Cls",
                               L" Cls",
                               L"Cls ",
                               L"a:b:c",
                               L"root\\\\cimv2:Cls",
                               L"root\\ci\"mv2",
                               L"\\\\srv\\root:Cls.A='x'",
                               L"Cls.A=1.B=2"}) {
        EXPECT_EQ(kInvalidParameter, path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, bad))
            << static_cast<const char*>(_bstr_t(bad));
        EXPECT_EQ(kDisk, text(path, WBEMPATH_GET_ORIGINAL));
        EXPECT_EQ(kDisk, text(path, WBEMPATH_GET_SERVER_TOO));
    }
}

TEST_F(WbemDefPathTest, KeysAreTypedAsTheTextSpellsThem) {
    SKIP_UNDER_WINE("lacks IWbemPathKeyList::GetKey2");
    IWbemPathPtr path = parsed(L"Cls.I=-7,S=\"a\\\"b\\\\c:\\d\",B=true,L=4294967296,"
                               L"U=18446744073709551615,N=-2147483648,Z=007");
    ASSERT_EQ(7u, keyCount(path));
    Key k = key(path, 0);
    EXPECT_EQ(L"I", k.name);
    EXPECT_EQ(ULONG(CIM_SINT32), k.type);
    EXPECT_EQ(VT_I4, V_VT(&k.value));
    EXPECT_EQ(-7, V_I4(&k.value));
    k = key(path, 1);
    EXPECT_EQ(ULONG(CIM_STRING), k.type);
    EXPECT_EQ(VT_BSTR, V_VT(&k.value));
    EXPECT_STREQ(L"a\"b\\c:\\d", V_BSTR(&k.value)); // only \" and \\ are escapes
    k = key(path, 2);
    EXPECT_EQ(ULONG(CIM_BOOLEAN), k.type);
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&k.value));
    k = key(path, 3);
    EXPECT_EQ(ULONG(CIM_SINT64), k.type);
    EXPECT_STREQ(L"4294967296", V_BSTR(&k.value));
    k = key(path, 4);
    EXPECT_EQ(ULONG(CIM_UINT64), k.type);
    EXPECT_STREQ(L"18446744073709551615", V_BSTR(&k.value));
    EXPECT_EQ(INT_MIN, key(path, 5).value.lVal);
    EXPECT_EQ(7, key(path, 6).value.lVal);
    EXPECT_EQ(L"Cls.I=-7,S=\"a\\\"b\\\\c:\\\\d\",B=TRUE,L=4294967296,U=18446744073709551615,"
              L"N=-2147483648,Z=7",
              text(path, WBEMPATH_GET_RELATIVE_ONLY));
    ULONGLONG keyInfo = 0;
    EXPECT_EQ(S_OK, keys(path)->GetInfo(0, &keyInfo));
    EXPECT_EQ(ULONGLONG(WBEMPATH_INFO_IS_COMPOUND), keyInfo);

    // A reference is a quoted path; its ":" does not end the namespaces.
    reparse(path, L"root:Assoc.Ref=\"\\\\\\\\.\\\\root:A.x=1\"");
    EXPECT_EQ(L"root", text(path, WBEMPATH_GET_NAMESPACE_ONLY));
    EXPECT_STREQ(L"\\\\.\\root:A.x=1", key(path, 0).value.bstrVal);
    EXPECT_EQ(ULONG(CIM_STRING), key(path, 0).type);
}

TEST_F(WbemDefPathTest, SingletonsAndUnnamedKeys) {
    SKIP_UNDER_WINE("takes Cls=@ and Cls=\"v\" for class names");
    IWbemPathPtr path = parsed(L"\\\\srv\\root:Cls=@");
    EXPECT_EQ(0u, keyCount(path));
    EXPECT_EQ(L"Cls=@", text(path, WBEMPATH_GET_RELATIVE_ONLY));
    EXPECT_EQ(L"@", keyText(path, 0));
    EXPECT_TRUE(info(path) & WBEMPATH_INFO_IS_SINGLETON);
    EXPECT_TRUE(info(path) & WBEMPATH_INFO_IS_INST_REF);
    EXPECT_TRUE(info(path) & WBEMPATH_INFO_HAS_MACHINE_NAME);

    reparse(path, L"Cls=\"v\"");
    ASSERT_EQ(1u, keyCount(path));
    EXPECT_EQ(L"", key(path, 0).name);
    EXPECT_STREQ(L"v", key(path, 0).value.bstrVal);
    EXPECT_EQ(L"Cls=\"v\"", text(path, WBEMPATH_GET_SERVER_TOO));
    EXPECT_TRUE(info(path) & WBEMPATH_INFO_HAS_IMPLIED_KEY);
    // The unnamed key is the only one a path may have.
    _variant_t one(1L);
    EXPECT_EQ(kInvalidParameter, keys(path)->SetKey2(L"A", 0, CIM_SINT32, &one));
    EXPECT_EQ(S_OK, keys(path)->SetKey2(nullptr, 0, CIM_SINT32, &one));
    EXPECT_EQ(L"Cls=1", text(path, 0));
}

TEST_F(WbemDefPathTest, TextGettersFollowTheTwoCallProtocol) {
    IWbemPathPtr path = parsed(kDisk);
    const ULONG size = ULONG(wcslen(kDisk) + 1);
    ULONG length = 0;
    EXPECT_EQ(S_OK, path->GetText(WBEMPATH_GET_SERVER_TOO, &length, nullptr));
    EXPECT_EQ(size, length);
    EXPECT_EQ(kInvalidParameter, path->GetText(WBEMPATH_GET_SERVER_TOO, nullptr, nullptr));
    length = 0;
    EXPECT_EQ(kInvalidParameter, path->GetServer(nullptr, nullptr));
    EXPECT_EQ(S_OK, path->GetServer(&length, nullptr));
    EXPECT_EQ(2u, length);

    SKIP_UNDER_WINE("fills no buffer that is too short and still returns S_OK");
    std::vector<wchar_t> buffer(size, L'#');
    length = size - 1;
    EXPECT_EQ(kBufferTooSmall, path->GetText(WBEMPATH_GET_SERVER_TOO, &length, buffer.data()));
    EXPECT_EQ(size, length);
    EXPECT_EQ(L'#', buffer[0]);
    length = 5;
    EXPECT_EQ(kInvalidParameter, path->GetText(0, &length, nullptr));
    EXPECT_EQ(5u, length);
    length = 1;
    EXPECT_EQ(kBufferTooSmall, path->GetServer(&length, buffer.data()));
    EXPECT_EQ(2u, length);
    length = 5;
    EXPECT_EQ(kBufferTooSmall, path->GetClassName(&length, buffer.data()));
    EXPECT_EQ(18u, length);
    length = 4;
    EXPECT_EQ(kBufferTooSmall, path->GetNamespaceAt(1, &length, buffer.data()));
    EXPECT_EQ(6u, length);
    EXPECT_EQ(L'#', buffer[0]);
    for (LONG unknown : {0x40L, 0x6L, 0xCL, -1L}) {
        length = 0;
        EXPECT_EQ(kInvalidParameter, path->GetText(unknown, &length, nullptr)) << unknown;
    }
    IWbemPathKeyListPtr list = keys(path);
    length = 3;
    EXPECT_EQ(kBufferTooSmall, list->GetText(WBEMPATH_QUOTEDTEXT, &length, buffer.data()));
    EXPECT_EQ(14u, length); // DeviceId="C:"
    length = 2;
    EXPECT_EQ(kBufferTooSmall, list->GetKey2(0, 0, &length, buffer.data(), nullptr, nullptr));
    EXPECT_EQ(9u, length);
    EXPECT_EQ(L'#', buffer[0]);
}

TEST_F(WbemDefPathTest, PartsAreSetOneByOne) {
    IWbemPathPtr path = create();
    ULONG length = 0;
    EXPECT_EQ(kNotAvailable, path->GetServer(&length, nullptr));
    EXPECT_EQ(kInvalidObjectPath, path->GetClassName(&length, nullptr));
    EXPECT_EQ(kInvalidParameter, path->GetNamespaceAt(0, &length, nullptr));
    EXPECT_EQ(kInvalidParameter, path->RemoveNamespaceAt(0));
    EXPECT_EQ(ULONGLONG(WBEMPATH_INFO_ANON_LOCAL_MACHINE | WBEMPATH_INFO_SERVER_NAMESPACE_ONLY),
              info(path));
    EXPECT_EQ(kInvalidParameter, path->GetInfo(0, nullptr));

    EXPECT_EQ(kInvalidParameter, path->SetNamespaceAt(0, nullptr));
    EXPECT_EQ(kInvalidParameter, path->SetNamespaceAt(1, L"cimv2"));
    EXPECT_EQ(S_OK, path->SetNamespaceAt(0, L"cimv2"));
    EXPECT_EQ(S_OK, path->SetNamespaceAt(0, L"root")); // inserts before
    EXPECT_EQ(S_OK, path->SetServer(L"server"));
    EXPECT_EQ(ULONGLONG(WBEMPATH_INFO_HAS_MACHINE_NAME | WBEMPATH_INFO_V1_COMPLIANT |
                        WBEMPATH_INFO_V2_COMPLIANT | WBEMPATH_INFO_CIM_COMPLIANT |
                        WBEMPATH_INFO_SERVER_NAMESPACE_ONLY | WBEMPATH_INFO_PATH_HAD_SERVER),
              info(path));
    EXPECT_EQ(kInvalidParameter, path->SetClassName(nullptr));
    EXPECT_EQ(S_OK, path->SetClassName(L"Cls"));
    EXPECT_EQ(L"\\\\server\\root\\cimv2:Cls", text(path, WBEMPATH_GET_SERVER_TOO));
    EXPECT_EQ(S_OK, path->RemoveNamespaceAt(0));
    EXPECT_EQ(L"cimv2:Cls", text(path, 0));
    EXPECT_EQ(S_OK, path->SetServer(nullptr));
    EXPECT_EQ(kNotAvailable, path->GetServer(&length, nullptr));
    EXPECT_EQ(S_OK, path->RemoveAllNamespaces());
    EXPECT_EQ(S_OK, path->RemoveAllNamespaces());
    ULONG count = 9;
    EXPECT_EQ(S_OK, path->GetNamespaceCount(&count));
    EXPECT_EQ(0u, count);

    SKIP_UNDER_WINE("accepts names no path can hold, and writes \\\\. for a path without server");
    EXPECT_EQ(L"Cls", text(path, WBEMPATH_GET_SERVER_TOO));
    EXPECT_EQ(kInvalidParameter, path->SetClassName(L"bad name"));
    EXPECT_EQ(kInvalidParameter, path->SetNamespaceAt(0, L"a\\b"));
    EXPECT_EQ(kInvalidParameter, path->SetNamespaceAt(0, L""));
    EXPECT_EQ(kInvalidParameter, path->SetServer(L"a/b"));
    EXPECT_EQ(L"Cls", text(path, WBEMPATH_GET_SERVER_TOO));
    EXPECT_EQ(S_OK, path->SetClassName(L"")); // takes the class part away
    EXPECT_EQ(kInvalidObjectPath, path->GetClassName(&length, nullptr));
    IWbemPathKeyList* list = nullptr;
    EXPECT_EQ(kInvalidParameter, path->GetKeyList(&list));
    EXPECT_EQ(nullptr, list);
}

TEST_F(WbemDefPathTest, KeyListEditsThePathsKeys) {
    IWbemPathPtr path = parsed(L"root:Cls.A=1,B=\"x\"");
    IWbemPathKeyListPtr list = keys(path);
    EXPECT_EQ(kInvalidParameter, list->GetCount(nullptr));
    EXPECT_EQ(kInvalidParameter, list->RemoveAllKeys(1));
    SKIP_UNDER_WINE("implements no key list method but GetCount and RemoveAllKeys");

    _variant_t seven(7L);
    EXPECT_EQ(S_OK, list->SetKey2(L"a", 0, CIM_SINT32, &seven)); // replaces A
    _variant_t text(L"q\"\\");
    EXPECT_EQ(S_OK, list->SetKey2(L"S", 0, CIM_STRING, &text));
    LONG five = 5;
    EXPECT_EQ(S_OK, list->SetKey(L"K", 0, CIM_SINT32, &five));
    wchar_t reference[] = L"\\\\.\\root:X=@";
    EXPECT_EQ(S_OK, list->SetKey(L"T", 0, CIM_REFERENCE, reference));
    _variant_t all(-1L);
    EXPECT_EQ(S_OK, list->SetKey2(L"U", 0, CIM_UINT32, &all));
    EXPECT_EQ(L"root:Cls.a=7,B=\"x\",S=\"q\\\"\\\\\",K=5,T=\"\\\\\\\\.\\\\root:X=@\",U=4294967295",
              this->text(path, 0));
    EXPECT_EQ(L"a=7,B=x,S=q\"\\,K=5,T=\\\\.\\root:X=@,U=4294967295", keyText(path, 0));

    // What no key can be changes nothing.
    _variant_t real(1.5);
    const std::wstring before = this->text(path, 0);
    EXPECT_EQ(kInvalidParameter, list->SetKey2(L"R", 0, CIM_REAL64, &real));
    EXPECT_EQ(kInvalidParameter, list->SetKey2(L"R", 0, CIM_SINT32, &real));
    EXPECT_EQ(kInvalidParameter, list->SetKey2(L"R", 1, CIM_SINT32, &seven));
    EXPECT_EQ(kInvalidParameter, list->SetKey2(L"R", 0, CIM_SINT32, nullptr));
    EXPECT_EQ(kInvalidParameter, list->SetKey2(L"bad name", 0, CIM_SINT32, &seven));
    EXPECT_EQ(kInvalidParameter, list->SetKey(L"R", 0, CIM_SINT32, nullptr));
    EXPECT_EQ(kNotFound, list->RemoveKey(L"missing", 0));
    EXPECT_EQ(kInvalidParameter, list->RemoveKey(L"B", 1));
    EXPECT_EQ(before, this->text(path, 0));

    EXPECT_EQ(S_OK, list->RemoveKey(L"b", 0));
    EXPECT_EQ(5u, keyCount(path));
    EXPECT_EQ(S_OK, list->MakeSingleton(TRUE));
    EXPECT_EQ(L"Cls=@", this->text(path, WBEMPATH_GET_RELATIVE_ONLY));
    EXPECT_EQ(0u, keyCount(path));
    EXPECT_EQ(S_OK, list->MakeSingleton(FALSE));
    EXPECT_EQ(L"Cls", this->text(path, WBEMPATH_GET_RELATIVE_ONLY));
    EXPECT_EQ(S_OK, list->SetKey2(L"A", 0, CIM_SINT32, &seven));
    EXPECT_EQ(S_OK, list->RemoveAllKeys(0));
    EXPECT_EQ(L"root:Cls", this->text(path, 0));
}

TEST_F(WbemDefPathTest, GetKeyGivesValuesAsBytesOrText) {
    SKIP_UNDER_WINE("lacks IWbemPathKeyList::GetKey");
    IWbemPathKeyListPtr list = keys(parsed(L"Cls.N=-2,S=\"a\\\"b\",B=FALSE"));
    ULONG nameSize = 0, valueSize = 0, type = 0;
    EXPECT_EQ(S_OK, list->GetKey(0, 0, &nameSize, nullptr, &valueSize, nullptr, &type));
    EXPECT_EQ(2u, nameSize);
    EXPECT_EQ(4u, valueSize);
    EXPECT_EQ(ULONG(CIM_SINT32), type);
    wchar_t name[8];
    int32_t number = 0;
    EXPECT_EQ(S_OK, list->GetKey(0, 0, &nameSize, name, &valueSize, &number, nullptr));
    EXPECT_STREQ(L"N", name);
    EXPECT_EQ(-2, number);

    wchar_t value[16];
    valueSize = sizeof value;
    EXPECT_EQ(S_OK,
              list->GetKey(1, WBEMPATH_QUOTEDTEXT, nullptr, nullptr, &valueSize, value, nullptr));
    EXPECT_STREQ(L"\"a\\\"b\"", value);
    EXPECT_EQ(7 * sizeof(WCHAR), valueSize);
    valueSize = sizeof value;
    EXPECT_EQ(S_OK, list->GetKey(1, 0, nullptr, nullptr, &valueSize, value, nullptr));
    EXPECT_STREQ(L"a\"b", value);
    valueSize = 2;
    EXPECT_EQ(kBufferTooSmall, list->GetKey(1, 0, nullptr, nullptr, &valueSize, value, nullptr));
    EXPECT_EQ(4 * sizeof(WCHAR), valueSize);
    VARIANT_BOOL flag = VARIANT_TRUE;
    valueSize = sizeof flag;
    EXPECT_EQ(S_OK, list->GetKey(2, 0, nullptr, nullptr, &valueSize, &flag, &type));
    EXPECT_EQ(VARIANT_FALSE, flag);
    EXPECT_EQ(ULONG(CIM_BOOLEAN), type);
    EXPECT_EQ(kInvalidParameter, list->GetKey(3, 0, nullptr, nullptr, nullptr, nullptr, &type));
    EXPECT_EQ(kInvalidParameter, list->GetKey(0, 4, nullptr, nullptr, nullptr, nullptr, &type));
    EXPECT_EQ(kInvalidParameter, list->GetKey2(0, 1, nullptr, nullptr, nullptr, &type));
}

TEST_F(WbemDefPathTest, LocalityAndClassTests) {
    SKIP_UNDER_WINE("answers FALSE to every IsLocal, IsRelative and IsSameClassName");
    IWbemPathPtr path = parsed(kDisk);
    wchar_t machine[] = L"HOST", dot[] = L".", ns[] = L"ROOT/CIMV2", root[] = L"root";
    EXPECT_TRUE(path->IsLocal(L"HOST"));
    EXPECT_TRUE(path->IsLocal(nullptr));
    EXPECT_TRUE(path->IsRelative(machine, ns));
    EXPECT_FALSE(path->IsRelative(machine, root));
    EXPECT_TRUE(path->IsRelativeOrChild(dot, root, 0));
    EXPECT_FALSE(path->IsRelativeOrChild(dot, root, 1));
    EXPECT_TRUE(path->IsSameClassName(L"win32_logicaldisk"));
    EXPECT_FALSE(path->IsSameClassName(L"Win32_Logical"));
    EXPECT_FALSE(path->IsSameClassName(nullptr));

    reparse(path, L"\\\\srv\\root:Cls");
    EXPECT_FALSE(path->IsLocal(L"HOST"));
    EXPECT_TRUE(path->IsLocal(L"SRV"));
    EXPECT_FALSE(path->IsRelative(machine, root));
    reparse(path, L"Cls.A=1"); // no namespace: relative to any
    EXPECT_TRUE(path->IsRelative(machine, root));
}

TEST_F(WbemDefPathTest, AKeyListKeepsItsPathAlive) {
    IWbemPathKeyListPtr list = keys(parsed(L"Cls.A=1,B=2"));
    ULONG count = 0;
    EXPECT_EQ(S_OK, list->GetCount(&count));
    EXPECT_EQ(2u, count);
    IWbemPath* wrong = nullptr;
    EXPECT_EQ(E_NOINTERFACE, list->QueryInterface(IID_IWbemPath, reinterpret_cast<void**>(&wrong)));
    EXPECT_EQ(nullptr, wrong);
}

TEST_F(WbemDefPathTest, ThreadsShareOnePath) {
    IWbemPathPtr path = parsed(L"Cls.A=0");
    const std::wstring texts[] = {L"root:One.A=1", L"\\\\srv\\root\\cimv2:Two.B=\"x\",C=2"};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int i = 0; i < 300; ++i) {
                if (path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, texts[(t + i) % 2].c_str()) != S_OK)
                    ++bad;
                wchar_t buffer[128];
                ULONG length = 128;
                if (path->GetText(WBEMPATH_GET_ORIGINAL, &length, buffer) != S_OK ||
                    (buffer != texts[0] && buffer != texts[1]))
                    ++bad;
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, bad.load());
}

} // namespace
