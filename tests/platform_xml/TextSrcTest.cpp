// WbemObjectTextSrc: CIM-XML of classes and instances as exact texts, with every context option
// and path level, and back through CreateFromText. Every text a test makes is checked against the
// DMTF DTD with xmllint.
//
// Round trips compare with WBEM_FLAG_IGNORE_OBJECT_SOURCE where the original is stored and the
// text does not say where (path levels 0 and 1), and with WBEM_FLAG_IGNORE_CLASS for instances:
// a text carries an instance's values, not its class's definition, so the instance read back
// belongs to a class made from its own properties.
#include "platform_wbem/WbemTesting.h"

#include <wbemcli.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

using namespace wbem_testing;

namespace {

_COM_SMARTPTR_TYPEDEF(IWbemObjectTextSrc, __uuidof(IWbemObjectTextSrc));
_COM_SMARTPTR_TYPEDEF(IWbemContext, __uuidof(IWbemContext));

std::string utf8(const std::wstring& text) {
    std::string out;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// The DTD beside the repository (../shared/data), or where ZUDAVA_SHARED_DATA says; empty when
// neither has it.
std::string dtdPath() {
    std::string folder = ZUDAVA_SOURCE_DIR "/../shared/data";
    if (const char* given = std::getenv("ZUDAVA_SHARED_DATA"))
        folder = given;
    const std::string path = folder + "/DSP0203_2.3.1.dtd";
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? path : std::string();
}

// xmllint's verdict on one text: empty when valid.
std::string dtdErrors(const std::wstring& text) {
    static int counter = 0;
    const std::string file =
        std::string(std::getenv("ZUDAVA_STATE_DIR") ? std::getenv("ZUDAVA_STATE_DIR") : "/tmp") +
        "/text" + std::to_string(++counter) + ".xml";
    std::ofstream(file, std::ios::binary) << utf8(text);
    const std::string log = file + ".log";
    const std::string command =
        "xmllint --noout --dtdvalid '" + dtdPath() + "' '" + file + "' >'" + log + "' 2>&1";
    const int rc = std::system(command.c_str());
    if (rc == 0)
        return std::string();
    std::ifstream in(log);
    return "xmllint " + std::to_string(rc) + ": " +
           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) +
           "\n" + utf8(text);
}

class WbemObjectTextSrc : public WbemTest {
protected:
    void SetUp() override {
        WbemTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_WbemObjectTextSrc, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemObjectTextSrc, reinterpret_cast<void**>(&m_source)));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWbemContext, reinterpret_cast<void**>(&m_context)));
        m_validate = !dtdPath().empty();
    }

    void option(const wchar_t* name, _variant_t value) {
        ASSERT_EQ(S_OK, m_context->SetValue(name, 0, &value));
    }

    // The text of `object`, checked against the DTD.
    std::wstring xml(IWbemClassObject* object, ULONG format = WMI_OBJ_TEXT_CIM_DTD_2_0) {
        BSTR text = nullptr;
        const HRESULT hr = m_source->GetText(0, object, format, m_context, &text);
        EXPECT_EQ(S_OK, hr);
        if (FAILED(hr))
            return std::wstring();
        const std::wstring result(text, SysStringLen(text));
        SysFreeString(text);
        if (m_validate) {
            EXPECT_EQ("", dtdErrors(result));
        }
        return result;
    }

    HRESULT textStatus(IWbemClassObject* object, ULONG format = WMI_OBJ_TEXT_CIM_DTD_2_0) {
        BSTR text = nullptr;
        const HRESULT hr = m_source->GetText(0, object, format, m_context, &text);
        SysFreeString(text);
        return hr;
    }

    IWbemClassObjectPtr read(const std::wstring& text, HRESULT expected = S_OK) {
        IWbemClassObjectPtr object;
        EXPECT_EQ(expected, m_source->CreateFromText(0, _bstr_t(text.c_str()),
                                                     WMI_OBJ_TEXT_CIM_DTD_2_0, nullptr, &object))
            << utf8(text);
        return object;
    }

    // An unstored class (no repository involved) with the given properties.
    IWbemClassObjectPtr newClass(const wchar_t* name) {
        IWbemClassObjectPtr cls;
        EXPECT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &cls, nullptr));
        set(cls, L"__CLASS", _variant_t(name));
        return cls;
    }

    IWbemObjectTextSrcPtr m_source;
    IWbemContextPtr m_context;
    bool m_validate = false;
};

TEST_F(WbemObjectTextSrc, ChecksItsArguments) {
    IWbemClassObjectPtr cls = newClass(L"A");
    BSTR text = nullptr;
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_source->GetText(1, cls, 1, nullptr, &text));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_source->GetText(0, nullptr, 1, nullptr, &text));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_source->GetText(0, cls, 1, nullptr, nullptr));
    for (ULONG format : {0u, 3u, 13u, 99u})
        EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
                  m_source->GetText(0, cls, format, nullptr, &text));
    EXPECT_EQ(nullptr, text);
    IWbemClassObjectPtr object;
    const _bstr_t valid(L"<CLASS NAME=\"A\"/>");
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_source->CreateFromText(1, valid, 1, nullptr, &object));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_source->CreateFromText(0, valid, 7, nullptr, &object));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_source->CreateFromText(0, valid, 1, nullptr, nullptr));
    EXPECT_EQ(S_OK, m_source->CreateFromText(0, valid, WMI_OBJ_TEXT_WMI_DTD_2_0, nullptr, &object));
}

TEST_F(WbemObjectTextSrc, ChecksTextsAgainstTheDmtfDtd) {
    if (!m_validate)
        GTEST_SKIP() << "../shared/data (beside the repository) is absent and ZUDAVA_SHARED_DATA "
                        "is not set: no text of these tests is checked against the DTD";
    // The check itself refuses what the DTD does not allow.
    EXPECT_NE("", dtdErrors(L"<PROPERTY NAME=\"p\" TYPE=\"reference\"/>"));
    EXPECT_EQ("", dtdErrors(L"<CLASS NAME=\"A\"/>"));
}

TEST_F(WbemObjectTextSrc, WritesExactTextsOfSmallObjects) {
    IWbemClassObjectPtr cls = newClass(L"Item");
    set(cls, L"Id", _variant_t(7L), CIM_UINT32);
    set(cls, L"Name", _variant_t(), CIM_STRING);
    EXPECT_EQ(
        L"<CLASS NAME=\"Item\"><PROPERTY NAME=\"Id\" TYPE=\"uint32\"><VALUE>7</VALUE></PROPERTY>"
        L"<PROPERTY NAME=\"Name\" TYPE=\"string\"></PROPERTY></CLASS>",
        xml(cls));
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, cls->SpawnInstance(0, &instance));
    set(instance, L"Id", _variant_t(-1L));
    set(instance, L"Name", _variant_t(L"a<b"));
    EXPECT_EQ(
        L"<INSTANCE CLASSNAME=\"Item\"><PROPERTY NAME=\"Id\" TYPE=\"uint32\"><VALUE>4294967295"
        L"</VALUE></PROPERTY><PROPERTY NAME=\"Name\" TYPE=\"string\"><VALUE>a&lt;b</VALUE>"
        L"</PROPERTY></INSTANCE>",
        xml(instance));
}

TEST_F(WbemObjectTextSrc, CarriesEveryCimTypeThereAndBack) {
    IWbemClassObjectPtr cls = newClass(L"AllTypes");
    struct Case {
        const wchar_t* name;
        CIMTYPE type;
        _variant_t value;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"B", CIM_BOOLEAN, _variant_t(true), L"<VALUE>TRUE</VALUE>"},
        {L"U8", CIM_UINT8, _variant_t(static_cast<BYTE>(255)), L"<VALUE>255</VALUE>"},
        {L"S8", CIM_SINT8, _variant_t(static_cast<short>(-128)), L"<VALUE>-128</VALUE>"},
        {L"U16", CIM_UINT16, _variant_t(65535L), L"<VALUE>65535</VALUE>"},
        {L"S16", CIM_SINT16, _variant_t(static_cast<short>(-32768)), L"<VALUE>-32768</VALUE>"},
        {L"U32", CIM_UINT32, _variant_t(static_cast<long>(0x80000000u)),
         L"<VALUE>2147483648</VALUE>"},
        {L"S32", CIM_SINT32, _variant_t(-2147483647L - 1), L"<VALUE>-2147483648</VALUE>"},
        {L"U64", CIM_UINT64, _variant_t(L"18446744073709551615"),
         L"<VALUE>18446744073709551615</VALUE>"},
        {L"S64", CIM_SINT64, _variant_t(L"-9223372036854775808"),
         L"<VALUE>-9223372036854775808</VALUE>"},
        {L"R32", CIM_REAL32, _variant_t(0.1f), L"<VALUE>0.1</VALUE>"},
        {L"R64", CIM_REAL64, _variant_t(1e-300), L"<VALUE>1e-300</VALUE>"},
        {L"C16", CIM_CHAR16, _variant_t(static_cast<short>(L'&')), L"<VALUE>&amp;</VALUE>"},
        {L"S", CIM_STRING, _variant_t(L"text"), L"<VALUE>text</VALUE>"},
        {L"D", CIM_DATETIME, _variant_t(L"20260102030405.000000+060"),
         L"<VALUE>20260102030405.000000+060</VALUE>"},
    };
    for (const Case& c : cases)
        set(cls, c.name, _variant_t(), c.type);
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, cls->SpawnInstance(0, &instance));
    for (const Case& c : cases)
        set(instance, c.name, c.value);
    const std::wstring text = xml(instance);
    for (const Case& c : cases)
        EXPECT_NE(std::wstring::npos,
                  text.find(std::wstring(L"<PROPERTY NAME=\"") + c.name + L"\" TYPE=\"" +
                            (c.type == CIM_BOOLEAN ? L"boolean" : L"")))
            << utf8(c.name);
    for (const Case& c : cases)
        EXPECT_NE(std::wstring::npos, text.find(c.text)) << utf8(c.text);
    IWbemClassObjectPtr back = read(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(status(WBEM_S_SAME), back->CompareTo(WBEM_FLAG_IGNORE_CLASS, instance));
    EXPECT_EQ(status(WBEM_S_SAME), read(xml(cls))->CompareTo(0, cls));
    EXPECT_EQ(xml(instance), xml(back));
}

TEST_F(WbemObjectTextSrc, WritesArraysNullsAndEscapes) {
    IWbemClassObjectPtr cls = newClass(L"Holder");
    set(cls, L"Numbers", _variant_t(), CIM_SINT32 | CIM_FLAG_ARRAY);
    set(cls, L"Texts", _variant_t(), CIM_STRING | CIM_FLAG_ARRAY);
    set(cls, L"Nothing", _variant_t(), CIM_REAL64);
    set(cls, L"Tricky", _variant_t(), CIM_STRING);
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, cls->SpawnInstance(0, &instance));
    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        LONG v = (i - 1) * 1000;
        SafeArrayPutElement(numbers, &i, &v);
    }
    _variant_t numberValue;
    numberValue.vt = VT_ARRAY | VT_I4;
    numberValue.parray = numbers;
    set(instance, L"Numbers", numberValue);
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG at = 0;
    const _bstr_t first(L"x\"y");
    SafeArrayPutElement(texts, &at, static_cast<BSTR>(first)); // element 1 stays a null BSTR
    _variant_t textValue;
    textValue.vt = VT_ARRAY | VT_BSTR;
    textValue.parray = texts;
    set(instance, L"Texts", textValue);
    const wchar_t tricky[] = {L'<',   L'&', L'>',   L'\r',  L'\n',  L'\t', 0x01,
                              0xD800, L'a', 0xFFFF, 0xD83D, 0xDE00, 0};
    set(instance, L"Tricky", _variant_t(tricky));
    const std::wstring text = xml(instance);
    EXPECT_NE(std::wstring::npos, text.find(L"<VALUE.ARRAY><VALUE>-1000</VALUE><VALUE>0</VALUE>"
                                            L"<VALUE>1000</VALUE></VALUE.ARRAY>"));
    EXPECT_NE(std::wstring::npos,
              text.find(L"<VALUE.ARRAY><VALUE>x&quot;y</VALUE><VALUE></VALUE></VALUE.ARRAY>"))
        << "class objects hold a null string element as an empty one\n"
        << utf8(text);
    EXPECT_NE(std::wstring::npos,
              text.find(L"<PROPERTY NAME=\"Nothing\" TYPE=\"real64\"></PROPERTY>"));
    const std::wstring expected = std::wstring(L"<VALUE>&lt;&amp;&gt;&#13;\n\t\xFFFD\xFFFD"
                                               L"a\xFFFD") +
                                  wchar_t(0xD83D) + wchar_t(0xDE00) + L"</VALUE>";
    EXPECT_NE(std::wstring::npos, text.find(expected)) << utf8(text);

    // Back: CR survives; what XML cannot carry comes back as U+FFFD.
    IWbemClassObjectPtr back = read(text);
    ASSERT_TRUE(back);
    const std::wstring readBack = std::wstring(L"<&>\r\n\t\xFFFD\xFFFD"
                                               L"a\xFFFD") +
                                  wchar_t(0xD83D) + wchar_t(0xDE00);
    EXPECT_EQ(readBack, std::wstring(get(back, L"Tricky").bstrVal));
    // A null element reads as the array type's empty value.
    IWbemClassObjectPtr nulls = read(
        L"<INSTANCE CLASSNAME=\"H\"><PROPERTY.ARRAY NAME=\"T\" TYPE=\"string\">"
        L"<VALUE.ARRAY><VALUE.NULL/><VALUE>b</VALUE></VALUE.ARRAY></PROPERTY.ARRAY></INSTANCE>");
    ASSERT_TRUE(nulls);
    const _variant_t array = get(nulls, L"T");
    ASSERT_EQ(VT_ARRAY | VT_BSTR, array.vt);
    BSTR element = nullptr;
    LONG index = 1;
    ASSERT_EQ(S_OK, SafeArrayGetElement(array.parray, &index, &element));
    EXPECT_EQ(std::wstring(L"b"), element);
    SysFreeString(element);
    set(instance, L"Tricky", _variant_t(L"plain\r\n"));
    EXPECT_EQ(status(WBEM_S_SAME),
              read(xml(instance))->CompareTo(WBEM_FLAG_IGNORE_CLASS, instance));
}

TEST_F(WbemObjectTextSrc, WritesReferencesAsPathElements) {
    IWbemClassObjectPtr cls = newClass(L"Link");
    set(cls, L"Full", _variant_t(), CIM_REFERENCE);
    set(cls, L"Local", _variant_t(), CIM_REFERENCE);
    set(cls, L"Relative", _variant_t(), CIM_REFERENCE);
    set(cls, L"ToClass", _variant_t(), CIM_REFERENCE);
    set(cls, L"Single", _variant_t(), CIM_REFERENCE);
    set(cls, L"Many", _variant_t(), CIM_REFERENCE | CIM_FLAG_ARRAY);
    IWbemQualifierSetPtr qualifiers;
    ASSERT_EQ(S_OK, cls->GetPropertyQualifierSet(L"Full", &qualifiers));
    _variant_t declared(L"ref:Item");
    ASSERT_EQ(S_OK, qualifiers->Put(L"CIMTYPE", &declared, WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE));
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, cls->SpawnInstance(0, &instance));
    set(instance, L"Full", _variant_t(L"\\\\SRV\\root\\cimv2:Item.Id=1,Name=\"a\\\"b\",On=TRUE"));
    set(instance, L"Local", _variant_t(L"root:Item=\"k\""));
    set(instance, L"Relative", _variant_t(L"Item.Id=9223372036854775807"));
    set(instance, L"ToClass", _variant_t(L"Item"));
    set(instance, L"Single", _variant_t(L"Config=@"));
    SAFEARRAY* many = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG zero = 0;
    const _bstr_t one(L"Item.Id=1");
    SafeArrayPutElement(many, &zero, static_cast<BSTR>(one));
    _variant_t manyValue;
    manyValue.vt = VT_ARRAY | VT_BSTR;
    manyValue.parray = many;
    set(instance, L"Many", manyValue);
    const std::wstring text = xml(instance);
    const wchar_t* const fragments[] = {
        L"<PROPERTY.REFERENCE NAME=\"Full\" REFERENCECLASS=\"Item\"><VALUE.REFERENCE><INSTANCEPATH>"
        L"<NAMESPACEPATH><HOST>SRV</HOST><LOCALNAMESPACEPATH><NAMESPACE NAME=\"root\"/><NAMESPACE "
        L"NAME=\"cimv2\"/></LOCALNAMESPACEPATH></NAMESPACEPATH><INSTANCENAME CLASSNAME=\"Item\">"
        L"<KEYBINDING NAME=\"Id\"><KEYVALUE VALUETYPE=\"numeric\">1</KEYVALUE></KEYBINDING>"
        L"<KEYBINDING NAME=\"Name\"><KEYVALUE VALUETYPE=\"string\">a&quot;b</KEYVALUE></KEYBINDING>"
        L"<KEYBINDING NAME=\"On\"><KEYVALUE VALUETYPE=\"boolean\">TRUE</KEYVALUE></KEYBINDING>"
        L"</INSTANCENAME></INSTANCEPATH></VALUE.REFERENCE></PROPERTY.REFERENCE>",
        L"<LOCALINSTANCEPATH><LOCALNAMESPACEPATH><NAMESPACE NAME=\"root\"/></LOCALNAMESPACEPATH>"
        L"<INSTANCENAME CLASSNAME=\"Item\"><KEYVALUE VALUETYPE=\"string\">k</KEYVALUE>",
        L"<KEYVALUE VALUETYPE=\"numeric\">9223372036854775807</KEYVALUE>",
        L"<VALUE.REFERENCE><CLASSNAME NAME=\"Item\"/></VALUE.REFERENCE>",
        L"<VALUE.REFERENCE><INSTANCENAME CLASSNAME=\"Config\"></INSTANCENAME></VALUE.REFERENCE>",
        L"<PROPERTY.ARRAY NAME=\"Many\" TYPE=\"string\"><QUALIFIER NAME=\"CIMTYPE\" "
        L"TYPE=\"string\" "
        L"PROPAGATED=\"true\" "
        L"TOINSTANCE=\"true\"><VALUE>ref</VALUE></QUALIFIER><VALUE.ARRAY><VALUE>Item.Id=1</VALUE>"
        L"</VALUE.ARRAY></PROPERTY.ARRAY>",
    };
    for (const wchar_t* fragment : fragments)
        EXPECT_NE(std::wstring::npos, text.find(fragment)) << utf8(fragment) << "\n" << utf8(text);
    IWbemClassObjectPtr back = read(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(status(WBEM_S_SAME), back->CompareTo(WBEM_FLAG_IGNORE_CLASS, instance));
    CIMTYPE type = 0;
    get(back, L"Many", &type);
    EXPECT_EQ(CIM_REFERENCE | CIM_FLAG_ARRAY, type);
}

TEST_F(WbemObjectTextSrc, EmbedsObjectsAsEscapedText) {
    IWbemClassObjectPtr inner = newClass(L"Inner");
    set(inner, L"V", _variant_t(L"<x>"), CIM_STRING);
    IWbemClassObjectPtr innerInstance;
    ASSERT_EQ(S_OK, inner->SpawnInstance(0, &innerInstance));
    IWbemClassObjectPtr outer = newClass(L"Outer");
    set(outer, L"Thing", _variant_t(), CIM_OBJECT);
    set(outer, L"Type", _variant_t(static_cast<IUnknown*>(inner)), CIM_OBJECT);
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, outer->SpawnInstance(0, &instance));
    set(instance, L"Thing", _variant_t(static_cast<IUnknown*>(innerInstance)));
    const std::wstring written = xml(instance);
    EXPECT_NE(
        std::wstring::npos,
        written.find(L"<PROPERTY NAME=\"Thing\" TYPE=\"string\" EmbeddedObject=\"instance\">"
                     L"<QUALIFIER NAME=\"CIMTYPE\" TYPE=\"string\" PROPAGATED=\"true\" "
                     L"TOINSTANCE=\"true\"><VALUE>object"
                     L"</VALUE></QUALIFIER><VALUE>&lt;INSTANCE CLASSNAME=&quot;Inner&quot;&gt;"
                     L"&lt;PROPERTY NAME=&quot;V&quot; TYPE=&quot;string&quot;&gt;&lt;VALUE&gt;"
                     L"&amp;lt;x&amp;gt;&lt;/VALUE&gt;"))
        << utf8(written);
    EXPECT_NE(std::wstring::npos, written.find(L"EmbeddedObject=\"object\""));
    IWbemClassObjectPtr back = read(written);
    ASSERT_TRUE(back);
    EXPECT_EQ(status(WBEM_S_SAME), back->CompareTo(WBEM_FLAG_IGNORE_CLASS, instance));
    const _variant_t embedded = get(back, L"Thing");
    ASSERT_EQ(VT_UNKNOWN, embedded.vt);
    IWbemClassObjectPtr thing(embedded.punkVal);
    EXPECT_EQ(L"<x>", text(thing, L"V"));
}

// Stored classes: Base (key Id, a method) and Derived (adds Extra); one stored Derived.
class StoredObjects : public WbemObjectTextSrc {
protected:
    void SetUp() override {
        WbemObjectTextSrc::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        IWbemClassObjectPtr base;
        ASSERT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &base, nullptr));
        set(base, L"__CLASS", _variant_t(L"Base"));
        set(base, L"Id", _variant_t(), CIM_SINT32);
        qualify(base, L"Id", L"key");
        IWbemQualifierSetPtr classQualifiers;
        ASSERT_EQ(S_OK, base->GetQualifierSet(&classQualifiers));
        _variant_t description(L"the base");
        ASSERT_EQ(S_OK,
                  classQualifiers->Put(L"Description", &description,
                                       WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS |
                                           WBEM_FLAVOR_NOT_OVERRIDABLE | WBEM_FLAVOR_AMENDED));
        // Resize([in] uint32 Size, [in] Base ref Target, [in, out] string Names[]): sint32
        IWbemClassObjectPtr in =
            parameters({{L"Size", CIM_UINT32, 0, true, false},
                        {L"Target", CIM_REFERENCE, 1, true, false},
                        {L"Names", CIM_STRING | CIM_FLAG_ARRAY, 2, true, true}},
                       false);
        IWbemClassObjectPtr out =
            parameters({{L"Names", CIM_STRING | CIM_FLAG_ARRAY, 2, true, true},
                        {L"Targets", CIM_REFERENCE | CIM_FLAG_ARRAY, 3, false, true}},
                       true);
        ASSERT_EQ(S_OK, base->PutMethod(L"Resize", 0, in, out));
        ASSERT_EQ(S_OK, m_services->PutClass(base, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
        ASSERT_TRUE(defineClass(L"Derived", L"Base", {{L"Extra", CIM_STRING}}));
        IWbemClassObjectPtr instance = spawn(L"Derived");
        set(instance, L"Id", _variant_t(5L));
        set(instance, L"Extra", _variant_t(L"e"));
        ASSERT_EQ(S_OK, put(instance));
    }

    struct Parameter {
        const wchar_t* name;
        CIMTYPE type;
        long id;
        bool in, out;
    };
    IWbemClassObjectPtr parameters(std::initializer_list<Parameter> list, bool withReturn) {
        IWbemClassObjectPtr signature;
        EXPECT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &signature, nullptr));
        if (!signature)
            return nullptr;
        if (withReturn)
            set(signature, L"ReturnValue", _variant_t(), CIM_SINT32);
        for (const Parameter& p : list) {
            set(signature, p.name, _variant_t(), p.type);
            IWbemQualifierSetPtr q;
            EXPECT_EQ(S_OK, signature->GetPropertyQualifierSet(p.name, &q));
            _variant_t id(p.id), yes(true);
            EXPECT_EQ(S_OK, q->Put(L"ID", &id, 0));
            if (p.in) {
                EXPECT_EQ(S_OK, q->Put(L"In", &yes, 0));
            }
            if (p.out) {
                EXPECT_EQ(S_OK, q->Put(L"Out", &yes, 0));
            }
        }
        return signature;
    }
};

TEST_F(StoredObjects, WritesMethodsWithTheirParameters) {
    IWbemClassObjectPtr base = object(L"Base");
    const std::wstring text = xml(base);
    EXPECT_NE(
        std::wstring::npos,
        text.find(
            L"<METHOD NAME=\"Resize\" TYPE=\"sint32\"><PARAMETER NAME=\"Size\" TYPE=\"uint32\">"))
        << utf8(text);
    for (const wchar_t* fragment : {L"<PARAMETER.REFERENCE NAME=\"Target\">",
                                    L"<PARAMETER.ARRAY NAME=\"Names\" TYPE=\"string\">",
                                    L"<PARAMETER.REFARRAY NAME=\"Targets\">"})
        EXPECT_NE(std::wstring::npos, text.find(fragment)) << utf8(fragment);
    IWbemClassObjectPtr back = read(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(status(WBEM_S_SAME),
              back->CompareTo(WBEM_FLAG_IGNORE_OBJECT_SOURCE | WBEM_FLAG_IGNORE_QUALIFIERS, base));
    IWbemClassObjectPtr in, out;
    ASSERT_EQ(S_OK, back->GetMethod(L"Resize", 0, &in, &out));
    CIMTYPE type = 0;
    get(out, L"Targets", &type);
    EXPECT_EQ(CIM_REFERENCE | CIM_FLAG_ARRAY, type);
    get(in, L"Names", &type);
    EXPECT_EQ(CIM_STRING | CIM_FLAG_ARRAY, type);
    get(out, L"ReturnValue", &type);
    EXPECT_EQ(CIM_SINT32, type);
}

TEST_F(StoredObjects, HonoursLocalOnlyQualifiersAndClassOrigin) {
    IWbemClassObjectPtr derived = object(L"Derived");
    EXPECT_EQ(0u, xml(derived).find(
                      L"<CLASS NAME=\"Derived\" SUPERCLASS=\"Base\"><PROPERTY NAME=\"Id\" "
                      L"TYPE=\"sint32\"></PROPERTY><PROPERTY NAME=\"Extra\" TYPE=\"string\">"
                      L"</PROPERTY><METHOD NAME=\"Resize\" TYPE=\"sint32\">"));
    option(L"LocalOnly", _variant_t(true));
    EXPECT_EQ(
        L"<CLASS NAME=\"Derived\" SUPERCLASS=\"Base\"><PROPERTY NAME=\"Extra\" TYPE=\"string\">"
        L"</PROPERTY></CLASS>",
        xml(derived));
    option(L"LocalOnly", _variant_t(false));
    option(L"IncludeClassOrigin", _variant_t(true));
    std::wstring text = xml(derived);
    EXPECT_NE(
        std::wstring::npos,
        text.find(
            L"<PROPERTY NAME=\"Id\" TYPE=\"sint32\" CLASSORIGIN=\"Base\" PROPAGATED=\"true\">"));
    EXPECT_NE(std::wstring::npos,
              text.find(L"<PROPERTY NAME=\"Extra\" TYPE=\"string\" CLASSORIGIN=\"Derived\">"));
    EXPECT_NE(
        std::wstring::npos,
        text.find(
            L"<METHOD NAME=\"Resize\" TYPE=\"sint32\" CLASSORIGIN=\"Base\" PROPAGATED=\"true\">"));
    ASSERT_EQ(S_OK, m_context->DeleteValue(L"IncludeClassOrigin", 0));
    option(L"ClassOrigin", _variant_t(true)); // the name the library's context uses
    EXPECT_EQ(text, xml(derived));
    ASSERT_EQ(S_OK, m_context->DeleteValue(L"ClassOrigin", 0));
    EXPECT_EQ(std::wstring::npos, xml(derived).find(L"<QUALIFIER NAME=\"Description\""));
    option(L"IncludeQualifiers", _variant_t(true));
    text = xml(object(L"Base"));
    EXPECT_NE(
        std::wstring::npos,
        text.find(
            L"<CLASS NAME=\"Base\"><QUALIFIER NAME=\"Description\" TYPE=\"string\" "
            L"OVERRIDABLE=\"false\" TRANSLATABLE=\"true\"><VALUE>the base</VALUE></QUALIFIER>"))
        << utf8(text);
    EXPECT_NE(std::wstring::npos,
              xml(derived).find(L"<QUALIFIER NAME=\"Description\" TYPE=\"string\" "
                                L"PROPAGATED=\"true\" OVERRIDABLE=\"false\""));
    IWbemClassObjectPtr back = read(xml(object(L"Base")));
    ASSERT_TRUE(back);
    EXPECT_EQ(status(WBEM_S_SAME),
              back->CompareTo(WBEM_FLAG_IGNORE_OBJECT_SOURCE, object(L"Base")));
}

TEST_F(StoredObjects, WritesSystemPropertiesOnlyInTheWmiFormat) {
    IWbemClassObjectPtr instance = object(L"Derived.Id=5");
    EXPECT_EQ(std::wstring::npos, xml(instance).find(L"__"));
    const std::wstring wmi = xml(instance, WMI_OBJ_TEXT_WMI_DTD_2_0);
    EXPECT_NE(std::wstring::npos,
              wmi.find(L"<PROPERTY NAME=\"__CLASS\" TYPE=\"string\"><VALUE>Derived</VALUE>"));
    EXPECT_NE(std::wstring::npos, wmi.find(L"<PROPERTY.ARRAY NAME=\"__DERIVATION\" "
                                           L"TYPE=\"string\"><VALUE.ARRAY><VALUE>Base</VALUE>"));
    option(L"ExcludeSystemProperties", _variant_t(true));
    EXPECT_EQ(xml(instance), xml(instance, WMI_OBJ_TEXT_WMI_DTD_2_0));
    IWbemClassObjectPtr back = read(wmi);
    ASSERT_TRUE(back);
    EXPECT_EQ(status(WBEM_S_SAME),
              back->CompareTo(WBEM_FLAG_IGNORE_OBJECT_SOURCE | WBEM_FLAG_IGNORE_CLASS, instance));
}

TEST_F(StoredObjects, WritesEveryPathLevelAndReadsItBack) {
    IWbemClassObjectPtr instance = object(L"Derived.Id=5");
    IWbemClassObjectPtr cls = object(L"Derived");
    const std::wstring server = text(instance, L"__SERVER");
    std::wstring nsPath;
    for (const wchar_t* ns : {L"root", m_name.c_str()})
        nsPath += std::wstring(L"<NAMESPACE NAME=\"") + ns + L"\"/>";
    const std::wstring name =
        L"<INSTANCENAME CLASSNAME=\"Derived\"><KEYBINDING NAME=\"Id\">"
        L"<KEYVALUE VALUETYPE=\"numeric\">5</KEYVALUE></KEYBINDING></INSTANCENAME>";
    const std::wstring local = L"<LOCALNAMESPACEPATH>" + nsPath + L"</LOCALNAMESPACEPATH>";
    const std::wstring prefixes[][2] = {
        {L"<CLASS ", L"<INSTANCE "},
        {L"<VALUE.NAMEDOBJECT><CLASS ", L"<VALUE.NAMEDOBJECT>" + name + L"<INSTANCE "},
        {L"<VALUE.OBJECTWITHLOCALPATH><LOCALCLASSPATH>" + local +
             L"<CLASSNAME NAME=\"Derived\"/></LOCALCLASSPATH><CLASS ",
         L"<VALUE.OBJECTWITHLOCALPATH><LOCALINSTANCEPATH>" + local + name +
             L"</LOCALINSTANCEPATH><INSTANCE "},
        {L"<VALUE.OBJECTWITHPATH><CLASSPATH><NAMESPACEPATH><HOST>" + server + L"</HOST>" + local +
             L"</NAMESPACEPATH><CLASSNAME NAME=\"Derived\"/></CLASSPATH><CLASS ",
         L"<VALUE.OBJECTWITHPATH><INSTANCEPATH><NAMESPACEPATH><HOST>" + server + L"</HOST>" +
             local + L"</NAMESPACEPATH>" + name + L"</INSTANCEPATH><INSTANCE "},
    };
    for (long level = 0; level <= 3; ++level) {
        SCOPED_TRACE(level);
        option(L"PathLevel", _variant_t(level));
        const std::wstring clsText = xml(cls), instanceText = xml(instance);
        EXPECT_EQ(0u, clsText.find(prefixes[level][0])) << utf8(clsText);
        EXPECT_EQ(0u, instanceText.find(prefixes[level][1])) << utf8(instanceText);
        // From level 2 the text says where the object lives, and the object read back knows it.
        const LONG source = level >= 2 ? 0 : WBEM_FLAG_IGNORE_OBJECT_SOURCE;
        IWbemClassObjectPtr back = read(instanceText);
        ASSERT_TRUE(back);
        EXPECT_EQ(status(WBEM_S_SAME), back->CompareTo(source | WBEM_FLAG_IGNORE_CLASS, instance));
        if (level >= 2) {
            EXPECT_EQ(text(instance, L"__PATH"), text(back, L"__PATH"));
        }
        IWbemQualifierSetPtr key;
        ASSERT_EQ(S_OK, back->GetPropertyQualifierSet(L"Id", &key));
        _variant_t isKey;
        EXPECT_EQ(level == 0 ? status(WBEM_E_NOT_FOUND) : S_OK,
                  key->Get(L"key", 0, &isKey, nullptr));
    }
    // An object that is not stored has no namespace to name; an instance without keys no name.
    IWbemClassObjectPtr fresh = newClass(L"Fresh");
    set(fresh, L"K", _variant_t(), CIM_STRING);
    qualify(fresh, L"K", L"key");
    IWbemClassObjectPtr freshInstance;
    ASSERT_EQ(S_OK, fresh->SpawnInstance(0, &freshInstance));
    option(L"PathLevel", _variant_t(1L));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), textStatus(freshInstance));
    set(freshInstance, L"K", _variant_t(L"k"));
    EXPECT_EQ(
        0u,
        xml(freshInstance)
            .find(L"<VALUE.NAMEDOBJECT><INSTANCENAME CLASSNAME=\"Fresh\"><KEYBINDING NAME=\"K\">"));
    for (long level : {2L, 3L}) {
        option(L"PathLevel", _variant_t(level));
        EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), textStatus(fresh));
        EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), textStatus(freshInstance));
    }
    for (long level : {-1L, 4L}) {
        option(L"PathLevel", _variant_t(level));
        EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), textStatus(cls));
    }
}

TEST_F(WbemObjectTextSrc, RefusesTextItCannotRead) {
    const wchar_t* const bad[] = {
        L"",
        L"<CLASS NAME=\"A\">",
        L"<FOO/>",
        L"<VALUE>1</VALUE>",
        L"<CLASS/>",
        L"<INSTANCE CLASSNAME=\"A\"><PROPERTY NAME=\"p\" "
        L"TYPE=\"sint32\"><VALUE>x</VALUE></PROPERTY></INSTANCE>",
        L"<INSTANCE CLASSNAME=\"A\"><PROPERTY NAME=\"p\" "
        L"TYPE=\"uint8\"><VALUE>256</VALUE></PROPERTY></INSTANCE>",
        L"<INSTANCE CLASSNAME=\"A\"><PROPERTY NAME=\"p\" TYPE=\"reference\"/></INSTANCE>",
        L"<INSTANCE CLASSNAME=\"A\"><PROPERTY NAME=\"p\" TYPE=\"string\" EmbeddedObject=\"object\">"
        L"<VALUE>&lt;nope/&gt;</VALUE></PROPERTY></INSTANCE>",
        L"<!DOCTYPE CLASS [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
        L"<CLASS NAME=\"&b;\"/>",
        L"<!DOCTYPE CLASS SYSTEM \"http://example.invalid/x.dtd\"><CLASS NAME=\"A\"/>",
        L"<VALUE.NAMEDOBJECT><INSTANCE CLASSNAME=\"A\"/></VALUE.NAMEDOBJECT>",
        L"<CLASS NAME=\"A\">text</CLASS>",
    };
    for (const wchar_t* text : bad) {
        IWbemClassObjectPtr object = read(text, status(WBEM_E_INVALID_SYNTAX));
        EXPECT_FALSE(object);
    }
}

} // namespace
