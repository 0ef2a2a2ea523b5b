// Qualifiers, properties, parameters and methods, and the platform conversation of the qualifier
// and parameter collections behind them.
#include "wmi_fake/Checks.h"

using checks::text;
using DEZE::WmiMethod;
using DEZE::WmiParameter;
using DEZE::WmiProperty;
using DEZE::WmiQualifier;

namespace {

std::wstring textOf(const _variant_t& value) {
    return V_VT(&value) == VT_BSTR ? text(V_BSTR(&value)) : L"<not text>";
}

} // namespace

namespace {

class Members : public checks::FakeTest {};

// A qualifier set holding "Description"="text" (flavor 1) and "Units"="bytes" (flavor 0).
fake::QualifierSet* twoQualifiers() {
    auto* set = new fake::QualifierSet;
    set->add(L"Description", _variant_t(L"text"), 1);
    set->add(L"Units", _variant_t(L"bytes"), 0);
    return set;
}

// A signature holding the parameters "Name" (string) and "Count" (uint32).
fake::ClassObject* signature() {
    auto* in = new fake::ClassObject(1, L"__PARAMETERS");
    in->addProperty(L"Name", _variant_t(L"x"), CIM_STRING);
    in->addProperty(L"Count", _variant_t(7L), CIM_UINT32).qualifiers->add(L"ID", _variant_t(0L));
    return in;
}

} // namespace

TEST_F(Members, ValueObjectsCopyTheirValueAndShareNothingElseLive) {
    WmiQualifier qualifier(L"Key", _variant_t(true), WBEM_FLAVOR_NOT_OVERRIDABLE);
    WmiQualifier copy = qualifier;
    copy.setValue(_variant_t(false));
    copy.setName(L"Other");
    copy = copy; // harmless
    EXPECT_EQ(text(qualifier.getName()), L"Key");
    const _variant_t key = qualifier.getValue();
    EXPECT_EQ(V_BOOL(&key), VARIANT_TRUE);
    EXPECT_EQ(qualifier.getFlavor(), WBEM_FLAVOR_NOT_OVERRIDABLE);
    EXPECT_EQ(text(copy.getName()), L"Other");

    WmiProperty property(L"Size", _variant_t(5L), CIM_UINT32, nullptr);
    property = property;
    property.setType(CIM_SINT64);
    EXPECT_EQ(property.getType(), CIM_SINT64);
    const _variant_t size = property.getValue();
    EXPECT_EQ(V_I4(&size), 5);
    // Nothing reaches a platform object, so none is asked.
    EXPECT_TRUE(fake::log().calls().empty());
}

TEST_F(Members, PropertyWithoutQualifierSetHasNoQualifiers) {
    WmiProperty property(L"Size", _variant_t(5L), CIM_UINT32, nullptr);
    EXPECT_EQ(property.getQualifierCount(), 0u);
    EXPECT_RAISES(property.getQualifier(0), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(property.getQualifier(L"key"), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(property.setQualifier(WmiQualifier(L"a", _variant_t(1L), 0)), E_FAIL,
                  L"Index out of bounds");
    EXPECT_RAISES(property.removeQualifier(L"a"), E_FAIL, L"Index out of bounds");
}

TEST_F(Members, QualifiersByPositionWalkTheSetFromItsStart) {
    fake::QualifierSet* set = twoQualifiers();
    {
        const WmiProperty property(L"Size", _variant_t(5L), CIM_UINT32, set);
        EXPECT_EQ(property.getQualifierCount(), 2u);
        fake::log().clear();
        const WmiQualifier second = property.getQualifier(1);
        EXPECT_EQ(text(second.getName()), L"Units");
        EXPECT_EQ(textOf((second.getValue())), L"bytes");
        EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                           L"IWbemQualifierSet::BeginEnumeration 0",
                                           L"IWbemQualifierSet::Next 0 skip",
                                           L"IWbemQualifierSet::Next 0 fetch",
                                           L"IWbemQualifierSet::EndEnumeration 0",
                                       }));
        EXPECT_EQ(property.getQualifier(0).getFlavor(), 1);
    }
    set->Release();
}

TEST_F(Members, QualifierPastTheEndGivesTheEnumerationStatus) {
    fake::QualifierSet* set = twoQualifiers();
    {
        const WmiProperty property(L"Size", _variant_t(5L), CIM_UINT32, set);
        fake::log().clear();
        EXPECT_RAISES(property.getQualifier(2), WBEM_S_NO_MORE_DATA, L"Index out of bounds");
        // The walk was ended, and the next one starts afresh.
        EXPECT_EQ(fake::log().lines().back(), L"IWbemQualifierSet::EndEnumeration 0");
        EXPECT_EQ(text(property.getQualifier(0).getName()), L"Description");
        fake::log().clear();
        EXPECT_RAISES(property.getQualifier(7), WBEM_S_NO_MORE_DATA, L"Index out of bounds");
        // The skipping stops at the end; the fetch finds the end again.
        EXPECT_EQ(fake::log().callsOf(L"IWbemQualifierSet::Next").size(), 4u);
    }
    set->Release();
}

TEST_F(Members, QualifierSetFailuresNameTheFailedCall) {
    fake::QualifierSet* set = twoQualifiers();
    {
        WmiProperty property(L"Size", _variant_t(5L), CIM_UINT32, set);
        const struct {
            const wchar_t* method;
            int occurrence;
            const wchar_t* message;
        } cases[] = {
            {L"IWbemQualifierSet::BeginEnumeration", 1,
             L"IWbemQualifierSet::BeginEnumeration() failed"},
            {L"IWbemQualifierSet::Next", 1, L"IWbemQualifierSet::Next() failed"},
            {L"IWbemQualifierSet::Next", 2, L"Index out of bounds"},
            {L"IWbemQualifierSet::EndEnumeration", 1,
             L"IWbemQualifierSet::EndEnumeration() failed"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << checks::text(c.method));
            fake::log().clear();
            fake::log().failOn(c.method, WBEM_E_FAILED, c.occurrence);
            EXPECT_RAISES(property.getQualifier(1), WBEM_E_FAILED, c.message);
            // Whatever failed, the enumeration that was begun has been ended.
            if (std::wstring(c.method) != L"IWbemQualifierSet::BeginEnumeration") {
                EXPECT_EQ(fake::log().callsOf(L"IWbemQualifierSet::EndEnumeration").size(), 1u);
            }
        }
        fake::log().failOn(L"IWbemQualifierSet::GetNames", WBEM_E_OUT_OF_MEMORY);
        EXPECT_RAISES(property.getQualifierCount(), WBEM_E_OUT_OF_MEMORY,
                      L"IWbemQualifierSet::GetNames() failed");
        fake::log().failOn(L"IWbemQualifierSet::Get", WBEM_E_ACCESS_DENIED);
        EXPECT_RAISES(property.getQualifier(L"Units"), WBEM_E_ACCESS_DENIED,
                      L"IWbemQualifierSet::Get() failed");
        EXPECT_RAISES(property.getQualifier(L"Missing"), WBEM_E_NOT_FOUND,
                      L"IWbemQualifierSet::Get() failed");
        fake::log().failOn(L"IWbemQualifierSet::Put", WBEM_E_OVERRIDE_NOT_ALLOWED);
        EXPECT_RAISES(property.setQualifier(WmiQualifier(L"Units", _variant_t(L"kB"), 0)),
                      WBEM_E_OVERRIDE_NOT_ALLOWED, L"IWbemQualifierSet::Put() failed");
        EXPECT_RAISES(property.removeQualifier(L"Missing"), WBEM_E_NOT_FOUND,
                      L"IWbemQualifierSet::Delete() failed");
    }
    set->Release();
}

TEST_F(Members, QualifierWritesReachTheSetAndEveryCopy) {
    fake::QualifierSet* set = twoQualifiers();
    {
        WmiProperty property(L"Size", _variant_t(5L), CIM_UINT32, set);
        const WmiProperty copy = property;
        property.setQualifier(WmiQualifier(L"Units", _variant_t(L"kB"), 3));
        EXPECT_EQ(textOf((copy.getQualifier(L"UNITS").getValue())), L"kB");
        EXPECT_EQ(copy.getQualifier(L"Units").getFlavor(), 3);
        EXPECT_EQ(fake::log().callsOf(L"IWbemQualifierSet::Put").front().flags, 3);
        property.removeQualifier(L"Description");
        EXPECT_EQ(copy.getQualifierCount(), 1u);
    }
    set->Release();
}

TEST_F(Members, MethodParametersAreTheSignaturesNonSystemProperties) {
    fake::ClassObject* in = signature();
    fake::QualifierSet* qualifiers = twoQualifiers();
    {
        const WmiMethod method(L"Start", in, nullptr, qualifiers);
        fake::log().clear();
        EXPECT_EQ(method.getInParameterCount(), 2u);
        EXPECT_EQ(fake::log().lines(),
                  (std::vector<std::wstring>{L"IWbemClassObject::GetNames 64"}));
        fake::log().clear();
        const WmiParameter count = method.getInParameter(1);
        EXPECT_EQ(text(count.getName()), L"Count");
        EXPECT_EQ(count.getType(), CIM_UINT32);
        const _variant_t value = count.getValue();
        EXPECT_EQ(V_I4(&value), 7);
        EXPECT_EQ(count.getQualifierCount(), 1u);
        EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                           L"IWbemClassObject::BeginEnumeration 64",
                                           L"IWbemClassObject::Next 0 skip",
                                           L"IWbemClassObject::Next 0 fetch",
                                           L"IWbemClassObject::EndEnumeration 0",
                                           L"IWbemClassObject::GetPropertyQualifierSet 0 Count",
                                           L"IWbemQualifierSet::GetNames 0",
                                       }));
        EXPECT_EQ(text(method.getInParameter(L"name").getName()), L"name");
        EXPECT_EQ(text(method.getQualifier(1).getName()), L"Units");
        EXPECT_EQ(method.getQualifierCount(), 2u);
        EXPECT_RAISES(method.getInParameter(2), WBEM_S_NO_MORE_DATA, L"Index out of bounds");
    }
    in->Release();
    qualifiers->Release();
}

TEST_F(Members, MethodWithoutSignatureHasNoParameters) {
    const WmiMethod method(L"Stop", nullptr, nullptr, nullptr);
    EXPECT_EQ(method.getInParameterCount(), 0u);
    EXPECT_EQ(method.getOutParameterCount(), 0u);
    EXPECT_EQ(method.getQualifierCount(), 0u);
    EXPECT_RAISES(method.getInParameter(0), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(method.getOutParameter(L"ReturnValue"), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(method.getQualifier(0), E_FAIL, L"Index out of bounds");
    EXPECT_TRUE(fake::log().calls().empty());
}

TEST_F(Members, SignatureSystemPropertiesAreNoParameters) {
    fake::ClassObject* out = signature();
    {
        const WmiMethod method(L"Start", nullptr, out, nullptr);
        // The signature's "__CLASS" can be read as a value but has no qualifier set.
        EXPECT_RAISES(method.getOutParameter(L"__CLASS"), WBEM_E_SYSTEM_PROPERTY,
                      L"IWbemClassObject::GetPropertyQualifierSet() failed");
        EXPECT_RAISES(method.getOutParameter(L"Missing"), WBEM_E_NOT_FOUND,
                      L"IWbemClassObject::Get() failed");
    }
    out->Release();
}

TEST_F(Members, ParameterWalkFailuresEndTheEnumeration) {
    fake::ClassObject* in = signature();
    {
        const WmiMethod method(L"Start", in, nullptr, nullptr);
        const struct {
            const wchar_t* method;
            int occurrence;
            const wchar_t* message;
        } cases[] = {
            {L"IWbemClassObject::BeginEnumeration", 1,
             L"IWbemClassObject::BeginEnumeration() failed"},
            {L"IWbemClassObject::Next", 1, L"IWbemClassObject::Next() failed"},
            {L"IWbemClassObject::Next", 2, L"Index out of bounds"},
            {L"IWbemClassObject::EndEnumeration", 1, L"IWbemClassObject::EndEnumeration() failed"},
            {L"IWbemClassObject::GetPropertyQualifierSet", 1,
             L"IWbemClassObject::GetPropertyQualifierSet() failed"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << checks::text(c.method));
            fake::log().clear();
            fake::log().failOn(c.method, WBEM_E_CRITICAL_ERROR, c.occurrence);
            EXPECT_RAISES(method.getInParameter(1), WBEM_E_CRITICAL_ERROR, c.message);
            const bool begun = std::wstring(c.method) != L"IWbemClassObject::BeginEnumeration";
            EXPECT_EQ(fake::log().callsOf(L"IWbemClassObject::EndEnumeration").size(),
                      begun ? 1u : 0u);
        }
        fake::log().failOn(L"IWbemClassObject::GetNames", WBEM_E_CRITICAL_ERROR);
        EXPECT_RAISES(method.getInParameterCount(), WBEM_E_CRITICAL_ERROR,
                      L"IWbemClassObject::GetNames() failed");
    }
    in->Release();
}
