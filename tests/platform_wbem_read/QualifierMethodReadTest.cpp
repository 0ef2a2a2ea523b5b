// IWbemQualifierSet on a service's classes and instances, and methods: their signatures are
// copies of the system class __PARAMETERS whose parameters carry ID qualifiers.
#include "ReadTesting.h"

using namespace wbem_read;

namespace {

constexpr const char* kWineQualifiers =
    "Wine's qualifier sets hold no qualifiers, take any property name and implement neither "
    "Put, Delete nor enumeration";

class WbemReadQualifiers : public WbemRead {
protected:
    static _variant_t qualifier(IWbemQualifierSet* set, const wchar_t* name, LONG* flavor) {
        _variant_t value;
        EXPECT_EQ(S_OK, set->Get(name, 0, &value, flavor)) << narrow(name);
        return value;
    }
};

TEST_F(WbemReadQualifiers, AbsentQualifiersAreNotFound) {
    IWbemClassObjectPtr cls = object(L"Win32_Service");
    ASSERT_TRUE(cls);
    IWbemQualifierSetPtr classQualifiers, nameQualifiers;
    ASSERT_EQ(S_OK, cls->GetQualifierSet(&classQualifiers));
    ASSERT_EQ(S_OK, cls->GetPropertyQualifierSet(L"Name", &nameQualifiers));
    for (IWbemQualifierSet* set :
         {classQualifiers.GetInterfacePtr(), nameQualifiers.GetInterfacePtr()}) {
        _variant_t value;
        LONG flavor = -1;
        EXPECT_EQ(status(WBEM_E_NOT_FOUND), set->Get(L"NoSuchQualifier", 0, &value, &flavor));
        EXPECT_EQ(VT_EMPTY, value.vt);
    }
}

TEST_F(WbemReadQualifiers, KeysAndTypesAreQualifiersThatReachTheInstances) {
    if (testing_support::underWine())
        GTEST_SKIP() << kWineQualifiers;
    IWbemClassObjectPtr cls = object(L"Win32_Service");
    ASSERT_TRUE(cls);
    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, cls->GetPropertyQualifierSet(L"Name", &set));
    LONG flavor = 0;
    const _variant_t key = qualifier(set, L"key", &flavor);
    EXPECT_EQ(VT_BOOL, key.vt);
    EXPECT_EQ(VARIANT_TRUE, key.boolVal);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_LOCAL, flavor & WBEM_FLAVOR_MASK_ORIGIN);
    EXPECT_EQ(L"string", std::wstring(qualifier(set, L"CIMTYPE", &flavor).bstrVal));
    ASSERT_EQ(S_OK, cls->GetPropertyQualifierSet(L"ProcessID", &set));
    EXPECT_EQ(L"uint32", std::wstring(qualifier(set, L"CIMTYPE", &flavor).bstrVal));

    // An instance sees the class's key as propagated, and may not delete it.
    IEnumWbemClassObjectPtr enumerator = services();
    IWbemClassObject* raw = nullptr;
    ULONG returned = 0;
    ASSERT_EQ(S_OK, enumerator->Next(kInfinite, 1, &raw, &returned));
    IWbemClassObjectPtr instance(raw, false);
    ASSERT_EQ(S_OK, instance->GetPropertyQualifierSet(L"Name", &set));
    EXPECT_EQ(VARIANT_TRUE, qualifier(set, L"key", &flavor).boolVal);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor & WBEM_FLAVOR_MASK_ORIGIN);
    EXPECT_EQ(status(WBEM_E_PROPAGATED_QUALIFIER), set->Delete(L"key"));
    SAFEARRAY* names = nullptr;
    ASSERT_EQ(S_OK, set->GetNames(WBEM_FLAG_LOCAL_ONLY, &names));
    EXPECT_FALSE(contains(takeNames(names), L"key"));
    ASSERT_EQ(S_OK, set->GetNames(WBEM_FLAG_PROPAGATED_ONLY, &names));
    EXPECT_TRUE(contains(takeNames(names), L"key"));
}

TEST_F(WbemReadQualifiers, PropertyQualifierSetsNeedAnOrdinaryProperty) {
    if (testing_support::underWine())
        GTEST_SKIP() << kWineQualifiers;
    IWbemClassObjectPtr cls = object(L"Win32_Service");
    ASSERT_TRUE(cls);
    IWbemQualifierSet* set = reinterpret_cast<IWbemQualifierSet*>(0x1);
    EXPECT_EQ(status(WBEM_E_SYSTEM_PROPERTY), cls->GetPropertyQualifierSet(L"__CLASS", &set));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), cls->GetPropertyQualifierSet(L"NoSuchProperty", &set));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), cls->GetPropertyQualifierSet(L"Name", nullptr));
}

class WbemReadMethods : public WbemRead {
protected:
    static LONG parameterId(IWbemClassObject* signature, const wchar_t* name) {
        IWbemQualifierSetPtr set;
        EXPECT_EQ(S_OK, signature->GetPropertyQualifierSet(name, &set)) << narrow(name);
        if (!set)
            return -1;
        _variant_t id;
        if (set->Get(L"ID", 0, &id, nullptr) != S_OK)
            return -1;
        EXPECT_EQ(VT_I4, id.vt);
        return id.lVal;
    }
};

TEST_F(WbemReadMethods, SignaturesListTheParametersWithTheirTypes) {
    IWbemClassObjectPtr cls = object(L"Win32_Process");
    ASSERT_TRUE(cls);
    IWbemClassObjectPtr in, out;
    ASSERT_EQ(S_OK, cls->GetMethod(L"Create", 0, &in, &out));
    ASSERT_TRUE(in && out);
    CIMTYPE type = 0;
    for (const wchar_t* name : {L"CommandLine", L"CurrentDirectory"}) {
        get(in, name, &type);
        EXPECT_EQ(CIM_STRING, type) << narrow(name);
    }
    for (const wchar_t* name : {L"ProcessId", L"ReturnValue"}) {
        get(out, name, &type);
        EXPECT_EQ(CIM_UINT32, type) << narrow(name);
    }
    IWbemClassObject* none = reinterpret_cast<IWbemClassObject*>(0x1);
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), cls->GetMethod(L"NoSuchMethod", 0, &none, nullptr));

    // The class's methods, one by one.
    ASSERT_EQ(S_OK, cls->BeginMethodEnumeration(0));
    std::vector<std::wstring> methods;
    HRESULT hr = S_OK;
    for (;;) {
        BSTR name = nullptr;
        IWbemClassObject* methodIn = nullptr;
        IWbemClassObject* methodOut = nullptr;
        hr = cls->NextMethod(0, &name, &methodIn, &methodOut);
        if (hr != S_OK)
            break;
        methods.emplace_back(name);
        SysFreeString(name);
        if (methodIn)
            methodIn->Release();
        if (methodOut)
            methodOut->Release();
    }
    EXPECT_EQ(status(WBEM_S_NO_MORE_DATA), hr);
    EXPECT_EQ(S_OK, cls->EndMethodEnumeration());
    EXPECT_TRUE(contains(methods, L"Create"));

    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's signatures are instances of classes of their own "
                        "(__WIN32_PROCESS_CREATE_IN), with no ID qualifiers";
    for (IWbemClassObject* signature : {in.GetInterfacePtr(), out.GetInterfacePtr()}) {
        EXPECT_EQ(L"__PARAMETERS", text(signature, L"__CLASS"));
        EXPECT_EQ(WBEM_GENUS_CLASS, get(signature, L"__GENUS").lVal);
    }
    EXPECT_EQ(0, parameterId(in, L"CommandLine"));
    EXPECT_EQ(1, parameterId(in, L"CurrentDirectory"));
    EXPECT_EQ(2, parameterId(out, L"ProcessId"));
    EXPECT_EQ(-1, parameterId(out, L"ReturnValue"));
    // A call's arguments are an instance of the signature.
    IWbemClassObjectPtr arguments;
    ASSERT_EQ(S_OK, in->SpawnInstance(0, &arguments));
    EXPECT_EQ(WBEM_GENUS_INSTANCE, get(arguments, L"__GENUS").lVal);
    EXPECT_EQ(L"__PARAMETERS", text(arguments, L"__CLASS"));
    set(arguments, L"CommandLine", _variant_t(L"notepad.exe"));
    EXPECT_EQ(L"notepad.exe", text(arguments, L"CommandLine"));
}

TEST_F(WbemReadMethods, TheParametersClassIsAnAbstractSystemClassWithoutMembers) {
    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's __PARAMETERS is a table of its methods' parameters, and root "
                        "has none";
    IWbemServicesPtr root;
    ASSERT_EQ(S_OK, connect(m_locator, L"root", root));
    for (IWbemServices* ns : {m_services.GetInterfacePtr(), root.GetInterfacePtr()}) {
        IWbemClassObjectPtr cls;
        ASSERT_EQ(S_OK, ns->GetObject(_bstr_t(L"__PARAMETERS"), 0, nullptr, &cls, nullptr));
        EXPECT_EQ(WBEM_GENUS_CLASS, get(cls, L"__GENUS").lVal);
        EXPECT_EQ(L"__PARAMETERS", text(cls, L"__CLASS"));
        EXPECT_EQ(VT_NULL, get(cls, L"__SUPERCLASS").vt);
        EXPECT_EQ(0, get(cls, L"__PROPERTY_COUNT").lVal);
        IWbemQualifierSetPtr qualifiers;
        ASSERT_EQ(S_OK, cls->GetQualifierSet(&qualifiers));
        _variant_t abstract;
        ASSERT_EQ(S_OK, qualifiers->Get(L"abstract", 0, &abstract, nullptr));
        EXPECT_EQ(VARIANT_TRUE, abstract.boolVal);
        // A system class: it stays as it is.
        set(cls, L"Extra", _variant_t(1L), CIM_SINT32);
        EXPECT_EQ(status(WBEM_E_ACCESS_DENIED),
                  ns->PutClass(cls, WBEM_FLAG_CREATE_OR_UPDATE, nullptr, nullptr));
        EXPECT_EQ(status(WBEM_E_ACCESS_DENIED),
                  ns->DeleteClass(_bstr_t(L"__PARAMETERS"), 0, nullptr, nullptr));
    }
}

} // namespace
