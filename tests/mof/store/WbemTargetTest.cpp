// What the compiler stores through IWbemServices, read back through IWbemServices: types,
// defaults, qualifiers with their flavors, method signatures, instances and their reference keys.
// Linux only: it writes into the embedded service of the test's own machine state folder.
#include "../MofSupport.h"

#include "WbemTarget.h"

#include <zudava/zudava.h>

namespace {

using DEZE::IWbemClassObjectPtr;
using DEZE::IWbemQualifierSetPtr;
using DEZE::IWbemServicesPtr;

const char* const kModel = R"(
Qualifier Key : boolean = false, Scope(property, reference), Flavor(DisableOverride, ToSubclass);
[Description("a node") : Amended ToInstance, Version("1.0")]
class Wt_Node {
    [Key] string Name;
    sint64 Big = -5;
    uint8 Bytes[] = {1, 2};
    char16 Letter = 'x';
    real32 Ratio = 0.5;
    datetime When;
    [Description("pings")] uint32 Ping([In] string Text, [In, Out] uint16 Counts[],
                                       [Out] Wt_Node REF Back);
};
[Association] class Wt_Link { [Key] Wt_Node REF Left; [Key] Wt_Node REF Right; };
instance of Wt_Node as $a { Name = "a\"q"; Big = 9223372036854775807; };
instance of Wt_Node as $b { Name = "b"; };
instance of Wt_Link { Left = $a; Right = $b; };
)";

class WbemTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        m_services = DEZE::WmiConnectionFactory::create(L"root\\default").getServices();
    }
    void TearDown() override {
        m_services = nullptr;
        DEZE::WmiConnectionFactory::reset();
        CoUninitialize();
    }

    void compile(const std::string& text) {
        tool::WbemTarget target([this](const std::string&) { return m_services; });
        mof::Compiler compiler(target);
        compiler.compileText("model.mof", text, "root\\default");
    }

    IWbemClassObjectPtr object(const wchar_t* path) {
        IWbemClassObjectPtr found;
        EXPECT_EQ(m_services->GetObject(_bstr_t(path), 0, nullptr, &found, nullptr), S_OK)
            << DEZE::make_string(path);
        return found;
    }

    IWbemServicesPtr m_services;
};

TEST_F(WbemTargetTest, ClassesInstancesAndQualifiersReadBack) {
    compile(kModel);
    IWbemClassObjectPtr node = object(L"Wt_Node");
    ASSERT_TRUE(node);
    _variant_t value;
    // Get writes over its VARIANT as Windows does: the caller clears what was there.
    auto fresh = [&value]() -> VARIANT* {
        value.Clear();
        return &value;
    };
    CIMTYPE type = 0;
    ASSERT_EQ(node->Get(L"Big", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_SINT64);
    EXPECT_EQ(V_VT(&value), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&value)), L"-5");
    ASSERT_EQ(node->Get(L"Bytes", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_UINT8 | CIM_FLAG_ARRAY);
    ASSERT_EQ(node->Get(L"Letter", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_CHAR16);
    ASSERT_EQ(node->Get(L"When", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_DATETIME);
    EXPECT_EQ(V_VT(&value), VT_NULL);

    IWbemQualifierSetPtr qualifiers;
    ASSERT_EQ(node->GetQualifierSet(&qualifiers), S_OK);
    LONG flavor = 0;
    ASSERT_EQ(qualifiers->Get(L"Description", 0, fresh(), &flavor), S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&value)), L"a node");
    EXPECT_EQ(flavor & (WBEM_FLAVOR_MASK_PROPAGATION | WBEM_FLAVOR_MASK_PERMISSIONS |
                        WBEM_FLAVOR_MASK_AMENDED),
              WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE | WBEM_FLAVOR_AMENDED);
    ASSERT_EQ(qualifiers->Get(L"Version", 0, fresh(), &flavor), S_OK);
    EXPECT_EQ(flavor & WBEM_FLAVOR_MASK_PROPAGATION, 0); // undeclared: WMI's default flavor
    IWbemQualifierSetPtr keyQualifiers;
    ASSERT_EQ(node->GetPropertyQualifierSet(L"Name", &keyQualifiers), S_OK);
    ASSERT_EQ(keyQualifiers->Get(L"Key", 0, fresh(), &flavor), S_OK);
    // (The service may add propagation to instances for a key.)
    EXPECT_EQ(flavor & (WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS | WBEM_FLAVOR_NOT_OVERRIDABLE),
              WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS | WBEM_FLAVOR_NOT_OVERRIDABLE);

    IWbemClassObjectPtr in;
    IWbemClassObjectPtr out;
    ASSERT_EQ(node->GetMethod(L"Ping", 0, &in, &out), S_OK);
    ASSERT_TRUE(in);
    ASSERT_TRUE(out);
    EXPECT_EQ(in->Get(L"Text", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_STRING);
    EXPECT_EQ(in->Get(L"Counts", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(out->Get(L"Counts", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_UINT16 | CIM_FLAG_ARRAY);
    EXPECT_EQ(out->Get(L"Back", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_REFERENCE);
    EXPECT_EQ(out->Get(L"ReturnValue", 0, fresh(), &type, nullptr), S_OK);
    EXPECT_EQ(type, CIM_UINT32);
    EXPECT_NE(in->Get(L"Back", 0, fresh(), &type, nullptr), S_OK);

    IWbemClassObjectPtr a = object(L"Wt_Node.Name=\"a\\\"q\"");
    ASSERT_TRUE(a);
    ASSERT_EQ(a->Get(L"Big", 0, fresh(), nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&value)), L"9223372036854775807");
    IWbemClassObjectPtr link = object(
        L"Wt_Link.Left=\"Wt_Node.Name=\\\"a\\\\\\\"q\\\"\",Right=\"Wt_Node.Name=\\\"b\\\"\"");
    ASSERT_TRUE(link);
}

TEST_F(WbemTargetTest, LaterRunsFindStoredClasses) {
    compile(kModel);
    compile("class Wt_Special : Wt_Node { boolean Extra = true; };\n"
            "instance of Wt_Special { Name = \"s\"; };");
    EXPECT_TRUE(object(L"Wt_Special.Name=\"s\""));
    // The stored class's keys and abstract flag come back through GetObject.
    try {
        compile("instance of Wt_Special { Extra = false; };");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(e.message(), "key property 'Name' of the instance of 'Wt_Special' has no value");
    }
}

TEST_F(WbemTargetTest, RefusalsNameTheStatus) {
    compile("class Wt_Once { [Key] uint32 Id; };");
    try {
        compile("#pragma classflags(\"createonly\")\nclass Wt_Once { [Key] uint32 Id; };");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(e.message(), "cannot store class Wt_Once: IWbemServices::PutClass: "
                               "WBEM_E_ALREADY_EXISTS (0x80041019)");
        EXPECT_EQ(e.line(), 2u);
    }
}

} // namespace
