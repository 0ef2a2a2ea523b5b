// Class objects: what the repository, the services and the enumerators make, store and hand out
// as IWbemClassObject. Not installed.
//
//   - a new top-level class: `newClass()` (what IWbemServices::GetObject gives for an empty
//     path); the caller Puts "__CLASS", properties and qualifiers;
//   - a class read back from the store: `decodeClass(bytes, parentDefinition, location)` gives the
//     shared definition, `classObject(definition)` the object handed to the caller;
//   - an instance read back: `decodeInstance(bytes, classDefinition, location)`;
//   - what a caller hands in (PutClass, PutInstance): `ClassObject::from(pointer)`, then
//     `definition()`, `encodeClass()`, `encodeInstance()`, `instanceKey()`.
//
// The definition of an instance is its class's definition: decoding 100,000 instances of one
// class shares one ClassDef, and an instance holds only its own values.
//
// The factory, codec and key functions are exported only so that the platform's tests can make
// objects without a repository.
#pragma once

#include "classdef.h"

#include <wbemcli.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zp::wbem {

class ClassObject;

// --- Making objects -----------------------------------------------------------------------------

// An empty class: no name, no superclass, no properties; every system property null.
ZP_API ClassObject* newClass();
// A class object over a stored definition (one reference, owned by the caller). The object shares
// the definition until it is edited.
ZP_API ClassObject* classObject(ClassDefPtr definition);
// A new instance of a class (as SpawnInstance makes it): every property has the class's value.
ZP_API ClassObject* newInstance(ClassDefPtr definition);

// --- The stored form ----------------------------------------------------------------------------
// Compact and self-describing: names travel with the values, so a blob decodes against a class
// whose layout has since changed (a property no longer defined is dropped). Embedded objects
// are encoded whole, class chain included.

// What a class defines itself: its own qualifiers, its own members, and its changes to inherited
// ones (values given here, qualifiers added or overridden here). Decoding lays that over the
// parent's definition (null for a root class), so a superclass change reaches the stored
// subclasses when they are next read. WBEM_E_INVALID_PARAMETER for a class without a name.
ZP_API HRESULT encodeClass(const ClassObject& object, std::vector<uint8_t>& bytes);
// WBEM_E_CRITICAL_ERROR for bytes that are not a class this code wrote.
ZP_API HRESULT decodeClass(const uint8_t* data, size_t size, const ClassDefPtr& parent,
                           const std::shared_ptr<const Location>& location,
                           ClassDefPtr& definition);

// An instance's own values and instance qualifiers (what differs from its class).
ZP_API HRESULT encodeInstance(const ClassObject& object, std::vector<uint8_t>& bytes);
ZP_API HRESULT decodeInstance(const uint8_t* data, size_t size, const ClassDefPtr& definition,
                              const std::shared_ptr<const Location>& location,
                              ClassObject** object);

// A whole object, its class chain included, so that it reads back without a repository: how
// events travel between processes, whose classes may change or go meanwhile.
ZP_API HRESULT encodeObject(IWbemClassObject* object, std::vector<uint8_t>& bytes);
ZP_API HRESULT decodeObject(const uint8_t* data, size_t size, IWbemClassObject** object);

// --- Keys
// ----------------------------------------------------------------------------------------- The
// normalised key of an instance: its class's key properties in property-name order (names folded),
// each value in a canonical text that ignores how it was written (numbers by value, booleans as
// TRUE/FALSE, references as normalised paths), joined so that no two different keys give the same
// text. "@" for a singleton. The repository matches on this text. WBEM_E_ILLEGAL_NULL when a key
// property is null; WBEM_E_INVALID_OBJECT for a keyless class that is not a singleton (WMI refuses
// to store such instances).
ZP_API HRESULT instanceKey(const ClassObject& instance, std::wstring& key);

// The same normalised key from name/value pairs of an object path (`Class.B=2,A="x"`): each
// value is converted to its key property's type first. WBEM_E_INVALID_OBJECT_PATH when the names
// are not exactly the class's keys (none missing, none extra, none twice) or a value does not
// convert.
struct KeyBinding {
    std::wstring name;
    _variant_t value;
};
ZP_API HRESULT keyFromBindings(const ClassDef& definition, const std::vector<KeyBinding>& bindings,
                               std::wstring& key);

// The relative path WMI gives an instance (`Class.Key="v"`, `Class=@`): keys in property-name
// order, strings quoted with `\` before `"` and `\`. Shared with __RELPATH.
ZP_API HRESULT relativePath(const ClassObject& instance, std::wstring& path);

// --- The object ---------------------------------------------------------------------------------

enum class Genus : uint8_t { Class = 1, Instance = 2 };

// IWbemClassObject, free-threaded: every method takes the object's lock.
class ZP_API ClassObject final : public IWbemClassObject {
public:
    // Our object behind an interface pointer, or null for somebody else's implementation.
    static ClassObject* from(IUnknown* object);

    Genus genus() const { return m_genus; }
    // The class definition (for a class object, its own current definition, frozen: later edits
    // of the object copy it first).
    ClassDefPtr definition() const;
    // An instance's own value of property `index` (VT_EMPTY: it has the class's value).
    _variant_t instanceValue(size_t index) const;
    // Sets where a stored object lives (its __SERVER, __NAMESPACE, __PATH); the repository calls
    // it on objects it returns. Null: not stored.
    void setLocation(std::shared_ptr<const Location> location);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IWbemClassObject, in the SDK's order
    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** set) override;
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override;
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR qualifierName, LONG flags, VARIANT* qualifierValue,
                                       SAFEARRAY** names) override;
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type,
                                   LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE EndEnumeration() override;
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR property,
                                                      IWbemQualifierSet** set) override;
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override;
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG flags, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG flags, IWbemClassObject** derived) override;
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG flags, IWbemClassObject** instance) override;
    HRESULT STDMETHODCALLTYPE CompareTo(LONG flags, IWbemClassObject* other) override;
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR name, BSTR* className) override;
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR ancestor) override;
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                                        IWbemClassObject** out) override;
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR name, LONG flags, IWbemClassObject* in,
                                        IWbemClassObject* out) override;
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE NextMethod(LONG flags, BSTR* name, IWbemClassObject** in,
                                         IWbemClassObject** out) override;
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override;
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR method,
                                                    IWbemQualifierSet** set) override;
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR method, BSTR* className) override;

    ClassObject(Genus genus, ClassDefPtr definition);
    ClassObject(const ClassObject&) = delete;
    ClassObject& operator=(const ClassObject&) = delete;

private:
    friend class QualifierSet;
    friend struct ObjectAccess; // the codec and the key functions
    struct InstanceExtras {
        QualifierList qualifiers;                      // the instance's own (origin local)
        std::vector<QualifierList> propertyQualifiers; // per property, sized on first use
    };
    enum class Target : uint8_t { Object, Property, Method };

    ~ClassObject();

    // All of these expect m_lock held.
    ClassDef& editable(); // the class's own definition, copied first if shared
    bool isStoredClass() const { return m_location != nullptr; }
    const _variant_t& valueAt(size_t index) const;
    bool instanceTouched(size_t index) const; // an instance's own value or qualifiers
    HRESULT systemValue(size_t index, _variant_t& value) const;
    HRESULT relativePathLocked(std::wstring& path, bool& isNull) const;
    HRESULT getPropertyLocked(const wchar_t* name, VARIANT* value, CIMTYPE* type,
                              LONG* flavor) const;
    bool propertySelected(size_t index, LONG flags) const;
    std::vector<int> enumerationItems(LONG flags) const; // negative: system property -1-i
    ClassObject* cloneLocked() const;
    std::wstring objectTextLocked(bool flavors) const;

    // Qualifier sets work on these, under the owner's lock.
    HRESULT qualifiers(Target target, const std::wstring& name, QualifierList& list) const;
    HRESULT putQualifier(Target target, const std::wstring& name, const wchar_t* qualifier,
                         const VARIANT& value, LONG flavor);
    HRESULT deleteQualifier(Target target, const std::wstring& name, const wchar_t* qualifier);

    std::atomic<ULONG> m_refs{1};
    const Genus m_genus;
    mutable std::mutex m_lock;
    // A class object's definition; copied before an edit while anyone else shares it.
    ClassDefPtr m_definition;
    // An instance: one slot per property of its class, VT_EMPTY where it has the class's value.
    std::vector<_variant_t> m_values;
    // An instance's own qualifiers, allocated on first use.
    std::unique_ptr<InstanceExtras> m_extras;
    std::shared_ptr<const Location> m_location;
    // The property and method enumerations (one each per object, as in WMI); null: none begun.
    std::unique_ptr<std::vector<int>> m_enumeration;
    size_t m_enumPosition = 0;
    std::unique_ptr<std::vector<size_t>> m_methodEnumeration;
    size_t m_methodEnumPosition = 0;
};

} // namespace zp::wbem
