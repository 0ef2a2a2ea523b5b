// IWbemClassObject: properties, system properties, names and enumeration, copies and comparison.
#include "WbemObject.h"

#include <memory>

namespace {

// Base (Name key, Size uint32 = 7), Derived : Base (Extra string).
struct Hierarchy {
    IWbemClassObjectPtr base = newClass(L"Base");
    IWbemClassObjectPtr derived;

    Hierarchy() {
        EXPECT_EQ(S_OK, put(base, L"Name", _variant_t(), CIM_STRING));
        IWbemQualifierSetPtr qualifiers;
        EXPECT_EQ(S_OK, base->GetPropertyQualifierSet(L"Name", &qualifiers));
        _variant_t yes(true);
        EXPECT_EQ(S_OK, qualifiers->Put(L"key", &yes, 0));
        EXPECT_EQ(S_OK, put(base, L"Size", _variant_t(7L), CIM_UINT32));
        derived.Attach(newClass(L"Derived", base).Detach());
        EXPECT_EQ(S_OK, put(derived, L"Extra", _variant_t(L"x")));
    }
};

TEST(ClassObject, EmptyClassHasOnlySystemPropertiesMostlyNull) {
    IWbemClassObjectPtr object = emptyClass();
    CIMTYPE type = 0;
    LONG flavor = -1;
    _variant_t genus = get(object, L"__GENUS", &type, &flavor);
    EXPECT_EQ(VT_I4, genus.vt);
    EXPECT_EQ(WBEM_GENUS_CLASS, genus.lVal);
    EXPECT_EQ(CIM_SINT32, type);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_SYSTEM, flavor);
    for (const wchar_t* name : {L"__CLASS", L"__SUPERCLASS", L"__DYNASTY", L"__RELPATH",
                                L"__SERVER", L"__NAMESPACE", L"__PATH"}) {
        EXPECT_EQ(VT_NULL, get(object, name, &type).vt) << static_cast<const char*>(_bstr_t(name));
        EXPECT_EQ(CIM_STRING, type);
    }
    EXPECT_EQ(0, get(object, L"__PROPERTY_COUNT").lVal);
    _variant_t derivation = get(object, L"__DERIVATION", &type);
    EXPECT_EQ(VT_ARRAY | VT_BSTR, derivation.vt);
    EXPECT_EQ(CIM_STRING | CIM_FLAG_ARRAY, type);
    EXPECT_EQ(0u, derivation.parray->rgsabound[0].cElements);
    EXPECT_EQ(systemNames(), propertyNames(object, 0));
    // Names compare without regard to case.
    EXPECT_EQ(WBEM_GENUS_CLASS, get(object, L"__genus").lVal);
}

TEST(ClassObject, OnlyTheNameOfANewClassIsWritable) {
    IWbemClassObjectPtr object = emptyClass();
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(object, L"__CLASS", _variant_t(5L)));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, put(object, L"__CLASS", _variant_t(L"")));
    EXPECT_EQ(WBEM_E_READ_ONLY, put(object, L"__GENUS", _variant_t(2L)));
    EXPECT_EQ(WBEM_E_READ_ONLY, put(object, L"__PATH", _variant_t(L"x")));
    EXPECT_EQ(S_OK, put(object, L"__CLASS", _variant_t(L"First")));
    EXPECT_EQ(S_OK, put(object, L"__CLASS", _variant_t(L"Renamed")));
    EXPECT_EQ(L"Renamed", text(get(object, L"__CLASS")));
    EXPECT_EQ(L"Renamed", text(get(object, L"__RELPATH")));
    EXPECT_EQ(L"Renamed", text(get(object, L"__DYNASTY")));
    EXPECT_EQ(VT_NULL, get(object, L"__PATH").vt); // not stored

    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, object->SpawnInstance(0, &instance));
    EXPECT_EQ(WBEM_E_READ_ONLY, put(instance, L"__CLASS", _variant_t(L"Other")));

    // Once stored, the class keeps its name.
    auto* stored = zp::wbem::ClassObject::from(object.GetInterfacePtr());
    ASSERT_NE(nullptr, stored);
    stored->setLocation(
        std::make_shared<zp::wbem::Location>(zp::wbem::Location{L"HOST", L"root\\cimv2"}));
    EXPECT_EQ(WBEM_E_READ_ONLY, put(object, L"__CLASS", _variant_t(L"Again")));
    EXPECT_EQ(L"\\\\HOST\\root\\cimv2:Renamed", text(get(object, L"__PATH")));
    EXPECT_EQ(L"HOST", text(get(object, L"__SERVER")));
    EXPECT_EQ(L"root\\cimv2", text(get(object, L"__NAMESPACE")));
}

TEST(ClassObject, DerivedClassInheritsPropertiesAndKnowsItsAncestry) {
    Hierarchy h;
    IWbemClassObjectPtr leaf = newClass(L"Leaf", h.derived);
    EXPECT_EQ(L"Derived", text(get(leaf, L"__SUPERCLASS")));
    EXPECT_EQ(L"Base", text(get(leaf, L"__DYNASTY")));
    _variant_t derivation = get(leaf, L"__DERIVATION");
    ASSERT_EQ(VT_ARRAY | VT_BSTR, derivation.vt);
    ASSERT_EQ(2u, derivation.parray->rgsabound[0].cElements);
    EXPECT_STREQ(L"Derived", static_cast<BSTR*>(derivation.parray->pvData)[0]);
    EXPECT_STREQ(L"Base", static_cast<BSTR*>(derivation.parray->pvData)[1]);
    EXPECT_EQ(3, get(leaf, L"__PROPERTY_COUNT").lVal);

    LONG flavor = -1;
    CIMTYPE type = 0;
    EXPECT_EQ(7, get(leaf, L"Size", &type, &flavor).lVal);
    EXPECT_EQ(CIM_UINT32, type);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
    get(h.derived, L"Extra", nullptr, &flavor);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_LOCAL, flavor);

    EXPECT_EQ(S_OK, leaf->InheritsFrom(L"base"));
    EXPECT_EQ(S_OK, leaf->InheritsFrom(L"Derived"));
    EXPECT_EQ(WBEM_S_FALSE, leaf->InheritsFrom(L"Leaf"));
    EXPECT_EQ(WBEM_S_FALSE, leaf->InheritsFrom(L"Other"));

    BSTR origin = nullptr;
    ASSERT_EQ(S_OK, leaf->GetPropertyOrigin(L"size", &origin));
    EXPECT_STREQ(L"Base", origin);
    SysFreeString(origin);
    ASSERT_EQ(S_OK, leaf->GetPropertyOrigin(L"Extra", &origin));
    EXPECT_STREQ(L"Derived", origin);
    SysFreeString(origin);
    EXPECT_EQ(WBEM_E_NOT_FOUND, leaf->GetPropertyOrigin(L"Missing", &origin));

    // Changing the derived class's default leaves the base class alone.
    EXPECT_EQ(S_OK, put(h.derived, L"Size", _variant_t(9L)));
    EXPECT_EQ(9, get(h.derived, L"Size").lVal);
    EXPECT_EQ(7, get(h.base, L"Size").lVal);
    // An inherited property keeps its type.
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(h.derived, L"Size", _variant_t(1L), CIM_SINT32));

    IWbemClassObjectPtr unnamed = emptyClass();
    IWbemClassObjectPtr child;
    EXPECT_EQ(WBEM_E_INCOMPLETE_CLASS, unnamed->SpawnDerivedClass(0, &child));
    EXPECT_EQ(WBEM_E_INCOMPLETE_CLASS, unnamed->SpawnInstance(0, &child));
}

// What Get returns for each CIM type, and what Put accepts.
TEST(ClassObject, EveryCimTypeHoldsItsVariantForm) {
    struct Case {
        CIMTYPE type;
        _variant_t given;
        VARTYPE held;
    };
    const Case cases[] = {
        {CIM_SINT8, _variant_t(-5L), VT_I2},
        {CIM_UINT8, _variant_t(200L), VT_UI1},
        {CIM_SINT16, _variant_t(short(-300)), VT_I2},
        {CIM_UINT16, _variant_t(65535L), VT_I4},
        {CIM_SINT32, _variant_t(-70000L), VT_I4},
        {CIM_UINT32, _variant_t(-1L), VT_I4},
        {CIM_SINT64, _variant_t(L"-9223372036854775808"), VT_BSTR},
        {CIM_UINT64, _variant_t(L"18446744073709551615"), VT_BSTR},
        {CIM_REAL32, _variant_t(1.5f), VT_R4},
        {CIM_REAL64, _variant_t(2.25), VT_R8},
        {CIM_BOOLEAN, _variant_t(true), VT_BOOL},
        {CIM_STRING, _variant_t(L"text"), VT_BSTR},
        {CIM_DATETIME, _variant_t(L"20240102030405.000000+060"), VT_BSTR},
        {CIM_REFERENCE, _variant_t(L"Base.Name=\"a\""), VT_BSTR},
        {CIM_CHAR16, _variant_t(short(L'Z')), VT_I2},
    };
    IWbemClassObjectPtr object = newClass(L"Types");
    for (const Case& c : cases) {
        const std::wstring name = L"P" + std::to_wstring(c.type);
        ASSERT_EQ(S_OK, put(object, name.c_str(), c.given, c.type)) << c.type;
        CIMTYPE type = 0;
        _variant_t value = get(object, name.c_str(), &type);
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.held, value.vt) << c.type;
        // The array of the type holds arrays of the same form.
        const std::wstring arrayName = L"A" + std::to_wstring(c.type);
        ASSERT_EQ(S_OK, put(object, arrayName.c_str(), _variant_t(), c.type | CIM_FLAG_ARRAY));
        EXPECT_EQ(VT_NULL, get(object, arrayName.c_str(), &type).vt);
        EXPECT_EQ(c.type | CIM_FLAG_ARRAY, type);
    }
    EXPECT_EQ(L"18446744073709551615", text(get(object, L"P21")));
    EXPECT_EQ(-1, get(object, L"P19").lVal); // uint32 0xFFFFFFFF comes back as VT_I4 -1

    // Numbers convert by value when they fit, and only then.
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, object->SpawnInstance(0, &instance));
    EXPECT_EQ(S_OK, put(instance, L"P17", _variant_t(short(255))));
    EXPECT_EQ(255, get(instance, L"P17").bVal);
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P17", _variant_t(256L)));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P17", _variant_t(-1L)));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P16", _variant_t(128L)));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P3", _variant_t(L"12")));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P20", _variant_t(L"12x")));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P21", _variant_t(L"-1")));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P8", _variant_t(1L)));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P11", _variant_t(1L)));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"A8", _variant_t(L"not an array")));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P8", textArray({L"a"})));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"P8", _variant_t(L"x"), CIM_SINT32));
    EXPECT_EQ(S_OK, put(instance, L"P20", _variant_t(L"  +42 ")));
    EXPECT_EQ(L"42", text(get(instance, L"P20")));
    EXPECT_EQ(S_OK, put(instance, L"A8", textArray({L"a", L"b"})));
    _variant_t array = get(instance, L"A8");
    ASSERT_EQ(VT_ARRAY | VT_BSTR, array.vt);
    EXPECT_EQ(2u, array.parray->rgsabound[0].cElements);
    EXPECT_EQ(WBEM_E_NOT_FOUND, put(instance, L"Missing", _variant_t(1L)));
    // A failed Put leaves the value as it was.
    EXPECT_EQ(L"42", text(get(instance, L"P20")));
}

TEST(ClassObject, NewPropertiesTakeTheirTypeFromTheValueOrTheGivenType) {
    IWbemClassObjectPtr object = newClass(L"Inferred");
    const std::pair<_variant_t, CIMTYPE> cases[] = {
        {_variant_t(1L), CIM_SINT32},     {_variant_t(short(1)), CIM_SINT16},
        {_variant_t(BYTE(1)), CIM_UINT8}, {_variant_t(1.0), CIM_REAL64},
        {_variant_t(1.0f), CIM_REAL32},   {_variant_t(true), CIM_BOOLEAN},
        {_variant_t(L"s"), CIM_STRING},   {textArray({L"a"}), CIM_STRING | CIM_FLAG_ARRAY},
    };
    int i = 0;
    for (const auto& [value, expected] : cases) {
        const std::wstring name = L"P" + std::to_wstring(i++);
        ASSERT_EQ(S_OK, put(object, name.c_str(), value));
        CIMTYPE type = 0;
        get(object, name.c_str(), &type);
        EXPECT_EQ(expected, type) << i;
    }
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, put(object, L"Untyped", _variant_t()));
    EXPECT_EQ(WBEM_E_INVALID_PROPERTY_TYPE, put(object, L"Bad", _variant_t(), 0x55));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, put(object, L"_Reserved", _variant_t(1L)));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, put(object, L"Reserved_", _variant_t(1L)));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, put(object, L"__Custom", _variant_t(1L)));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, object->Put(nullptr, 0, nullptr, CIM_STRING));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, object->Put(L"X", 1, nullptr, CIM_STRING));
    // A null VARIANT pointer is a null value.
    EXPECT_EQ(S_OK, object->Put(L"Nothing", 0, nullptr, CIM_DATETIME));
    EXPECT_EQ(VT_NULL, get(object, L"Nothing").vt);
    // A local property may be redefined with another type.
    EXPECT_EQ(S_OK, put(object, L"P0", _variant_t(L"5"), CIM_STRING));
    CIMTYPE type = 0;
    EXPECT_EQ(L"5", text(get(object, L"P0", &type)));
    EXPECT_EQ(CIM_STRING, type);
    // Get asks nothing of the optional outputs and rejects flags.
    EXPECT_EQ(S_OK, object->Get(L"P0", 0, nullptr, nullptr, nullptr));
    _variant_t untouched;
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, object->Get(L"P0", 1, &untouched, nullptr, nullptr));
    EXPECT_EQ(WBEM_E_NOT_FOUND, object->Get(L"Missing", 0, &untouched, nullptr, nullptr));
    EXPECT_EQ(VT_EMPTY, untouched.vt);
}

TEST(ClassObject, InstancePropertiesReadThroughToTheClassUntilSet) {
    Hierarchy h;
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, h.derived->SpawnInstance(0, &instance));
    LONG flavor = -1;
    EXPECT_EQ(WBEM_GENUS_INSTANCE, get(instance, L"__GENUS").lVal);
    EXPECT_EQ(L"Derived", text(get(instance, L"__CLASS")));
    EXPECT_EQ(L"Base", text(get(instance, L"__SUPERCLASS")));
    EXPECT_EQ(7, get(instance, L"Size", nullptr, &flavor).lVal);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
    EXPECT_EQ(VT_NULL, get(instance, L"__RELPATH").vt); // its key is null

    EXPECT_EQ(S_OK, put(instance, L"Size", _variant_t(11L)));
    EXPECT_EQ(11, get(instance, L"Size", nullptr, &flavor).lVal);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_LOCAL, flavor);
    EXPECT_EQ(S_OK, instance->Delete(L"Size"));
    EXPECT_EQ(7, get(instance, L"Size", nullptr, &flavor).lVal);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
    // An explicit null is a value of the instance's own.
    EXPECT_EQ(S_OK, put(instance, L"Size", _variant_t()));
    EXPECT_EQ(VT_NULL, get(instance, L"Size").vt);
    EXPECT_EQ(WBEM_E_SYSTEM_PROPERTY, instance->Delete(L"__CLASS"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, instance->Delete(L"Missing"));

    EXPECT_EQ(S_OK, put(instance, L"Name", _variant_t(L"a \"quoted\" \\ name")));
    EXPECT_EQ(L"Derived.Name=\"a \\\"quoted\\\" \\\\ name\"", text(get(instance, L"__RELPATH")));
    EXPECT_EQ(VT_NULL, get(instance, L"__PATH").vt); // not stored
    EXPECT_EQ(3, get(instance, L"__PROPERTY_COUNT").lVal);
    // Instances cannot gain properties.
    EXPECT_EQ(WBEM_E_NOT_FOUND, put(instance, L"New", _variant_t(1L)));
}

TEST(ClassObject, DeletingAClassPropertyFollowsInheritance) {
    Hierarchy h;
    EXPECT_EQ(WBEM_E_PROPAGATED_PROPERTY, h.derived->Delete(L"Size"));
    EXPECT_EQ(S_OK, put(h.derived, L"Size", _variant_t(9L)));
    EXPECT_EQ(WBEM_S_RESET_TO_DEFAULT, h.derived->Delete(L"Size"));
    EXPECT_EQ(7, get(h.derived, L"Size").lVal);
    EXPECT_EQ(S_OK, h.derived->Delete(L"extra"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, h.derived->Get(L"Extra", 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(WBEM_E_SYSTEM_PROPERTY, h.derived->Delete(L"__PATH"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, h.derived->Delete(L"Extra"));
}

TEST(ClassObject, NamesComeInWmiOrderAndHonourEveryConditionFlag) {
    Hierarchy h;
    ASSERT_EQ(S_OK, put(h.derived, L"Link", _variant_t(), CIM_REFERENCE));
    std::vector<std::wstring> all = systemNames();
    all.insert(all.end(), {L"Name", L"Size", L"Extra", L"Link"});
    EXPECT_EQ(all, propertyNames(h.derived, 0));
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(systemNames(), propertyNames(h.derived, WBEM_FLAG_SYSTEM_ONLY));
    EXPECT_EQ((Names{L"Name", L"Size", L"Extra", L"Link"}),
              propertyNames(h.derived, WBEM_FLAG_NONSYSTEM_ONLY));
    EXPECT_EQ((Names{L"Extra", L"Link"}), propertyNames(h.derived, WBEM_FLAG_LOCAL_ONLY));
    EXPECT_EQ((Names{L"Name", L"Size"}), propertyNames(h.derived, WBEM_FLAG_PROPAGATED_ONLY));
    EXPECT_EQ((Names{L"Name"}), propertyNames(h.derived, WBEM_FLAG_KEYS_ONLY));
    EXPECT_EQ((Names{L"Link"}), propertyNames(h.derived, WBEM_FLAG_REFS_ONLY));
    EXPECT_EQ(Names{}, propertyNames(h.derived, WBEM_FLAG_KEYS_ONLY | WBEM_FLAG_LOCAL_ONLY));
    EXPECT_EQ(Names{}, propertyNames(h.derived, WBEM_FLAG_CLASS_OVERRIDES_ONLY));
    ASSERT_EQ(S_OK, put(h.derived, L"Size", _variant_t(3L)));
    EXPECT_EQ((Names{L"Size"}), propertyNames(h.derived, WBEM_FLAG_CLASS_OVERRIDES_ONLY));
    EXPECT_EQ((Names{L"Size", L"Extra", L"Link"}),
              propertyNames(h.derived, WBEM_FLAG_CLASS_LOCAL_AND_OVERRIDES));

    // Qualifier conditions: present, absent, present with a given value.
    EXPECT_EQ((Names{L"Name"}),
              propertyNames(h.derived, WBEM_FLAG_ONLY_IF_TRUE | WBEM_FLAG_NONSYSTEM_ONLY, L"Key"));
    EXPECT_EQ((Names{L"Size", L"Extra", L"Link"}),
              propertyNames(h.derived, WBEM_FLAG_ONLY_IF_FALSE | WBEM_FLAG_NONSYSTEM_ONLY, L"key"));
    _variant_t uint32Type(L"uint32");
    EXPECT_EQ((Names{L"Size"}),
              propertyNames(h.derived, WBEM_FLAG_ONLY_IF_IDENTICAL, L"CIMTYPE", &uint32Type));

    SAFEARRAY* names = nullptr;
    for (LONG bad : {LONG(WBEM_FLAG_LOCAL_ONLY | WBEM_FLAG_NONSYSTEM_ONLY), LONG(0x50), LONG(0x400),
                     LONG(WBEM_MASK_CLASS_CONDITION)})
        EXPECT_EQ(WBEM_E_INVALID_PARAMETER, h.derived->GetNames(nullptr, bad, nullptr, &names))
            << bad;
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER,
              h.derived->GetNames(nullptr, WBEM_FLAG_ONLY_IF_TRUE, nullptr, &names));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER,
              h.derived->GetNames(L"key", WBEM_FLAG_ONLY_IF_IDENTICAL, nullptr, &names));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, h.derived->GetNames(nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(nullptr, names);

    // An instance lists the same names; "local" are its own class's.
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, h.derived->SpawnInstance(0, &instance));
    EXPECT_EQ(all, propertyNames(instance, 0));
    EXPECT_EQ((Names{L"Extra", L"Link"}), propertyNames(instance, WBEM_FLAG_LOCAL_ONLY));
}

TEST(ClassObject, EnumerationWalksTheSelectedPropertiesOnce) {
    Hierarchy h;
    BSTR name = nullptr;
    _variant_t value;
    CIMTYPE type = 0;
    LONG flavor = 0;
    EXPECT_EQ(WBEM_E_UNEXPECTED, h.derived->Next(0, &name, &value, &type, &flavor));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, h.derived->BeginEnumeration(WBEM_FLAG_ONLY_IF_TRUE));
    ASSERT_EQ(S_OK, h.derived->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY));
    std::vector<std::wstring> seen;
    HRESULT hr;
    while ((hr = h.derived->Next(0, &name, &value, &type, &flavor)) == S_OK) {
        seen.emplace_back(name);
        SysFreeString(name);
        name = nullptr;
        if (seen.back() == L"Size") {
            EXPECT_EQ(7, value.lVal);
            EXPECT_EQ(CIM_UINT32, type);
            EXPECT_EQ(WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
        }
        value.Clear();
    }
    EXPECT_EQ(WBEM_S_NO_MORE_DATA, hr);
    EXPECT_EQ((std::vector<std::wstring>{L"Name", L"Size", L"Extra"}), seen);
    EXPECT_EQ(WBEM_S_NO_MORE_DATA, h.derived->Next(0, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, h.derived->Next(1, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, h.derived->EndEnumeration());
    EXPECT_EQ(WBEM_E_UNEXPECTED, h.derived->Next(0, &name, nullptr, nullptr, nullptr));
    // Keys only, all outputs optional.
    ASSERT_EQ(S_OK, h.derived->BeginEnumeration(WBEM_FLAG_KEYS_ONLY));
    EXPECT_EQ(S_OK, h.derived->Next(0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(WBEM_S_NO_MORE_DATA, h.derived->Next(0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, h.derived->EndEnumeration());
}

TEST(ClassObject, EmbeddedObjectsAreCopiedOnPut) {
    Hierarchy h;
    IWbemClassObjectPtr holder = newClass(L"Holder");
    ASSERT_EQ(S_OK, put(holder, L"Inner", _variant_t(), CIM_OBJECT));
    IWbemClassObjectPtr inner;
    ASSERT_EQ(S_OK, h.base->SpawnInstance(0, &inner));
    ASSERT_EQ(S_OK, put(inner, L"Name", _variant_t(L"first")));
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, holder->SpawnInstance(0, &instance));
    ASSERT_EQ(S_OK,
              put(instance, L"Inner", _variant_t(static_cast<IUnknown*>(inner.GetInterfacePtr()))));
    ASSERT_EQ(S_OK, put(inner, L"Name", _variant_t(L"changed later")));

    _variant_t value = get(instance, L"Inner");
    ASSERT_EQ(VT_UNKNOWN, value.vt);
    IWbemClassObjectPtr stored(value.punkVal);
    ASSERT_TRUE(stored);
    EXPECT_EQ(L"first", text(get(stored, L"Name")));
    EXPECT_EQ(WBEM_E_TYPE_MISMATCH, put(instance, L"Inner", _variant_t(L"text")));
}

TEST(ClassObject, AnObjectPutIntoItselfIsACopy) {
    IWbemClassObjectPtr holder = newClass(L"Holder");
    ASSERT_EQ(S_OK, put(holder, L"Self", _variant_t(), CIM_OBJECT));
    ASSERT_EQ(S_OK,
              put(holder, L"Self", _variant_t(static_cast<IUnknown*>(holder.GetInterfacePtr()))));
    _variant_t value = get(holder, L"Self");
    ASSERT_EQ(VT_UNKNOWN, value.vt);
    EXPECT_NE(static_cast<IUnknown*>(holder.GetInterfacePtr()), value.punkVal);
}

TEST(ClassObject, CoCreateInstanceMakesAnEmptyClass) {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    {
        IWbemClassObjectPtr object;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemClassObject, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWbemClassObject, reinterpret_cast<void**>(&object)));
        EXPECT_EQ(WBEM_GENUS_CLASS, get(object, L"__GENUS").lVal);
        EXPECT_EQ(VT_NULL, get(object, L"__CLASS").vt);
        EXPECT_EQ(systemNames(), propertyNames(object, 0));
    }
    CoUninitialize();
}

TEST(ClassObject, ClonesAreIndependentAndCompareEqual) {
    Hierarchy h;
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, h.derived->SpawnInstance(0, &instance));
    ASSERT_EQ(S_OK, put(instance, L"Name", _variant_t(L"one")));
    IWbemClassObjectPtr copy;
    ASSERT_EQ(S_OK, instance->Clone(&copy));
    EXPECT_EQ(WBEM_S_SAME, instance->CompareTo(0, copy));
    ASSERT_EQ(S_OK, put(copy, L"Name", _variant_t(L"ONE")));
    EXPECT_EQ(L"one", text(get(instance, L"Name")));
    EXPECT_EQ(WBEM_S_DIFFERENT, instance->CompareTo(0, copy));
    EXPECT_EQ(WBEM_S_SAME, instance->CompareTo(WBEM_FLAG_IGNORE_CASE, copy));

    // A class clone is edited apart from the original.
    IWbemClassObjectPtr classCopy;
    ASSERT_EQ(S_OK, h.derived->Clone(&classCopy));
    EXPECT_EQ(WBEM_S_SAME, h.derived->CompareTo(0, classCopy));
    ASSERT_EQ(S_OK, put(classCopy, L"Size", _variant_t(1L)));
    EXPECT_EQ(7, get(h.derived, L"Size").lVal);
    EXPECT_EQ(WBEM_S_DIFFERENT, h.derived->CompareTo(0, classCopy));
    EXPECT_EQ(WBEM_S_SAME, h.derived->CompareTo(WBEM_FLAG_IGNORE_DEFAULT_VALUES, classCopy));

    IWbemQualifierSetPtr qualifiers;
    ASSERT_EQ(S_OK, classCopy->GetQualifierSet(&qualifiers));
    _variant_t description(L"copy");
    ASSERT_EQ(S_OK, qualifiers->Put(L"Description", &description, 0));
    EXPECT_EQ(WBEM_S_DIFFERENT, h.derived->CompareTo(WBEM_FLAG_IGNORE_DEFAULT_VALUES, classCopy));
    EXPECT_EQ(WBEM_S_SAME,
              h.derived->CompareTo(WBEM_FLAG_IGNORE_DEFAULT_VALUES | WBEM_FLAG_IGNORE_QUALIFIERS,
                                   classCopy));

    EXPECT_EQ(WBEM_S_DIFFERENT, h.derived->CompareTo(0, instance));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, h.derived->CompareTo(0, nullptr));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, h.derived->CompareTo(0x40, classCopy));
}

TEST(ClassObject, ReferencesAreCountedExactly) {
    IWbemClassObject* object = zp::wbem::newClass();
    EXPECT_EQ(2u, object->AddRef());
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(2u, unknown->Release());
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IWbemQualifierSet, &other));
    EXPECT_EQ(nullptr, other);

    // A qualifier set keeps its object alive.
    IWbemQualifierSet* qualifiers = nullptr;
    ASSERT_EQ(S_OK, object->GetQualifierSet(&qualifiers));
    EXPECT_EQ(2u, object->Release());
    EXPECT_EQ(1u, object->Release());
    _variant_t yes(true);
    EXPECT_EQ(S_OK, qualifiers->Put(L"abstract", &yes, 0));
    EXPECT_EQ(0u, qualifiers->Release());
}

} // namespace
