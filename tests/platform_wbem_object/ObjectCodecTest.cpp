// The stored form of classes and instances, normalised keys, and objects shared between threads.
#include "WbemObject.h"

#include <atomic>
#include <thread>

namespace {

using zp::wbem::ClassDefPtr;
using zp::wbem::ClassObject;
using zp::wbem::Location;

ClassObject* ours(IWbemClassObject* object) {
    ClassObject* result = ClassObject::from(object);
    EXPECT_NE(nullptr, result);
    return result;
}

void markKey(IWbemClassObject* object, const wchar_t* name) {
    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, object->GetPropertyQualifierSet(name, &set));
    _variant_t yes(true);
    ASSERT_EQ(S_OK, set->Put(L"key", &yes, 0));
}

// Stores `object` (a class) and reads it back over `parent` as the repository does.
ClassDefPtr storeClass(IWbemClassObject* object, const ClassDefPtr& parent,
                       const std::shared_ptr<const Location>& location = nullptr) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(S_OK, zp::wbem::encodeClass(*ours(object), bytes));
    ClassDefPtr definition;
    EXPECT_EQ(S_OK,
              zp::wbem::decodeClass(bytes.data(), bytes.size(), parent, location, definition));
    return definition;
}

IWbemClassObjectPtr wrap(ClassObject* object) {
    IWbemClassObjectPtr pointer;
    pointer.Attach(object);
    return pointer;
}

struct Stored {
    std::shared_ptr<const Location> location =
        std::make_shared<Location>(Location{L"HOST", L"root\\test"});
    ClassDefPtr base, derived;
    IWbemClassObjectPtr derivedClass;

    Stored() {
        IWbemClassObjectPtr baseClass = newClass(L"Base");
        EXPECT_EQ(S_OK, put(baseClass, L"Id", _variant_t(), CIM_UINT32));
        markKey(baseClass, L"Id");
        EXPECT_EQ(S_OK, put(baseClass, L"Label", _variant_t(L"none")));
        IWbemQualifierSetPtr set;
        EXPECT_EQ(S_OK, baseClass->GetQualifierSet(&set));
        _variant_t note(L"inherited");
        EXPECT_EQ(S_OK, set->Put(L"Note", &note, WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS));
        base = storeClass(baseClass, nullptr, location);

        IWbemClassObjectPtr fromStore = wrap(zp::wbem::classObject(base));
        IWbemClassObjectPtr child = newClass(L"Child", fromStore);
        EXPECT_EQ(S_OK, put(child, L"Site", _variant_t(), CIM_STRING));
        markKey(child, L"Site");
        EXPECT_EQ(S_OK, put(child, L"Label", _variant_t(L"child default")));
        EXPECT_EQ(S_OK, put(child, L"When", _variant_t(), CIM_DATETIME));
        EXPECT_EQ(S_OK, put(child, L"Big", _variant_t(), CIM_UINT64));
        EXPECT_EQ(S_OK, put(child, L"Values", _variant_t(), CIM_REAL64 | CIM_FLAG_ARRAY));
        EXPECT_EQ(S_OK, put(child, L"Inner", _variant_t(), CIM_OBJECT));
        EXPECT_EQ(S_OK, child->PutMethod(L"Reset", 0, nullptr, nullptr));
        derived = storeClass(child, base, location);
        derivedClass.Attach(zp::wbem::classObject(derived));
    }
};

TEST(ObjectCodec, ClassesRoundTripOverTheirParent) {
    Stored s;
    EXPECT_EQ(L"\\\\HOST\\root\\test:Child", text(get(s.derivedClass, L"__PATH")));
    EXPECT_EQ(L"Base", text(get(s.derivedClass, L"__SUPERCLASS")));
    EXPECT_EQ(L"child default", text(get(s.derivedClass, L"Label")));
    EXPECT_EQ((std::vector<std::wstring>{L"Id", L"Site"}),
              propertyNames(s.derivedClass, WBEM_FLAG_KEYS_ONLY));
    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, s.derivedClass->GetQualifierSet(&set));
    LONG flavor = 0;
    ASSERT_EQ(S_OK, set->Get(L"Note", 0, nullptr, &flavor));
    EXPECT_EQ(WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS | WBEM_FLAVOR_ORIGIN_PROPAGATED, flavor);
    EXPECT_EQ(S_OK, s.derivedClass->GetMethod(L"Reset", 0, nullptr, nullptr));
    // Deleting the override returns to the stored parent's value.
    EXPECT_EQ(WBEM_S_RESET_TO_DEFAULT, s.derivedClass->Delete(L"Label"));
    EXPECT_EQ(L"none", text(get(s.derivedClass, L"Label")));

    // A change to the parent reaches the child when the child is next read over it.
    IWbemClassObjectPtr baseClass = wrap(zp::wbem::classObject(s.base));
    EXPECT_EQ(WBEM_E_READ_ONLY, put(baseClass, L"__CLASS", _variant_t(L"Renamed")));
    ASSERT_EQ(S_OK, put(baseClass, L"Added", _variant_t(1L)));
    ClassDefPtr newBase = storeClass(baseClass, nullptr, s.location);
    std::vector<uint8_t> childBytes;
    ASSERT_EQ(S_OK,
              zp::wbem::encodeClass(*ours(wrap(zp::wbem::classObject(s.derived))), childBytes));
    ClassDefPtr newChild;
    ASSERT_EQ(S_OK, zp::wbem::decodeClass(childBytes.data(), childBytes.size(), newBase, s.location,
                                          newChild));
    IWbemClassObjectPtr reread = wrap(zp::wbem::classObject(newChild));
    EXPECT_EQ(1, get(reread, L"Added").lVal);
    EXPECT_EQ(L"child default", text(get(reread, L"Label")));
    // The stored class object was not changed by the edit of its copy.
    EXPECT_EQ(WBEM_E_NOT_FOUND,
              wrap(zp::wbem::classObject(s.base))->Get(L"Added", 0, nullptr, nullptr, nullptr));
}

TEST(ObjectCodec, InstancesRoundTripAndShareTheirClass) {
    Stored s;
    IWbemClassObjectPtr inner;
    ASSERT_EQ(S_OK, wrap(zp::wbem::classObject(s.base))->SpawnInstance(0, &inner));
    ASSERT_EQ(S_OK, put(inner, L"Id", _variant_t(3L)));
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, s.derivedClass->SpawnInstance(0, &instance));
    ASSERT_EQ(S_OK, put(instance, L"Id", _variant_t(42L)));
    ASSERT_EQ(S_OK, put(instance, L"Site", _variant_t(L"Zürich \"HQ\"")));
    ASSERT_EQ(S_OK, put(instance, L"When", _variant_t(L"20240102030405.000000+060")));
    ASSERT_EQ(S_OK, put(instance, L"Big", _variant_t(L"18446744073709551615")));
    SAFEARRAY* reals = SafeArrayCreateVector(VT_R8, 0, 2);
    static_cast<double*>(reals->pvData)[0] = -0.25;
    static_cast<double*>(reals->pvData)[1] = 1e300;
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_R8;
    array.parray = reals;
    ASSERT_EQ(S_OK, put(instance, L"Values", _variant_t(array, false)));
    ASSERT_EQ(S_OK,
              put(instance, L"Inner", _variant_t(static_cast<IUnknown*>(inner.GetInterfacePtr()))));
    ASSERT_EQ(S_OK, put(instance, L"Label", _variant_t()));
    IWbemQualifierSetPtr set;
    ASSERT_EQ(S_OK, instance->GetPropertyQualifierSet(L"Site", &set));
    _variant_t note(L"own");
    ASSERT_EQ(S_OK, set->Put(L"Note", &note, 0));

    std::vector<uint8_t> bytes;
    ASSERT_EQ(S_OK, zp::wbem::encodeInstance(*ours(instance), bytes));
    ClassObject* decoded = nullptr;
    ASSERT_EQ(S_OK, zp::wbem::decodeInstance(bytes.data(), bytes.size(), s.derived, s.location,
                                             &decoded));
    IWbemClassObjectPtr back = wrap(decoded);
    EXPECT_EQ(s.derived.get(), decoded->definition().get()); // shared, not copied
    EXPECT_EQ(WBEM_S_SAME, back->CompareTo(WBEM_FLAG_IGNORE_OBJECT_SOURCE, instance));
    EXPECT_EQ(WBEM_S_DIFFERENT, back->CompareTo(0, instance)); // one of them is stored
    EXPECT_EQ(VT_NULL, get(back, L"Label").vt);
    const std::wstring relpath = L"Child.Id=42,Site=\"Zürich \\\"HQ\\\"\"";
    EXPECT_EQ(relpath, text(get(back, L"__RELPATH")));
    EXPECT_EQ(L"\\\\HOST\\root\\test:" + relpath, text(get(back, L"__PATH")));
    _variant_t embedded = get(back, L"Inner");
    ASSERT_EQ(VT_UNKNOWN, embedded.vt);
    EXPECT_EQ(3, get(IWbemClassObjectPtr(embedded.punkVal), L"Id").lVal);

    // Every truncation and every flipped byte is refused or decoded, never a crash.
    for (size_t n = 0; n < bytes.size(); ++n) {
        ClassObject* partial = nullptr;
        EXPECT_EQ(WBEM_E_CRITICAL_ERROR,
                  zp::wbem::decodeInstance(bytes.data(), n, s.derived, nullptr, &partial))
            << n;
        std::vector<uint8_t> damaged = bytes;
        damaged[n] ^= 0xA5;
        if (SUCCEEDED(zp::wbem::decodeInstance(damaged.data(), damaged.size(), s.derived, nullptr,
                                               &partial)))
            partial->Release();
    }
    ClassDefPtr none;
    EXPECT_EQ(WBEM_E_CRITICAL_ERROR,
              zp::wbem::decodeClass(bytes.data(), bytes.size(), nullptr, nullptr, none));
}

TEST(ObjectCodec, ArraysOfEmbeddedObjectsAreCopiedAndStored) {
    Stored s;
    IWbemClassObjectPtr holderClass = newClass(L"Holder");
    ASSERT_EQ(S_OK, put(holderClass, L"Items", _variant_t(), CIM_OBJECT | CIM_FLAG_ARRAY));
    ClassDefPtr holder = storeClass(holderClass, nullptr, s.location);
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, wrap(zp::wbem::classObject(holder))->SpawnInstance(0, &instance));

    SAFEARRAY* items = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        IWbemClassObjectPtr item;
        ASSERT_EQ(S_OK, s.derivedClass->SpawnInstance(0, &item));
        ASSERT_EQ(S_OK, put(item, L"Id", _variant_t(static_cast<long>(i + 10))));
        ASSERT_EQ(S_OK, SafeArrayPutElement(items, &i, item.GetInterfacePtr()));
    }
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UNKNOWN;
    array.parray = items;
    _variant_t given(array, false);
    ASSERT_EQ(S_OK, put(instance, L"Items", given));
    // What was put is a copy: changing the caller's element changes nothing stored.
    IWbemClassObjectPtr first(static_cast<IUnknown**>(given.parray->pvData)[0]);
    ASSERT_EQ(S_OK, put(first, L"Id", _variant_t(99L)));

    std::vector<uint8_t> bytes;
    ASSERT_EQ(S_OK, zp::wbem::encodeInstance(*ours(instance), bytes));
    ClassObject* decoded = nullptr;
    ASSERT_EQ(S_OK,
              zp::wbem::decodeInstance(bytes.data(), bytes.size(), holder, s.location, &decoded));
    IWbemClassObjectPtr back = wrap(decoded);
    _variant_t value = get(back, L"Items");
    ASSERT_EQ(VT_ARRAY | VT_UNKNOWN, value.vt);
    ASSERT_EQ(2u, value.parray->rgsabound[0].cElements);
    for (LONG i = 0; i < 2; ++i) {
        IWbemClassObjectPtr item(static_cast<IUnknown**>(value.parray->pvData)[i]);
        EXPECT_EQ(i + 10, get(item, L"Id").lVal);
        EXPECT_EQ(L"Child", text(get(item, L"__CLASS")));
        EXPECT_EQ(L"Base", text(get(item, L"__SUPERCLASS")));
    }
    EXPECT_EQ(WBEM_S_SAME, back->CompareTo(WBEM_FLAG_IGNORE_OBJECT_SOURCE, instance));
}

TEST(ObjectCodec, KeysIgnoreOrderCaseAndHowNumbersAreWritten) {
    Stored s;
    IWbemClassObjectPtr instance;
    ASSERT_EQ(S_OK, s.derivedClass->SpawnInstance(0, &instance));
    std::wstring key;
    EXPECT_EQ(WBEM_E_ILLEGAL_NULL, zp::wbem::instanceKey(*ours(instance), key));
    ASSERT_EQ(S_OK, put(instance, L"Id", _variant_t(7L)));
    ASSERT_EQ(S_OK, put(instance, L"Site", _variant_t(L"North")));
    ASSERT_EQ(S_OK, zp::wbem::instanceKey(*ours(instance), key));
    EXPECT_EQ(L"ID=7,SITE=\"NORTH\"", key);

    std::wstring fromPath;
    ASSERT_EQ(S_OK, zp::wbem::keyFromBindings(
                        *s.derived, {{L"site", _variant_t(L"north")}, {L"ID", _variant_t(L"007")}},
                        fromPath));
    EXPECT_EQ(key, fromPath);
    ASSERT_EQ(S_OK,
              zp::wbem::keyFromBindings(
                  *s.derived, {{L"Id", _variant_t(short(7))}, {L"Site", _variant_t(L"NORTH")}},
                  fromPath));
    EXPECT_EQ(key, fromPath);
    // uint32 keys above 2^31 read the same however they are written.
    ASSERT_EQ(S_OK, put(instance, L"Id", _variant_t(-1L)));
    ASSERT_EQ(S_OK, zp::wbem::instanceKey(*ours(instance), key));
    ASSERT_EQ(S_OK,
              zp::wbem::keyFromBindings(
                  *s.derived, {{L"Id", _variant_t(L"4294967295")}, {L"Site", _variant_t(L"North")}},
                  fromPath));
    EXPECT_EQ(key, fromPath);

    const std::vector<std::vector<zp::wbem::KeyBinding>> bad = {
        {{L"Id", _variant_t(1L)}}, // one missing
        {{L"Id", _variant_t(1L)}, {L"Site", _variant_t(L"a")}, {L"Label", _variant_t(L"b")}},
        {{L"Id", _variant_t(1L)}, {L"Label", _variant_t(L"b")}},      // not a key
        {{L"Id", _variant_t(1L)}, {L"id", _variant_t(2L)}},           // twice
        {{L"Id", _variant_t(L"seven")}, {L"Site", _variant_t(L"a")}}, // not a number
        {{L"Id", _variant_t(L"-1")}, {L"Site", _variant_t(L"a")}},    // out of range
    };
    for (const auto& bindings : bad)
        EXPECT_EQ(WBEM_E_INVALID_OBJECT_PATH,
                  zp::wbem::keyFromBindings(*s.derived, bindings, fromPath));
}

// One instance shared by threads that read, write, copy, enumerate and count references at once.
TEST(ClassObjectThreads, OneObjectServesManyThreads) {
    Stored s;
    IWbemClassObject* instance = nullptr;
    ASSERT_EQ(S_OK, s.derivedClass->SpawnInstance(0, &instance));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                instance->AddRef();
                _variant_t value(static_cast<long>(t * 1000 + i));
                if (instance->Put(L"Id", 0, &value, 0) != S_OK)
                    ++failures;
                _variant_t read;
                if (instance->Get(L"Id", 0, &read, nullptr, nullptr) != S_OK || read.vt != VT_I4)
                    ++failures;
                IWbemClassObject* copy = nullptr;
                if (instance->Clone(&copy) != S_OK)
                    ++failures;
                else
                    copy->Release();
                SAFEARRAY* names = nullptr;
                if (instance->GetNames(nullptr, 0, nullptr, &names) != S_OK)
                    ++failures;
                SafeArrayDestroy(names);
                IWbemQualifierSet* set = nullptr;
                if (instance->GetPropertyQualifierSet(L"Site", &set) == S_OK) {
                    _variant_t note(static_cast<long>(i));
                    set->Put(L"Counter", &note, 0);
                    set->Release();
                }
                if (instance->CompareTo(0, s.derivedClass) != WBEM_S_DIFFERENT)
                    ++failures;
                instance->Release();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(0u, instance->Release());
}

} // namespace
