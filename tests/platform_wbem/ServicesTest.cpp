// IWbemServices on the repository, as Microsoft documents each call: objects by name and path,
// puts with their create and update flags, deletions, enumerations and semisynchronous calls.
#include "WbemTesting.h"

#include <thread>

using namespace wbem_testing;

namespace {

class WbemServices : public WbemTest {
protected:
    // Item: a class keyed by a number and a text, with one plain property.
    void defineItem() {
        ASSERT_TRUE(defineClass(
            L"Item", nullptr,
            {{L"Id", CIM_SINT32, true}, {L"Name", CIM_STRING, true}, {L"Size", CIM_UINT32}}));
    }

    IWbemClassObjectPtr item(long id, const wchar_t* name, long size = 0) {
        IWbemClassObjectPtr instance = spawn(L"Item");
        set(instance, L"Id", _variant_t(id));
        set(instance, L"Name", _variant_t(name));
        set(instance, L"Size", _variant_t(size));
        return instance;
    }
};

TEST_F(WbemServices, AnEmptyPathGivesANewEmptyClass) {
    const _bstr_t empty(L"");
    for (BSTR path : {static_cast<BSTR>(nullptr), static_cast<BSTR>(empty)}) {
        IWbemClassObjectPtr cls;
        ASSERT_EQ(S_OK, m_services->GetObject(path, 0, nullptr, &cls, nullptr));
        EXPECT_EQ(1, get(cls, L"__GENUS").lVal);
        EXPECT_EQ(VT_NULL, get(cls, L"__CLASS").vt);
        EXPECT_EQ(VT_NULL, get(cls, L"__PATH").vt);
    }
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_services->GetObject(nullptr, 0, nullptr, nullptr, nullptr));
}

TEST_F(WbemServices, EveryNamespaceHasTheSystemClassesWithTheirDocumentedDefaults) {
    IWbemClassObjectPtr provider = object(L"__Win32Provider");
    ASSERT_TRUE(provider);
    EXPECT_EQ(L"__Provider", text(provider, L"__SUPERCLASS"));
    EXPECT_EQ(L"__SystemClass", text(provider, L"__DYNASTY"));
    EXPECT_EQ(VARIANT_TRUE, get(provider, L"Pure").boolVal);
    EXPECT_EQ(VARIANT_FALSE, get(provider, L"PerUserInitialization").boolVal);
    EXPECT_EQ(0, get(provider, L"ImpersonationLevel").lVal);
    EXPECT_EQ(VT_NULL, get(provider, L"CLSID").vt);
    IWbemQualifierSetPtr nameQualifiers;
    ASSERT_EQ(S_OK, provider->GetPropertyQualifierSet(L"Name", &nameQualifiers));
    _variant_t key;
    EXPECT_EQ(S_OK, nameQualifiers->Get(L"key", 0, &key, nullptr));

    IWbemClassObjectPtr registration = object(L"__InstanceProviderRegistration");
    ASSERT_TRUE(registration);
    EXPECT_EQ(VARIANT_TRUE, get(registration, L"SupportsEnumeration").boolVal);
    EXPECT_EQ(VARIANT_FALSE, get(registration, L"SupportsGet").boolVal);
    CIMTYPE type = 0;
    get(registration, L"provider", &type);
    EXPECT_EQ(CIM_REFERENCE, type);
    get(object(L"__EventProviderRegistration"), L"EventQueryList", &type);
    EXPECT_EQ(CIM_STRING | CIM_FLAG_ARRAY, type);
    get(object(L"__InstanceModificationEvent"), L"PreviousInstance", &type);
    EXPECT_EQ(CIM_OBJECT, type);
    for (const wchar_t* name :
         {L"__SystemClass", L"__NAMESPACE", L"__Provider", L"__ProviderRegistration",
          L"__ObjectProviderRegistration", L"__MethodProviderRegistration", L"__Event",
          L"__ExtrinsicEvent", L"__InstanceOperationEvent", L"__InstanceCreationEvent",
          L"__InstanceDeletionEvent"})
        EXPECT_EQ(S_OK, getStatus(name)) << narrow(name);
}

TEST_F(WbemServices, SystemClassesCannotBeChangedOrDeleted) {
    IWbemClassObjectPtr provider = object(L"__Win32Provider");
    set(provider, L"Extra", _variant_t(1L), CIM_SINT32);
    EXPECT_EQ(status(WBEM_E_ACCESS_DENIED),
              m_services->PutClass(provider, WBEM_FLAG_CREATE_OR_UPDATE, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_ACCESS_DENIED),
              m_services->DeleteClass(_bstr_t(L"__Provider"), 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              object(L"__Win32Provider")->Get(L"Extra", 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, getStatus(L"__Win32Provider"));
}

TEST_F(WbemServices, PutClassHonoursCreateAndUpdateFlags) {
    IWbemClassObjectPtr cls;
    ASSERT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &cls, nullptr));
    set(cls, L"__CLASS", _variant_t(L"Thing"));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              m_services->PutClass(cls, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
    EXPECT_EQ(S_OK, m_services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_ALREADY_EXISTS),
              m_services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
    set(cls, L"Added", _variant_t(L"default"), CIM_STRING);
    EXPECT_EQ(S_OK, m_services->PutClass(cls, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
    EXPECT_EQ(L"default", text(object(L"thing"), L"Added"));
    // Names keep the case they were made with.
    EXPECT_EQ(L"Thing", text(object(L"THING"), L"__CLASS"));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_services->PutClass(nullptr, 0, nullptr, nullptr));
}

TEST_F(WbemServices, AClassNeedsAStoredSuperclass) {
    IWbemClassObjectPtr base;
    ASSERT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &base, nullptr));
    set(base, L"__CLASS", _variant_t(L"NeverStored"));
    IWbemClassObjectPtr derived;
    ASSERT_EQ(S_OK, base->SpawnDerivedClass(0, &derived));
    set(derived, L"__CLASS", _variant_t(L"Orphan"));
    EXPECT_EQ(status(WBEM_E_INVALID_SUPERCLASS),
              m_services->PutClass(derived, 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"Orphan"));
}

TEST_F(WbemServices, GetObjectReportsWhatIsWrongWithAPath) {
    defineItem();
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"NoSuchClass"));
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS), getStatus(L"NoSuchClass.Id=1"));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"Item.Id=1,Name=\"none\""));
    for (const wchar_t* bad : {L"Item.", L"Item.Id=", L"Item.Id=1,", L"Item.Id=\"open", L"=1",
                               L".Id=1", L"Item.Id=1 junk", L"Item=@x"})
        EXPECT_EQ(status(WBEM_E_INVALID_OBJECT_PATH), getStatus(bad)) << narrow(bad);
    // Keys that are not exactly the class's keys.
    EXPECT_EQ(status(WBEM_E_INVALID_OBJECT_PATH), getStatus(L"Item.Id=1"));
    EXPECT_EQ(status(WBEM_E_INVALID_OBJECT_PATH), getStatus(L"Item.Id=1,Name=\"a\",Size=2"));
}

TEST_F(WbemServices, KeysMatchInAnyOrderAndCaseWithNumbersByValue) {
    defineItem();
    ASSERT_EQ(S_OK, put(item(7, L"a \"quoted\" \\ name", 3)));
    const std::wstring paths[] = {
        L"Item.Id=7,Name=\"a \\\"quoted\\\" \\\\ name\"",
        L"Item.Name=\"a \\\"quoted\\\" \\\\ name\",Id=7",
        L"ITEM.NAME=\"a \\\"quoted\\\" \\\\ name\",ID=007",
        m_path + L":Item.Id=7,Name=\"a \\\"quoted\\\" \\\\ name\"",
        L"\\\\.\\" + m_path + L":Item.Id=+7,Name=\"a \\\"quoted\\\" \\\\ name\"",
    };
    for (const std::wstring& path : paths) {
        IWbemClassObjectPtr found = object(path.c_str());
        ASSERT_TRUE(found) << narrow(path.c_str());
        EXPECT_EQ(3, get(found, L"Size").lVal);
    }
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              getStatus(L"Item.Id=8,Name=\"a \\\"quoted\\\" \\\\ name\""));
}

TEST_F(WbemServices, PutInstanceHonoursCreateAndUpdateFlags) {
    defineItem();
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), put(item(1, L"a", 10), WBEM_FLAG_UPDATE_ONLY));
    EXPECT_EQ(S_OK, put(item(1, L"a", 10), WBEM_FLAG_CREATE_ONLY));
    EXPECT_EQ(status(WBEM_E_ALREADY_EXISTS), put(item(1, L"a", 20), WBEM_FLAG_CREATE_ONLY));
    EXPECT_EQ(10, get(object(L"Item.Id=1,Name=\"a\""), L"Size").lVal);
    EXPECT_EQ(S_OK, put(item(1, L"a", 30), WBEM_FLAG_UPDATE_ONLY));
    EXPECT_EQ(30, get(object(L"Item.Id=1,Name=\"a\""), L"Size").lVal);
    EXPECT_EQ(S_OK, put(item(1, L"a", 40), WBEM_FLAG_CREATE_OR_UPDATE));
    EXPECT_EQ(S_OK, put(item(2, L"a", 50), WBEM_FLAG_CREATE_OR_UPDATE));
    EXPECT_EQ(40, get(object(L"Item.Id=1,Name=\"a\""), L"Size").lVal);
    EXPECT_EQ(50, get(object(L"Item.Id=2,Name=\"a\""), L"Size").lVal);
}

TEST_F(WbemServices, InstancesThatCannotBeStoredAreRefused) {
    defineItem();
    IWbemClassObjectPtr nullKey = spawn(L"Item");
    set(nullKey, L"Id", _variant_t(1L));
    EXPECT_EQ(status(WBEM_E_ILLEGAL_NULL), put(nullKey));

    ASSERT_TRUE(defineClass(L"Shape", nullptr, {{L"Id", CIM_SINT32, true}}, true));
    IWbemClassObjectPtr abstractInstance = spawn(L"Shape");
    set(abstractInstance, L"Id", _variant_t(1L));
    EXPECT_EQ(status(WBEM_E_INVALID_OPERATION), put(abstractInstance));

    IWbemClassObjectPtr cls = object(L"Item");
    IWbemClassObjectPtr stale;
    ASSERT_EQ(S_OK, cls->SpawnInstance(0, &stale));
    ASSERT_EQ(S_OK, m_services->DeleteClass(_bstr_t(L"Item"), 0, nullptr, nullptr));
    set(stale, L"Id", _variant_t(1L));
    set(stale, L"Name", _variant_t(L"x"));
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS), put(stale));
    // A class is not an instance.
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), put(object(L"Shape")));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), put(nullptr));
}

TEST_F(WbemServices, StoredInstancesCarryTheirPath) {
    defineItem();
    IWbemCallResultPtr result;
    ASSERT_EQ(S_OK,
              m_services->PutInstance(item(5, L"x"), WBEM_FLAG_CREATE_ONLY, nullptr, &result));
    ASSERT_TRUE(result);
    BSTR relpath = nullptr;
    ASSERT_EQ(S_OK, result->GetResultString(0, &relpath));
    EXPECT_STREQ(L"Item.Id=5,Name=\"x\"", relpath);
    SysFreeString(relpath);
    IWbemClassObjectPtr stored = object(L"Item.Id=5,Name=\"x\"");
    EXPECT_EQ(L"Item.Id=5,Name=\"x\"", text(stored, L"__RELPATH"));
    EXPECT_EQ(m_path, text(stored, L"__NAMESPACE"));
    const std::wstring server = text(stored, L"__SERVER");
    EXPECT_FALSE(server.empty());
    EXPECT_EQ(L"\\\\" + server + L"\\" + m_path + L":Item.Id=5,Name=\"x\"",
              text(stored, L"__PATH"));
    EXPECT_EQ(2, get(stored, L"__GENUS").lVal);
}

TEST_F(WbemServices, SemisynchronousCallsReportThroughTheirCallResult) {
    defineItem();
    IWbemCallResultPtr result;
    ASSERT_EQ(S_OK, m_services->PutInstance(item(1, L"a"),
                                            WBEM_FLAG_CREATE_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                            nullptr, &result));
    LONG callStatus = -1;
    ASSERT_EQ(S_OK, result->GetCallStatus(kInfinite, &callStatus));
    EXPECT_EQ(S_OK, callStatus);
    BSTR relpath = nullptr;
    ASSERT_EQ(S_OK, result->GetResultString(kInfinite, &relpath));
    EXPECT_STREQ(L"Item.Id=1,Name=\"a\"", relpath);
    SysFreeString(relpath);

    // The refused put returns at once all the same; its status is the call result's.
    result = nullptr;
    ASSERT_EQ(S_OK, m_services->PutInstance(item(1, L"a"),
                                            WBEM_FLAG_CREATE_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                            nullptr, &result));
    ASSERT_EQ(S_OK, result->GetCallStatus(0, &callStatus));
    EXPECT_EQ(status(WBEM_E_ALREADY_EXISTS), callStatus);
    EXPECT_EQ(status(WBEM_E_ALREADY_EXISTS), result->GetResultString(0, &relpath));

    result = nullptr;
    ASSERT_EQ(S_OK, m_services->GetObject(_bstr_t(L"Item.Id=1,Name=\"a\""),
                                          WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, nullptr, &result));
    IWbemClassObjectPtr fetched;
    ASSERT_EQ(S_OK, result->GetResultObject(kInfinite, &fetched));
    EXPECT_EQ(L"a", text(fetched, L"Name"));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), result->GetCallStatus(0, nullptr));
}

TEST_F(WbemServices, DeletingAClassTakesItsDerivedClassesAndAllTheirInstances) {
    ASSERT_TRUE(defineClass(L"Base", nullptr, {{L"Id", CIM_SINT32, true}}));
    ASSERT_TRUE(defineClass(L"Derived", L"Base", {{L"Extra", CIM_STRING}}));
    ASSERT_TRUE(defineClass(L"Other", nullptr, {{L"Id", CIM_SINT32, true}}));
    IWbemClassObjectPtr derived = spawn(L"Derived");
    set(derived, L"Id", _variant_t(1L));
    ASSERT_EQ(S_OK, put(derived));
    IWbemClassObjectPtr other = spawn(L"Other");
    set(other, L"Id", _variant_t(1L));
    ASSERT_EQ(S_OK, put(other));
    // A derived instance is found through its base class's path too.
    EXPECT_EQ(L"Derived", text(object(L"Base.Id=1"), L"__CLASS"));

    EXPECT_EQ(S_OK, m_services->DeleteClass(_bstr_t(L"base"), 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"Derived"));
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS), getStatus(L"Derived.Id=1"));
    EXPECT_EQ(S_OK, getStatus(L"Other.Id=1"));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              m_services->DeleteClass(_bstr_t(L"Base"), 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_services->DeleteClass(nullptr, 0, nullptr, nullptr));
}

TEST_F(WbemServices, DeleteInstanceRemovesOneInstance) {
    defineItem();
    ASSERT_EQ(S_OK, put(item(1, L"a")));
    ASSERT_EQ(S_OK, put(item(2, L"a")));
    EXPECT_EQ(S_OK,
              m_services->DeleteInstance(_bstr_t(L"item.name=\"a\",id=1"), 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"Item.Id=1,Name=\"a\""));
    EXPECT_EQ(S_OK, getStatus(L"Item.Id=2,Name=\"a\""));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              m_services->DeleteInstance(_bstr_t(L"Item.Id=1,Name=\"a\""), 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_OBJECT_PATH),
              m_services->DeleteInstance(_bstr_t(L"Item.Id="), 0, nullptr, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS),
              m_services->DeleteInstance(_bstr_t(L"Nothing.Id=1"), 0, nullptr, nullptr));
}

TEST_F(WbemServices, IncompatibleClassChangesAreRefusedWhileInstancesOrChildrenDependOnThem) {
    defineItem();
    ASSERT_EQ(S_OK, put(item(1, L"a", 5)));
    IWbemClassObjectPtr changed = object(L"Item");
    ASSERT_EQ(S_OK, changed->Delete(L"Size"));
    EXPECT_EQ(status(WBEM_E_CLASS_HAS_INSTANCES),
              m_services->PutClass(changed, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
    // Adding a property is compatible: the stored instance gets its default.
    IWbemClassObjectPtr added = object(L"Item");
    set(added, L"Colour", _variant_t(L"blue"), CIM_STRING);
    EXPECT_EQ(S_OK, m_services->PutClass(added, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
    IWbemClassObjectPtr stored = object(L"Item.Id=1,Name=\"a\"");
    EXPECT_EQ(L"blue", text(stored, L"Colour"));
    EXPECT_EQ(5, get(stored, L"Size").lVal);

    ASSERT_TRUE(
        defineClass(L"Parent", nullptr, {{L"Id", CIM_SINT32, true}, {L"Gone", CIM_STRING}}));
    ASSERT_TRUE(defineClass(L"Child", L"Parent", {}));
    IWbemClassObjectPtr parent = object(L"Parent");
    ASSERT_EQ(S_OK, parent->Delete(L"Gone"));
    EXPECT_EQ(status(WBEM_E_CLASS_HAS_CHILDREN),
              m_services->PutClass(parent, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
}

TEST_F(WbemServices, ClassEnumerationsGoDeepOrShallowFromAnySuperclass) {
    ASSERT_TRUE(defineClass(L"A", nullptr, {}));
    ASSERT_TRUE(defineClass(L"B", L"A", {}));
    ASSERT_TRUE(defineClass(L"C", L"B", {}));
    ASSERT_TRUE(defineClass(L"D", L"A", {}));
    auto classes = [&](const wchar_t* superclass, LONG flags) {
        IEnumWbemClassObjectPtr enumerator;
        const _bstr_t name(superclass); // a null name stays null
        EXPECT_EQ(S_OK, m_services->CreateClassEnum(name, flags, nullptr, &enumerator));
        std::vector<std::wstring> result;
        if (enumerator)
            result = names(drain(enumerator), L"__CLASS");
        return result;
    };
    using Names = std::vector<std::wstring>;
    EXPECT_EQ((Names{L"B", L"C", L"D"}), classes(L"A", 0));
    EXPECT_EQ((Names{L"B", L"D"}), classes(L"A", WBEM_FLAG_SHALLOW));
    EXPECT_EQ((Names{}), classes(L"C", WBEM_FLAG_SHALLOW | WBEM_FLAG_FORWARD_ONLY));
    const Names topLevel = classes(nullptr, WBEM_FLAG_SHALLOW);
    // The system classes at the top: __SystemClass and the signatures' __PARAMETERS.
    EXPECT_EQ((Names{L"__SystemClass", L"__PARAMETERS", L"A"}), topLevel);
    const Names all = classes(nullptr, 0);
    EXPECT_GT(all.size(), 15u);
    EXPECT_EQ(L"A", all[all.size() - 4]);
    IEnumWbemClassObjectPtr none;
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS),
              m_services->CreateClassEnum(_bstr_t(L"Nope"), 0, nullptr, &none));
}

TEST_F(WbemServices, InstanceEnumerationsComeInCreationOrderDeepOrShallow) {
    ASSERT_TRUE(defineClass(L"Base", nullptr, {{L"Id", CIM_SINT32, true}}));
    ASSERT_TRUE(defineClass(L"Derived", L"Base", {}));
    std::vector<std::wstring> expectedDeep, expectedShallow;
    for (long id : {5L, 3L, 9L, 1L}) {
        const bool derived = id % 3 == 0;
        IWbemClassObjectPtr instance = spawn(derived ? L"Derived" : L"Base");
        set(instance, L"Id", _variant_t(id));
        ASSERT_EQ(S_OK, put(instance));
        expectedDeep.push_back(text(instance, L"__CLASS") + std::to_wstring(id));
        if (!derived)
            expectedShallow.push_back(L"Base" + std::to_wstring(id));
    }
    auto instances = [&](LONG flags) {
        IEnumWbemClassObjectPtr enumerator;
        EXPECT_EQ(S_OK,
                  m_services->CreateInstanceEnum(_bstr_t(L"base"), flags, nullptr, &enumerator));
        std::vector<std::wstring> result;
        for (const auto& o : drain(enumerator))
            result.push_back(text(o, L"__CLASS") + std::to_wstring(get(o, L"Id").lVal));
        return result;
    };
    EXPECT_EQ(expectedDeep, instances(0));
    EXPECT_EQ(expectedDeep, instances(WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY));
    EXPECT_EQ(expectedShallow, instances(WBEM_FLAG_SHALLOW));
    IEnumWbemClassObjectPtr enumerator;
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS),
              m_services->CreateInstanceEnum(_bstr_t(L"Nope"), 0, nullptr, &enumerator));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_services->CreateInstanceEnum(nullptr, 0, nullptr, &enumerator));
}

TEST_F(WbemServices, ANamespaceInstanceMakesANamespaceAndDeletingItTakesEverythingBelow) {
    IWbemClassObjectPtr ns = spawn(L"__NAMESPACE");
    set(ns, L"Name", _variant_t(L"Child"));
    ASSERT_EQ(S_OK, put(ns));
    IWbemServicesPtr child;
    ASSERT_EQ(S_OK, connect(m_locator, (m_path + L"\\child").c_str(), child));
    IWbemClassObjectPtr grand;
    ASSERT_EQ(S_OK, child->GetObject(_bstr_t(L"__NAMESPACE"), 0, nullptr, &grand, nullptr));
    IWbemClassObjectPtr grandInstance;
    ASSERT_EQ(S_OK, grand->SpawnInstance(0, &grandInstance));
    set(grandInstance, L"Name", _variant_t(L"Grand"));
    ASSERT_EQ(S_OK, child->PutInstance(grandInstance, 0, nullptr, nullptr));
    IWbemServicesPtr grandChild;
    ASSERT_EQ(S_OK, connect(m_locator, (m_path + L"\\Child\\Grand").c_str(), grandChild));
    // OpenNamespace goes down from a connection.
    IWbemServicesPtr opened;
    EXPECT_EQ(S_OK,
              m_services->OpenNamespace(_bstr_t(L"child/grand"), 0, nullptr, &opened, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE),
              m_services->OpenNamespace(_bstr_t(L"none"), 0, nullptr, &opened, nullptr));

    ASSERT_EQ(S_OK, m_services->DeleteInstance(_bstr_t(L"__NAMESPACE.Name=\"CHILD\""), 0, nullptr,
                                               nullptr));
    IWbemServicesPtr gone;
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE),
              connect(m_locator, (m_path + L"\\Child").c_str(), gone));
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE),
              connect(m_locator, (m_path + L"\\Child\\Grand").c_str(), gone));
    // A connection to a deleted namespace finds nothing there and stores nothing.
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              child->GetObject(_bstr_t(L"__NAMESPACE"), 0, nullptr, &grand, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_NAMESPACE),
              child->PutInstance(grandInstance, 0, nullptr, nullptr));
}

TEST_F(WbemServices, ProviderRegistrationsAreFoundByTheirProviderReference) {
    IWbemClassObjectPtr provider = spawn(L"__Win32Provider");
    set(provider, L"Name", _variant_t(L"Group One"));
    set(provider, L"CLSID", _variant_t(L"{01234567-89AB-CDEF-0123-456789ABCDEF}"));
    ASSERT_EQ(S_OK, put(provider, 0));
    IWbemClassObjectPtr stored = object(L"__Win32Provider.Name=\"Group One\"");
    ASSERT_TRUE(stored);
    const std::wstring reference = L"\\\\.\\" + m_path + L":__Win32Provider.Name=\"Group One\"";
    for (const wchar_t* cls : {L"__InstanceProviderRegistration", L"__MethodProviderRegistration",
                               L"__EventProviderRegistration"}) {
        IWbemClassObjectPtr registration = spawn(cls);
        set(registration, L"provider", _variant_t(reference.c_str()), CIM_REFERENCE);
        ASSERT_EQ(S_OK, put(registration, 0)) << narrow(cls);
    }
    // One registration of each kind: the same provider keys each concrete class once.
    std::wstring escaped;
    for (wchar_t c : reference) {
        if (c == L'\\' || c == L'"')
            escaped.push_back(L'\\');
        escaped.push_back(c);
    }
    for (const wchar_t* cls : {L"__InstanceProviderRegistration", L"__MethodProviderRegistration",
                               L"__EventProviderRegistration"}) {
        const std::wstring path = std::wstring(cls) + L".provider=\"" + escaped + L"\"";
        IWbemClassObjectPtr found = object(path.c_str());
        ASSERT_TRUE(found) << narrow(path);
        EXPECT_EQ(cls, text(found, L"__CLASS"));
        EXPECT_EQ(S_OK, m_services->DeleteInstance(_bstr_t(path.c_str()), 0, nullptr, nullptr));
    }
    EXPECT_EQ(VARIANT_TRUE, get(object(L"__Win32Provider.Name=\"Group One\""), L"Pure").boolVal);
}

TEST_F(WbemServices, ThreadsStoreAndReadAtOnce) {
    defineItem();
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ComScope com;
            for (int i = 0; i < kEach; ++i) {
                IWbemClassObjectPtr instance = item(t * 1000 + i, L"threaded");
                if (m_services->PutInstance(instance, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr) !=
                    S_OK)
                    ++failures;
                IWbemClassObjectPtr back;
                const std::wstring path =
                    L"Item.Id=" + std::to_wstring(t * 1000 + i) + L",Name=\"threaded\"";
                if (m_services->GetObject(_bstr_t(path.c_str()), 0, nullptr, &back, nullptr) !=
                    S_OK)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
    IEnumWbemClassObjectPtr enumerator;
    ASSERT_EQ(S_OK, m_services->CreateInstanceEnum(_bstr_t(L"Item"), WBEM_FLAG_FORWARD_ONLY,
                                                   nullptr, &enumerator));
    EXPECT_EQ(static_cast<size_t>(kThreads * kEach), drain(enumerator).size());
}

} // namespace
