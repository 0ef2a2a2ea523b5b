// IWbemQualifierSet: values, flavors, propagation to derived classes and instances, overrides.
#include "WbemObject.h"

namespace {

IWbemQualifierSetPtr classQualifiers(IWbemClassObject* object) {
    IWbemQualifierSetPtr set;
    EXPECT_EQ(S_OK, object->GetQualifierSet(&set));
    return set;
}

IWbemQualifierSetPtr propertyQualifiers(IWbemClassObject* object, const wchar_t* name) {
    IWbemQualifierSetPtr set;
    EXPECT_EQ(S_OK, object->GetPropertyQualifierSet(name, &set));
    return set;
}

HRESULT putQualifier(IWbemQualifierSet* set, const wchar_t* name, _variant_t value, LONG flavor) {
    return set->Put(name, &value, flavor);
}

LONG flavorOf(IWbemQualifierSet* set, const wchar_t* name) {
    LONG flavor = -1;
    EXPECT_EQ(S_OK, set->Get(name, 0, nullptr, &flavor)) << static_cast<const char*>(_bstr_t(name));
    return flavor;
}

std::vector<std::wstring> qualifierNames(IWbemQualifierSet* set, LONG flags) {
    SAFEARRAY* names = nullptr;
    EXPECT_EQ(S_OK, set->GetNames(flags, &names));
    return takeNames(names);
}

constexpr LONG kToInstance = WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE;
constexpr LONG kToSubclass = WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS;

TEST(QualifierSet, ValuesOfTheFourQualifierTypesAndTheirArrays) {
    IWbemClassObjectPtr object = newClass(L"Q");
    IWbemQualifierSetPtr set = classQualifiers(object);
    EXPECT_EQ(S_OK, putQualifier(set, L"Count", _variant_t(5L), 0));
    EXPECT_EQ(S_OK, putQualifier(set, L"Ratio", _variant_t(0.5), 0));
    EXPECT_EQ(S_OK, putQualifier(set, L"Description", _variant_t(L"text"), 0));
    EXPECT_EQ(S_OK, putQualifier(set, L"Flag", _variant_t(false), 0));
    EXPECT_EQ(S_OK, putQualifier(set, L"Values", textArray({L"a", L"b"}), 0));
    EXPECT_EQ(WBEM_E_INVALID_QUALIFIER_TYPE, putQualifier(set, L"Small", _variant_t(short(1)), 0));
    EXPECT_EQ(WBEM_E_INVALID_QUALIFIER_TYPE, putQualifier(set, L"Byte", _variant_t(BYTE(1)), 0));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, set->Put(L"Null", nullptr, 0));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, putQualifier(set, L"_system", _variant_t(1L), 0));
    EXPECT_EQ(WBEM_E_INVALID_FLAVOR, putQualifier(set, L"Odd", _variant_t(1L), 0x100));

    _variant_t value;
    LONG flavor = -1;
    ASSERT_EQ(S_OK, set->Get(L"description", 0, &value, &flavor));
    EXPECT_EQ(L"text", text(value));
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_LOCAL, flavor);
    EXPECT_EQ(WBEM_E_NOT_FOUND, set->Get(L"Missing", 0, &value, &flavor));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, set->Get(L"Count", 1, &value, &flavor));
    EXPECT_EQ((std::vector<std::wstring>{L"Count", L"Ratio", L"Description", L"Flag", L"Values"}),
              qualifierNames(set, 0));
    // Writing again keeps the name's first spelling and its place.
    EXPECT_EQ(S_OK, putQualifier(set, L"COUNT", _variant_t(6L), 0));
    EXPECT_EQ(L"Count", qualifierNames(set, 0)[0]);
    EXPECT_EQ(S_OK, set->Delete(L"count"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, set->Delete(L"Count"));
}

TEST(QualifierSet, FlavorsDecideWhatDerivedClassesAndInstancesSee) {
    IWbemClassObjectPtr base = newClass(L"Base");
    IWbemQualifierSetPtr set = classQualifiers(base);
    ASSERT_EQ(S_OK, putQualifier(set, L"Everywhere", _variant_t(L"e"), kToInstance | kToSubclass));
    ASSERT_EQ(S_OK, putQualifier(set, L"Subclasses", _variant_t(L"s"), kToSubclass));
    ASSERT_EQ(S_OK, putQualifier(set, L"Instances", _variant_t(L"i"), kToInstance));
    ASSERT_EQ(S_OK, putQualifier(set, L"Here", _variant_t(L"h"), 0));
    ASSERT_EQ(S_OK, putQualifier(set, L"Fixed", _variant_t(1L),
                                 kToInstance | kToSubclass | WBEM_FLAVOR_NOT_OVERRIDABLE));
    EXPECT_EQ(kToInstance | kToSubclass, flavorOf(set, L"Everywhere"));

    IWbemClassObjectPtr derived = newClass(L"Derived", base);
    IWbemQualifierSetPtr derivedSet = classQualifiers(derived);
    EXPECT_EQ((std::vector<std::wstring>{L"Everywhere", L"Subclasses", L"Fixed"}),
              qualifierNames(derivedSet, 0));
    EXPECT_EQ(kToInstance | kToSubclass | WBEM_FLAVOR_ORIGIN_PROPAGATED,
              flavorOf(derivedSet, L"Everywhere"));

    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, base->SpawnInstance(0, &instance));
    IWbemQualifierSetPtr instanceSet = classQualifiers(instance);
    EXPECT_EQ((std::vector<std::wstring>{L"Everywhere", L"Instances", L"Fixed"}),
              qualifierNames(instanceSet, 0));

    // Overriding: allowed unless the qualifier says otherwise; the same value is no change.
    EXPECT_EQ(WBEM_E_OVERRIDE_NOT_ALLOWED, putQualifier(derivedSet, L"Fixed", _variant_t(2L), 0));
    EXPECT_EQ(S_OK, putQualifier(derivedSet, L"Fixed", _variant_t(1L), 0));
    EXPECT_EQ(WBEM_E_OVERRIDE_NOT_ALLOWED, putQualifier(instanceSet, L"Fixed", _variant_t(3L), 0));
    EXPECT_EQ(S_OK, putQualifier(derivedSet, L"Everywhere", _variant_t(L"mine"), kToSubclass));
    EXPECT_EQ(kToSubclass | WBEM_FLAVOR_ORIGIN_LOCAL, flavorOf(derivedSet, L"Everywhere"));
    EXPECT_EQ((std::vector<std::wstring>{L"Everywhere"}),
              qualifierNames(derivedSet, WBEM_FLAG_LOCAL_ONLY));
    EXPECT_EQ((std::vector<std::wstring>{L"Subclasses", L"Fixed"}),
              qualifierNames(derivedSet, WBEM_FLAG_PROPAGATED_ONLY));
    SAFEARRAY* names = nullptr;
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, derivedSet->GetNames(WBEM_FLAG_SYSTEM_ONLY, &names));

    // Deleting: a propagated qualifier cannot go; an override gives way to the inherited one.
    EXPECT_EQ(WBEM_E_PROPAGATED_QUALIFIER, derivedSet->Delete(L"Subclasses"));
    EXPECT_EQ(WBEM_S_RESET_TO_DEFAULT, derivedSet->Delete(L"Everywhere"));
    _variant_t value;
    LONG flavor = 0;
    ASSERT_EQ(S_OK, derivedSet->Get(L"Everywhere", 0, &value, &flavor));
    EXPECT_EQ(L"e", text(value));
    EXPECT_EQ(kToInstance | kToSubclass | WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);

    // The same on an instance.
    EXPECT_EQ(S_OK, putQualifier(instanceSet, L"Instances", _variant_t(L"own"), 0));
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_LOCAL, flavorOf(instanceSet, L"Instances"));
    EXPECT_EQ(WBEM_S_RESET_TO_DEFAULT, instanceSet->Delete(L"Instances"));
    EXPECT_EQ(kToInstance | WBEM_FLAVOR_ORIGIN_PROPAGATED, flavorOf(instanceSet, L"Instances"));
    EXPECT_EQ(WBEM_E_PROPAGATED_QUALIFIER, instanceSet->Delete(L"Instances"));
    // The base class itself is untouched by all of this.
    EXPECT_EQ(5u, qualifierNames(set, 0).size());
}

TEST(QualifierSet, PropertyQualifiersPropagateAndMarkTheInstanceProperty) {
    IWbemClassObjectPtr base = newClass(L"Base");
    ASSERT_EQ(S_OK, put(base, L"Id", _variant_t(), CIM_SINT32));
    ASSERT_EQ(S_OK, put(base, L"List", _variant_t(), CIM_SINT32 | CIM_FLAG_ARRAY));
    IWbemQualifierSetPtr idSet = propertyQualifiers(base, L"Id");
    // Every property carries its CIM type as a qualifier.
    _variant_t cimType;
    ASSERT_EQ(S_OK, idSet->Get(L"CIMTYPE", 0, &cimType, nullptr));
    EXPECT_EQ(L"sint32", text(cimType));
    // `key` reaches instances and derived classes and cannot be overridden, whatever is asked.
    ASSERT_EQ(S_OK, putQualifier(idSet, L"key", _variant_t(true), 0));
    EXPECT_EQ(kToInstance | kToSubclass | WBEM_FLAVOR_NOT_OVERRIDABLE, flavorOf(idSet, L"key"));
    EXPECT_EQ(WBEM_E_CANNOT_BE_KEY,
              putQualifier(propertyQualifiers(base, L"List"), L"key", _variant_t(true), 0));
    EXPECT_EQ(WBEM_E_CANNOT_BE_KEY,
              putQualifier(classQualifiers(base), L"key", _variant_t(true), 0));

    IWbemQualifierSetPtr set;
    EXPECT_EQ(WBEM_E_SYSTEM_PROPERTY, base->GetPropertyQualifierSet(L"__CLASS", &set));
    EXPECT_EQ(WBEM_E_NOT_FOUND, base->GetPropertyQualifierSet(L"Missing", &set));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, base->GetPropertyQualifierSet(nullptr, &set));

    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, base->SpawnInstance(0, &instance));
    IWbemQualifierSetPtr instanceId = propertyQualifiers(instance, L"Id");
    EXPECT_EQ(kToInstance | kToSubclass | WBEM_FLAVOR_NOT_OVERRIDABLE |
                  WBEM_FLAVOR_ORIGIN_PROPAGATED,
              flavorOf(instanceId, L"key"));
    LONG flavor = -1;
    get(instance, L"Id", nullptr, &flavor);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
    ASSERT_EQ(S_OK, putQualifier(instanceId, L"Note", _variant_t(L"n"), 0));
    get(instance, L"Id", nullptr, &flavor);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_LOCAL, flavor); // a qualifier of its own marks it
    // The live set follows the property: deleting the class property leaves it with nothing.
    ASSERT_EQ(S_OK, base->Delete(L"Id"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, idSet->Get(L"key", 0, nullptr, nullptr));
}

// Derived classes share their inherited qualifier lists until one of them changes: a change
// made anywhere in a family must stay in the class it was made in.
TEST(QualifierSet, ChangesToInheritedQualifiersStayInTheirClass) {
    IWbemClassObjectPtr root = newClass(L"Root");
    ASSERT_EQ(S_OK, put(root, L"Name", _variant_t(), CIM_STRING));
    ASSERT_EQ(S_OK, putQualifier(propertyQualifiers(root, L"Name"), L"Description",
                                 _variant_t(L"root's"), kToSubclass));
    IWbemClassObjectPtr middle = newClass(L"Middle", root);
    IWbemClassObjectPtr left = newClass(L"Left", middle);
    IWbemClassObjectPtr right = newClass(L"Right", middle);
    IWbemClassObjectPtr rightCopy;
    ASSERT_EQ(S_OK, right->Clone(&rightCopy));

    ASSERT_EQ(S_OK, putQualifier(propertyQualifiers(left, L"Name"), L"Description",
                                 _variant_t(L"left's"), kToSubclass));
    ASSERT_EQ(S_OK, putQualifier(propertyQualifiers(right, L"Name"), L"Note", _variant_t(L"n"), 0));
    ASSERT_EQ(S_OK, putQualifier(propertyQualifiers(middle, L"Name"), L"Description",
                                 _variant_t(L"middle's"), kToSubclass));

    const auto description = [](IWbemClassObject* object) {
        _variant_t value;
        EXPECT_EQ(S_OK, propertyQualifiers(object, L"Name")->Get(L"Description", 0, &value, 0));
        return text(value);
    };
    EXPECT_EQ(L"root's", description(root));
    EXPECT_EQ(L"middle's", description(middle));
    EXPECT_EQ(L"left's", description(left));
    EXPECT_EQ(L"root's", description(right)); // derived before the middle class changed
    EXPECT_EQ(kToSubclass | WBEM_FLAVOR_ORIGIN_PROPAGATED,
              flavorOf(propertyQualifiers(right, L"Name"), L"Description"));
    EXPECT_EQ((std::vector<std::wstring>{L"CIMTYPE", L"Description", L"Note"}),
              qualifierNames(propertyQualifiers(right, L"Name"), 0));
    EXPECT_EQ((std::vector<std::wstring>{L"CIMTYPE", L"Description"}),
              qualifierNames(propertyQualifiers(rightCopy, L"Name"), 0));
    EXPECT_EQ((std::vector<std::wstring>{L"CIMTYPE", L"Description"}),
              qualifierNames(propertyQualifiers(left, L"Name"), 0));

    // Deleting the override brings back the inherited qualifier, in this class only.
    EXPECT_EQ(WBEM_S_RESET_TO_DEFAULT, propertyQualifiers(left, L"Name")->Delete(L"Description"));
    EXPECT_EQ(L"root's", description(left));
    EXPECT_EQ(L"middle's", description(middle));
}

TEST(QualifierSet, EnumerationVisitsEachSelectedQualifier) {
    IWbemClassObjectPtr base = newClass(L"Base");
    IWbemQualifierSetPtr set = classQualifiers(base);
    ASSERT_EQ(S_OK, putQualifier(set, L"One", _variant_t(1L), kToSubclass));
    ASSERT_EQ(S_OK, putQualifier(set, L"Two", _variant_t(2L), kToSubclass));
    IWbemClassObjectPtr derived = newClass(L"Derived", base);
    IWbemQualifierSetPtr derivedSet = classQualifiers(derived);
    ASSERT_EQ(S_OK, putQualifier(derivedSet, L"Three", _variant_t(3L), 0));

    BSTR name = nullptr;
    _variant_t value;
    LONG flavor = 0;
    EXPECT_EQ(WBEM_E_UNEXPECTED, derivedSet->Next(0, &name, &value, &flavor));
    ASSERT_EQ(S_OK, derivedSet->BeginEnumeration(WBEM_FLAG_PROPAGATED_ONLY));
    std::vector<std::wstring> seen;
    while (derivedSet->Next(0, &name, &value, &flavor) == S_OK) {
        seen.emplace_back(name);
        SysFreeString(name);
        EXPECT_EQ(kToSubclass | WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
        value.Clear();
    }
    EXPECT_EQ((std::vector<std::wstring>{L"One", L"Two"}), seen);
    EXPECT_EQ(WBEM_S_NO_MORE_DATA, derivedSet->Next(0, &name, &value, &flavor));
    EXPECT_EQ(S_OK, derivedSet->EndEnumeration());
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, derivedSet->BeginEnumeration(0x30));
}

TEST(QualifierSet, ClassQualifiersGiveKeysAbstractSingletonAndAssociationTheirMeaning) {
    IWbemClassObjectPtr single = newClass(L"Settings");
    ASSERT_EQ(S_OK, putQualifier(classQualifiers(single), L"singleton", _variant_t(true), 0));
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, single->SpawnInstance(0, &instance));
    EXPECT_EQ(L"Settings=@", text(get(instance, L"__RELPATH")));
    std::wstring key;
    auto* ours = zp::wbem::ClassObject::from(instance.GetInterfacePtr());
    ASSERT_EQ(S_OK, zp::wbem::instanceKey(*ours, key));
    EXPECT_EQ(L"@", key);

    IWbemClassObjectPtr keyless = newClass(L"Keyless");
    IWbemClassObjectPtr keylessInstance;
    ASSERT_EQ(S_OK, keyless->SpawnInstance(0, &keylessInstance));
    EXPECT_EQ(VT_NULL, get(keylessInstance, L"__RELPATH").vt);
    EXPECT_EQ(WBEM_E_INVALID_OBJECT,
              zp::wbem::instanceKey(*zp::wbem::ClassObject::from(keylessInstance.GetInterfacePtr()),
                                    key));

    IWbemClassObjectPtr link = newClass(L"Link");
    ASSERT_EQ(S_OK, putQualifier(classQualifiers(link), L"Association", _variant_t(true), 0));
    ASSERT_EQ(S_OK, putQualifier(classQualifiers(link), L"Abstract", _variant_t(true), 0));
    auto definition = zp::wbem::ClassObject::from(link.GetInterfacePtr())->definition();
    EXPECT_TRUE(definition->isAssociation);
    EXPECT_TRUE(definition->isAbstract);
    EXPECT_FALSE(definition->isSingleton);
    // `abstract` without a propagation flavor stays with its class.
    IWbemClassObjectPtr concrete = newClass(L"Concrete", link);
    EXPECT_FALSE(zp::wbem::ClassObject::from(concrete.GetInterfacePtr())->definition()->isAbstract);
}

} // namespace
