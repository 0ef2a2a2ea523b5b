// Methods with __PARAMETERS signatures, and GetObjectText.
#include "WbemObject.h"

namespace {

// A signature: a __PARAMETERS class with the given parameters (name, type, ID; ID -1: none).
struct Parameter {
    const wchar_t* name;
    CIMTYPE type;
    LONG id;
};
IWbemClassObjectPtr signature(std::initializer_list<Parameter> parameters, bool in) {
    IWbemClassObjectPtr object = newClass(L"__PARAMETERS");
    for (const Parameter& p : parameters) {
        EXPECT_EQ(S_OK, put(object, p.name, _variant_t(), p.type));
        IWbemQualifierSetPtr set;
        EXPECT_EQ(S_OK, object->GetPropertyQualifierSet(p.name, &set));
        _variant_t yes(true);
        if (p.id >= 0) {
            _variant_t id(static_cast<long>(p.id));
            EXPECT_EQ(S_OK, set->Put(L"ID", &id, 0));
            EXPECT_EQ(S_OK, set->Put(in ? L"in" : L"out", &yes, 0));
        }
    }
    return object;
}

struct WithMethod {
    IWbemClassObjectPtr base = newClass(L"Service");
    WithMethod() {
        IWbemClassObjectPtr in =
            signature({{L"Name", CIM_STRING, 0}, {L"Force", CIM_BOOLEAN, 1}}, true);
        IWbemClassObjectPtr out =
            signature({{L"ReturnValue", CIM_UINT32, -1}, {L"Code", CIM_SINT32, 2}}, false);
        EXPECT_EQ(S_OK, base->PutMethod(L"Start", 0, in, out));
        EXPECT_EQ(S_OK, base->PutMethod(L"Stop", 0, nullptr, nullptr));
    }
};

TEST(ClassObjectMethods, SignaturesComeBackAsParametersClasses) {
    WithMethod w;
    IWbemClassObjectPtr in, out;
    ASSERT_EQ(S_OK, w.base->GetMethod(L"start", 0, &in, &out));
    ASSERT_TRUE(in && out);
    EXPECT_EQ(L"__PARAMETERS", text(get(in, L"__CLASS")));
    EXPECT_EQ(WBEM_GENUS_CLASS, get(in, L"__GENUS").lVal);
    EXPECT_EQ((std::vector<std::wstring>{L"Name", L"Force"}),
              propertyNames(in, WBEM_FLAG_NONSYSTEM_ONLY));
    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, in->GetPropertyQualifierSet(L"Force", &set));
    _variant_t id;
    ASSERT_EQ(S_OK, set->Get(L"ID", 0, &id, nullptr));
    EXPECT_EQ(1, id.lVal);
    // What GetMethod hands out is a copy: changing it leaves the method alone.
    ASSERT_EQ(S_OK, put(in, L"Extra", _variant_t(1L)));
    IWbemClassObjectPtr again;
    ASSERT_EQ(S_OK, w.base->GetMethod(L"Start", 0, &again, nullptr));
    EXPECT_EQ(2u, propertyNames(again, WBEM_FLAG_NONSYSTEM_ONLY).size());

    IWbemClassObjectPtr none = in;
    ASSERT_EQ(S_OK, w.base->GetMethod(L"Stop", 0, &none, nullptr));
    EXPECT_FALSE(none);
    EXPECT_EQ(WBEM_E_NOT_FOUND, w.base->GetMethod(L"Missing", 0, &in, &out));

    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, w.base->SpawnInstance(0, &instance));
    EXPECT_EQ(WBEM_E_ILLEGAL_OPERATION, instance->GetMethod(L"Start", 0, &in, &out));
}

TEST(ClassObjectMethods, ParameterIdsAreChecked) {
    IWbemClassObjectPtr object = newClass(L"Checked");
    EXPECT_EQ(WBEM_E_MISSING_PARAMETER_ID,
              object->PutMethod(L"M", 0, signature({{L"A", CIM_STRING, -1}}, true), nullptr));
    EXPECT_EQ(WBEM_E_NONCONSECUTIVE_PARAMETER_IDS,
              object->PutMethod(L"M", 0, signature({{L"A", CIM_STRING, 1}}, true), nullptr));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER_ID,
              object->PutMethod(L"M", 0,
                                signature({{L"A", CIM_STRING, 0}, {L"B", CIM_STRING, 0}}, true),
                                nullptr));
    IWbemClassObjectPtr withId = signature({{L"ReturnValue", CIM_UINT32, 0}}, false);
    EXPECT_EQ(WBEM_E_PARAMETER_ID_ON_RETVAL, object->PutMethod(L"M", 0, nullptr, withId));
    // A parameter both in and out keeps one ID.
    EXPECT_EQ(S_OK, object->PutMethod(L"M", 0, signature({{L"A", CIM_STRING, 0}}, true),
                                      signature({{L"A", CIM_STRING, 0}}, false)));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER,
              object->PutMethod(L"N", 0, newClass(L"NotParameters"), nullptr));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, object->PutMethod(L"_N", 0, nullptr, nullptr));
}

TEST(ClassObjectMethods, DerivedClassesInheritMethodsTheyCannotDelete) {
    WithMethod w;
    IWbemClassObjectPtr derived = newClass(L"Special", w.base);
    ASSERT_EQ(S_OK, derived->PutMethod(L"Pause", 0, nullptr, nullptr));
    EXPECT_EQ(WBEM_E_PROPAGATED_METHOD, derived->DeleteMethod(L"Start"));
    // An inherited method may be written again only with its own signature.
    EXPECT_EQ(WBEM_E_PROPAGATED_METHOD, derived->PutMethod(L"Start", 0, nullptr, nullptr));
    IWbemClassObjectPtr startIn, startOut;
    ASSERT_EQ(S_OK, w.base->GetMethod(L"Start", 0, &startIn, &startOut));
    EXPECT_EQ(S_OK, derived->PutMethod(L"Start", 0, startIn, startOut));
    EXPECT_EQ(WBEM_E_NOT_FOUND, derived->DeleteMethod(L"Missing"));

    auto names = [&](LONG flags) {
        std::vector<std::wstring> seen;
        EXPECT_EQ(S_OK, derived->BeginMethodEnumeration(flags));
        BSTR name = nullptr;
        IWbemClassObject* in = nullptr;
        IWbemClassObject* out = nullptr;
        while (derived->NextMethod(0, &name, &in, &out) == S_OK) {
            seen.emplace_back(name);
            SysFreeString(name);
            if (in)
                in->Release();
            if (out)
                out->Release();
            in = out = nullptr;
        }
        EXPECT_EQ(S_OK, derived->EndMethodEnumeration());
        return seen;
    };
    EXPECT_EQ((std::vector<std::wstring>{L"Start", L"Stop", L"Pause"}), names(0));
    EXPECT_EQ((std::vector<std::wstring>{L"Pause"}), names(WBEM_FLAG_LOCAL_ONLY));
    EXPECT_EQ((std::vector<std::wstring>{L"Start", L"Stop"}), names(WBEM_FLAG_PROPAGATED_ONLY));
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, derived->BeginMethodEnumeration(WBEM_FLAG_KEYS_ONLY));
    EXPECT_EQ(WBEM_E_UNEXPECTED, derived->NextMethod(0, nullptr, nullptr, nullptr));

    BSTR origin = nullptr;
    ASSERT_EQ(S_OK, derived->GetMethodOrigin(L"stop", &origin));
    EXPECT_STREQ(L"Service", origin);
    SysFreeString(origin);
    EXPECT_EQ(WBEM_E_NOT_FOUND, derived->GetMethodOrigin(L"Missing", &origin));

    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, w.base->GetMethodQualifierSet(L"Start", &set));
    _variant_t yes(true);
    ASSERT_EQ(S_OK, set->Put(L"Implemented", &yes, WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS));
    EXPECT_EQ(WBEM_E_NOT_FOUND, w.base->GetMethodQualifierSet(L"Missing", &set));
    ASSERT_EQ(S_OK, w.base->DeleteMethod(L"Stop"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, w.base->GetMethod(L"Stop", 0, nullptr, nullptr));
}

std::wstring objectText(IWbemClassObject* object, LONG flags = 0) {
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, object->GetObjectText(flags, &text));
    std::wstring result = text ? text : L"";
    SysFreeString(text);
    return result;
}

TEST(ClassObjectText, ClassesAndInstancesReadAsMof) {
    WithMethod w;
    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, w.base->GetQualifierSet(&set));
    _variant_t description(L"Runs \"things\"");
    ASSERT_EQ(S_OK, set->Put(L"Description", &description,
                             WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS | WBEM_FLAVOR_AMENDED));
    ASSERT_EQ(S_OK, put(w.base, L"Name", _variant_t(), CIM_STRING));
    ASSERT_EQ(S_OK, w.base->GetPropertyQualifierSet(L"Name", &set));
    _variant_t yes(true);
    ASSERT_EQ(S_OK, set->Put(L"key", &yes, 0));
    ASSERT_EQ(S_OK, put(w.base, L"Tags", textArray({L"a", L"b\\c"})));
    ASSERT_EQ(S_OK, put(w.base, L"Owner", _variant_t(), CIM_REFERENCE));
    ASSERT_EQ(S_OK, w.base->GetPropertyQualifierSet(L"Owner", &set));
    _variant_t refType(L"ref:Person");
    ASSERT_EQ(S_OK, set->Put(L"CIMTYPE", &refType, 0));
    ASSERT_EQ(S_OK, put(w.base, L"Limit", _variant_t(-1L), CIM_UINT32));

    EXPECT_EQ(L"[Description(\"Runs \\\"things\\\"\"): ToSubclass Amended]\n"
              L"class Service\n"
              L"{\n"
              L"\t[key: ToInstance ToSubclass DisableOverride] string Name;\n"
              L"\tstring Tags[] = {\"a\", \"b\\\\c\"};\n"
              L"\tPerson ref Owner;\n"
              L"\tuint32 Limit = 4294967295;\n"
              L"\tuint32 Start([ID(0), in] string Name, [ID(1), in] boolean Force, "
              L"[ID(2), out] sint32 Code);\n"
              L"\tvoid Stop();\n"
              L"};\n",
              objectText(w.base));
    EXPECT_EQ(
        0u,
        objectText(w.base, WBEM_FLAG_NO_FLAVORS).find(L"[Description(\"Runs \\\"things\\\"\")]\n"));

    // A derived class shows what it adds and what it changes.
    IWbemClassObjectPtr derived = newClass(L"Special", w.base);
    ASSERT_EQ(S_OK, put(derived, L"Limit", _variant_t(5L)));
    ASSERT_EQ(S_OK, put(derived, L"Ratio", _variant_t(0.5)));
    EXPECT_EQ(L"class Special : Service\n{\n\tuint32 Limit = 5;\n\treal64 Ratio = 0.5;\n};\n",
              objectText(derived));

    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, derived->SpawnInstance(0, &instance));
    ASSERT_EQ(S_OK, put(instance, L"Name", _variant_t(L"x")));
    EXPECT_EQ(L"instance of Special\n{\n\tName = \"x\";\n\tTags = {\"a\", \"b\\\\c\"};\n"
              L"\tLimit = 5;\n\tRatio = 0.5;\n};\n",
              objectText(instance));

    BSTR text = nullptr;
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, w.base->GetObjectText(2, &text));
    EXPECT_EQ(WBEM_E_INCOMPLETE_CLASS, emptyClass()->GetObjectText(0, &text));
    EXPECT_EQ(nullptr, text);
}

} // namespace
