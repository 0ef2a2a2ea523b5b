// IWbemClassObject: classes and instances, their properties, qualifiers and methods.
//
// A class object owns a ClassDef that it shares with whoever asked for it (its instances, its
// clones, the repository's cache) and copies before it changes it. An instance holds its class's
// definition and only the values and qualifiers it set itself; everything else reads through to
// the class, which is how Get reports WBEM_FLAVOR_ORIGIN_PROPAGATED for an untouched property.
#include "object.h"

#include "qualifierset.h"
#include "values.h"

#include "../com/classes.h"

#include <algorithm>

namespace zp::wbem {

namespace {

// The system properties, in the order WMI lists them.
struct SystemProperty {
    const wchar_t* name;
    CIMTYPE type;
};
constexpr SystemProperty kSystem[] = {
    {L"__GENUS", CIM_SINT32},
    {L"__CLASS", CIM_STRING},
    {L"__SUPERCLASS", CIM_STRING},
    {L"__DYNASTY", CIM_STRING},
    {L"__RELPATH", CIM_STRING},
    {L"__PROPERTY_COUNT", CIM_SINT32},
    {L"__DERIVATION", CIM_STRING | CIM_FLAG_ARRAY},
    {L"__SERVER", CIM_STRING},
    {L"__NAMESPACE", CIM_STRING},
    {L"__PATH", CIM_STRING},
};
constexpr size_t kSystemCount = sizeof(kSystem) / sizeof(kSystem[0]);
enum SystemIndex {
    Genus_,
    Class_,
    Superclass_,
    Dynasty_,
    Relpath_,
    Count_,
    Derivation_,
    Server_,
    Namespace_,
    Path_
};

// What GetPropertyOrigin and GetMethodOrigin name for the system properties.
constexpr const wchar_t* kSystemOrigin = L"___SYSTEM";

int systemIndex(const wchar_t* name) {
    if (name[0] != L'_' || name[1] != L'_')
        return -1;
    for (size_t i = 0; i < kSystemCount; ++i)
        if (sameName(std::wstring(kSystem[i].name), name))
            return static_cast<int>(i);
    return -1;
}

bool isSystemName(const wchar_t* name) {
    return name[0] == L'_' && name[1] == L'_';
}

// Names users may give properties, methods and qualifiers: not empty, and no leading or trailing
// underscore, which are the system's.
bool isUserName(const wchar_t* name) {
    const size_t length = wcslen(name);
    return length > 0 && name[0] != L'_' && name[length - 1] != L'_';
}

HRESULT newBstr(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : WBEM_E_OUT_OF_MEMORY;
}

void setText(_variant_t& value, const std::wstring& text) {
    value.Clear();
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b)
        _com_issue_error(E_OUTOFMEMORY);
    value.vt = VT_BSTR;
    value.bstrVal = b;
}

void setNull(_variant_t& value) {
    value.Clear();
    value.vt = VT_NULL;
}

SAFEARRAY* textArray(const std::vector<std::wstring>& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (!array)
        return nullptr;
    BSTR* slots = static_cast<BSTR*>(array->pvData);
    for (size_t i = 0; i < texts.size(); ++i) {
        slots[i] = SysAllocStringLen(texts[i].data(), static_cast<UINT>(texts[i].size()));
        if (!slots[i]) {
            SafeArrayDestroy(array);
            return nullptr;
        }
    }
    return array;
}

// The frame most calls share: arguments the caller got wrong are refused before anything else,
// the body runs under the object's lock, and an allocation that fails inside it (thrown as
// _com_error) comes back as the call's status.
template <class Body>
HRESULT lockedCall(std::mutex& lock, bool argumentsValid, Body&& body) {
    if (!argumentsValid)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(lock);
    try {
        return body();
    } catch (const _com_error& error) {
        return error.Error();
    }
}

// The flavor bits a caller may give a qualifier (origin bits are ours and are ignored).
constexpr LONG kQualifierFlavorBits =
    WBEM_FLAVOR_MASK_PROPAGATION | WBEM_FLAVOR_MASK_PERMISSIONS | WBEM_FLAVOR_MASK_AMENDED;

// Qualifiers whose meaning the object model fixes: `key` always reaches instances and derived
// classes and cannot be overridden.
LONG effectiveFlavor(const wchar_t* name, LONG flavor) {
    if (sameName(std::wstring(L"key"), name))
        return WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE |
               WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS | WBEM_FLAVOR_NOT_OVERRIDABLE;
    return flavor & kQualifierFlavorBits;
}

// The CIMTYPE qualifier WMI gives every property: the type's name, or `ref:Class`/`object:Class`.
Qualifier cimTypeQualifier(CIMTYPE type) {
    Qualifier q;
    q.name = L"CIMTYPE";
    q.value = cimTypeName(type);
    q.flavor = WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE | WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS;
    return q;
}

// Lays `local` over `base`: same names replaced in place, new ones appended.
QualifierList overlay(QualifierList base, const QualifierList& local) {
    for (const Qualifier& q : local) {
        const int at = findQualifier(base, q.name.c_str());
        if (at >= 0)
            base[static_cast<size_t>(at)] = q;
        else
            base.push_back(q);
    }
    return base;
}

bool canBeKey(CIMTYPE type) {
    return !(type & CIM_FLAG_ARRAY) && type != CIM_OBJECT && type != CIM_REAL32 &&
           type != CIM_REAL64;
}

} // namespace

// --- Construction -------------------------------------------------------------------------------

ClassObject::ClassObject(Genus genus, ClassDefPtr definition)
    : m_genus(genus), m_definition(std::move(definition)) {
    if (m_genus == Genus::Instance)
        m_values.resize(m_definition->properties.size());
    else
        m_location = m_definition->location;
}

ClassObject::~ClassObject() = default;

ClassObject* ClassObject::from(IUnknown* object) {
    return object ? dynamic_cast<ClassObject*>(object) : nullptr;
}

ClassObject* newClass() {
    return new ClassObject(Genus::Class, std::make_shared<ClassDef>());
}

namespace {

// CoCreateInstance of CLSID_WbemClassObject gives an empty class, as GetObject with no path does.
HRESULT createClassObject(REFIID riid, void** object) {
    ClassObject* created = newClass();
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

const zp::com::ClassRegistration registration{CLSID_WbemClassObject, &createClassObject};

} // namespace

ClassObject* classObject(ClassDefPtr definition) {
    return new ClassObject(Genus::Class, std::move(definition));
}

ClassObject* newInstance(ClassDefPtr definition) {
    return new ClassObject(Genus::Instance, std::move(definition));
}

ClassDefPtr ClassObject::definition() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_definition;
}

_variant_t ClassObject::instanceValue(size_t index) const {
    std::lock_guard<std::mutex> hold(m_lock);
    return index < m_values.size() ? m_values[index] : _variant_t();
}

void ClassObject::setLocation(std::shared_ptr<const Location> location) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_location = std::move(location);
}

ClassDef& ClassObject::editable() {
    if (m_definition.use_count() > 1)
        m_definition = std::make_shared<ClassDef>(*m_definition);
    // Made by this module with make_shared<ClassDef> and now held only here.
    return const_cast<ClassDef&>(*m_definition);
}

const _variant_t& ClassObject::valueAt(size_t index) const {
    if (m_genus == Genus::Instance && m_values[index].vt != VT_EMPTY)
        return m_values[index];
    return m_definition->properties[index].value;
}

bool ClassObject::instanceTouched(size_t index) const {
    if (m_values[index].vt != VT_EMPTY)
        return true;
    return m_extras && index < m_extras->propertyQualifiers.size() &&
           !m_extras->propertyQualifiers[index].empty();
}

// --- IUnknown -----------------------------------------------------------------------------------

HRESULT ClassObject::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemClassObject) {
        *object = static_cast<IWbemClassObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassObject::AddRef() {
    return m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG ClassObject::Release() {
    const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

// --- System properties --------------------------------------------------------------------------

HRESULT ClassObject::relativePathLocked(std::wstring& path, bool& isNull) const {
    const ClassDef& def = *m_definition;
    isNull = def.name.empty();
    if (isNull)
        return S_OK;
    if (m_genus == Genus::Class) {
        path = def.name;
        return S_OK;
    }
    if (def.keys.empty()) {
        isNull = !def.isSingleton;
        if (!isNull)
            path = def.name + L"=@";
        return S_OK;
    }
    std::vector<uint32_t> order = def.keys;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return foldName(def.properties[a].name) < foldName(def.properties[b].name);
    });
    path = def.name;
    wchar_t separator = L'.';
    for (uint32_t index : order) {
        const _variant_t& value = valueAt(index);
        if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
            isNull = true;
            return S_OK;
        }
        path += separator;
        path += def.properties[index].name;
        path += L'=';
        path += keyValueText(value, def.properties[index].type, false);
        separator = L',';
    }
    return S_OK;
}

HRESULT ClassObject::systemValue(size_t index, _variant_t& value) const {
    const ClassDef& def = *m_definition;
    setNull(value);
    switch (index) {
    case Genus_:
        value.vt = VT_I4;
        value.lVal = m_genus == Genus::Class ? WBEM_GENUS_CLASS : WBEM_GENUS_INSTANCE;
        break;
    case Class_:
        if (!def.name.empty())
            setText(value, def.name);
        break;
    case Superclass_:
        if (!def.derivation.empty())
            setText(value, def.superclass());
        break;
    case Dynasty_:
        if (!def.dynasty().empty())
            setText(value, def.dynasty());
        break;
    case Relpath_: {
        std::wstring path;
        bool isNull = true;
        relativePathLocked(path, isNull);
        if (!isNull)
            setText(value, path);
        break;
    }
    case Count_:
        value.vt = VT_I4;
        value.lVal = static_cast<LONG>(def.properties.size());
        break;
    case Derivation_: {
        SAFEARRAY* array = textArray(def.derivation);
        if (!array)
            return WBEM_E_OUT_OF_MEMORY;
        value.vt = VT_ARRAY | VT_BSTR;
        value.parray = array;
        break;
    }
    case Server_:
        if (m_location)
            setText(value, m_location->server);
        break;
    case Namespace_:
        if (m_location)
            setText(value, m_location->nameSpace);
        break;
    case Path_: {
        std::wstring path;
        bool isNull = true;
        relativePathLocked(path, isNull);
        if (m_location && !isNull)
            setText(value,
                    L"\\\\" + m_location->server + L"\\" + m_location->nameSpace + L":" + path);
        break;
    }
    default:
        return WBEM_E_NOT_FOUND;
    }
    return S_OK;
}

// --- Properties ---------------------------------------------------------------------------------

HRESULT ClassObject::getPropertyLocked(const wchar_t* name, VARIANT* value, CIMTYPE* type,
                                       LONG* flavor) const {
    const int system = systemIndex(name);
    if (system >= 0) {
        if (value) {
            _variant_t v;
            const HRESULT hr = systemValue(static_cast<size_t>(system), v);
            if (FAILED(hr))
                return hr;
            *value = v.Detach();
        }
        if (type)
            *type = kSystem[system].type;
        if (flavor)
            *flavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
        return S_OK;
    }
    const int index = m_definition->findProperty(name);
    if (index < 0)
        return WBEM_E_NOT_FOUND;
    const size_t i = static_cast<size_t>(index);
    const Property& p = m_definition->properties[i];
    if (value) {
        VARIANT copy;
        VariantInit(&copy);
        const HRESULT hr = VariantCopy(&copy, const_cast<_variant_t*>(&valueAt(i)));
        if (FAILED(hr))
            return WBEM_E_OUT_OF_MEMORY;
        *value = copy;
    }
    if (type)
        *type = p.type;
    if (flavor) {
        const bool local =
            m_genus == Genus::Class ? p.origin == m_definition->depth() : instanceTouched(i);
        *flavor = local ? WBEM_FLAVOR_ORIGIN_LOCAL : WBEM_FLAVOR_ORIGIN_PROPAGATED;
    }
    return S_OK;
}

HRESULT ClassObject::Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type, LONG* flavor) {
    return lockedCall(m_lock, name && flags == 0,
                      [&]() -> HRESULT { return getPropertyLocked(name, value, type, flavor); });
}

HRESULT ClassObject::Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) {
    if (!name || !name[0] || flags != 0)
        return WBEM_E_INVALID_PARAMETER;
    VARIANT nullValue;
    VariantInit(&nullValue);
    nullValue.vt = VT_NULL;
    const VARIANT* source = value ? value : &nullValue;
    // Embedded objects are copied before the lock is taken: an object put into itself would
    // otherwise be cloned under its own lock.
    _variant_t objects;
    if (value && (value->vt & ~VT_ARRAY) == VT_UNKNOWN) {
        const HRESULT hr = coerceValue(
            *value, (value->vt & VT_ARRAY) ? CIM_OBJECT | CIM_FLAG_ARRAY : CIM_OBJECT, objects);
        if (FAILED(hr))
            return hr;
        source = &objects;
    }
    const VARIANT& given = *source;
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        const int system = systemIndex(name);
        if (system >= 0) {
            // Only a class that is still being made may be named.
            if (system != Class_ || m_genus != Genus::Class || isStoredClass())
                return WBEM_E_READ_ONLY;
            if (type != 0 && type != CIM_STRING)
                return WBEM_E_TYPE_MISMATCH;
            if (given.vt != VT_BSTR)
                return given.vt == VT_NULL || given.vt == VT_EMPTY ? WBEM_E_INVALID_PARAMETER
                                                                   : WBEM_E_TYPE_MISMATCH;
            if (SysStringLen(given.bstrVal) == 0)
                return WBEM_E_INVALID_PARAMETER;
            editable().name.assign(given.bstrVal, SysStringLen(given.bstrVal));
            return S_OK;
        }
        if (isSystemName(name))
            return m_genus == Genus::Class ? WBEM_E_INVALID_PARAMETER : WBEM_E_NOT_FOUND;

        const int index = m_definition->findProperty(name);
        if (m_genus == Genus::Instance) {
            if (index < 0)
                return WBEM_E_NOT_FOUND;
            const size_t i = static_cast<size_t>(index);
            const CIMTYPE own = m_definition->properties[i].type;
            if (type != 0 && type != own)
                return WBEM_E_TYPE_MISMATCH;
            _variant_t converted;
            const HRESULT hr = coerceValue(given, own, converted);
            if (FAILED(hr))
                return hr;
            VARIANT raw = converted.Detach();
            m_values[i].Attach(raw);
            return S_OK;
        }

        if (index >= 0) {
            const size_t i = static_cast<size_t>(index);
            const Property& current = m_definition->properties[i];
            const bool inherited = current.origin < m_definition->depth();
            CIMTYPE target = current.type;
            if (type != 0 && type != current.type) {
                if (inherited)
                    return WBEM_E_TYPE_MISMATCH;
                if (!isValidCimType(type))
                    return WBEM_E_INVALID_PROPERTY_TYPE;
                target = type;
            }
            _variant_t converted;
            const HRESULT hr = coerceValue(given, target, converted);
            if (FAILED(hr))
                return hr;
            ClassDef& def = editable();
            Property& p = def.properties[i];
            if (target != p.type) {
                p.type = target;
                const int at = findQualifier(p.qualifiers, L"CIMTYPE");
                if (at >= 0)
                    p.qualifiers[static_cast<size_t>(at)] = cimTypeQualifier(target);
                if (!canBeKey(target) && hasTrueQualifier(p.qualifiers, L"key"))
                    return WBEM_E_CANNOT_BE_KEY;
            }
            VARIANT raw = converted.Detach();
            p.value.Attach(raw);
            if (inherited)
                p.ownValue = true;
            def.finish();
            return S_OK;
        }

        if (!isUserName(name))
            return WBEM_E_INVALID_PARAMETER;
        CIMTYPE target = type;
        if (target == 0) {
            if (given.vt == VT_NULL || given.vt == VT_EMPTY)
                return WBEM_E_INVALID_PARAMETER;
            target = cimTypeOfVariant(given.vt);
            if (target == -1)
                return WBEM_E_TYPE_MISMATCH;
        } else if (!isValidCimType(target)) {
            return WBEM_E_INVALID_PROPERTY_TYPE;
        }
        _variant_t converted;
        const HRESULT hr = coerceValue(given, target, converted);
        if (FAILED(hr))
            return hr;
        ClassDef& def = editable();
        Property p;
        p.name = name;
        p.type = target;
        VARIANT raw = converted.Detach();
        p.value.Attach(raw);
        p.qualifiers.push_back(cimTypeQualifier(target));
        p.origin = def.depth();
        def.properties.push_back(std::move(p));
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT ClassObject::Delete(LPCWSTR name) {
    return lockedCall(m_lock, name, [&]() -> HRESULT {
        if (systemIndex(name) >= 0)
            return WBEM_E_SYSTEM_PROPERTY;
        const int index = m_definition->findProperty(name);
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        const size_t i = static_cast<size_t>(index);
        if (m_genus == Genus::Instance) {
            m_values[i].Clear();
            if (m_extras && i < m_extras->propertyQualifiers.size())
                m_extras->propertyQualifiers[i].clear();
            return S_OK;
        }
        const Property& current = m_definition->properties[i];
        if (current.origin == m_definition->depth()) {
            ClassDef& def = editable();
            def.properties.erase(def.properties.begin() + index);
            def.finish();
            return S_OK;
        }
        // An inherited property: only this class's changes to it can go.
        const bool hasLocalQualifiers =
            std::any_of(current.qualifiers.begin(), current.qualifiers.end(), [](const auto& q) {
                return (q.flavor & WBEM_FLAVOR_MASK_ORIGIN) == WBEM_FLAVOR_ORIGIN_LOCAL;
            });
        if (!current.ownValue && !hasLocalQualifiers)
            return WBEM_E_PROPAGATED_PROPERTY;
        const ClassDefPtr parent = m_definition->parent;
        const int inParent = parent ? parent->findProperty(name) : -1;
        ClassDef& def = editable();
        Property& p = def.properties[i];
        if (inParent >= 0) {
            const Property& base = parent->properties[static_cast<size_t>(inParent)];
            p.value = base.value;
            p.qualifiers = propagatedQualifiers(base.qualifiers, false);
        }
        p.ownValue = false;
        def.finish();
        return WBEM_S_RESET_TO_DEFAULT;
    });
}

bool ClassObject::propertySelected(size_t index, LONG flags) const {
    const ClassDef& def = *m_definition;
    const Property& p = def.properties[index];
    const bool local = p.origin == def.depth();
    switch (flags & WBEM_MASK_CONDITION_ORIGIN) {
    case WBEM_FLAG_LOCAL_ONLY:
        if (!local)
            return false;
        break;
    case WBEM_FLAG_PROPAGATED_ONLY:
        if (local)
            return false;
        break;
    case WBEM_FLAG_SYSTEM_ONLY:
        return false;
    default:
        break;
    }
    if ((flags & WBEM_FLAG_KEYS_ONLY) && !hasTrueQualifier(p.qualifiers, L"key"))
        return false;
    if ((flags & WBEM_FLAG_REFS_ONLY) && p.type != CIM_REFERENCE)
        return false;
    if (m_genus == Genus::Class && (flags & WBEM_MASK_CLASS_CONDITION)) {
        const bool overridden =
            !local &&
            (p.ownValue ||
             std::any_of(p.qualifiers.begin(), p.qualifiers.end(), [](const Qualifier& q) {
                 return !(q.flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED);
             }));
        if ((flags & WBEM_FLAG_CLASS_OVERRIDES_ONLY) && !overridden)
            return false;
        if ((flags & WBEM_FLAG_CLASS_LOCAL_AND_OVERRIDES) && !overridden && !local)
            return false;
    }
    return true;
}

namespace {

bool validOriginFlags(LONG flags) {
    switch (flags & WBEM_MASK_CONDITION_ORIGIN) {
    case 0:
    case WBEM_FLAG_LOCAL_ONLY:
    case WBEM_FLAG_PROPAGATED_ONLY:
    case WBEM_FLAG_SYSTEM_ONLY:
    case WBEM_FLAG_NONSYSTEM_ONLY:
        break;
    default:
        return false;
    }
    return (flags & WBEM_MASK_CLASS_CONDITION) != WBEM_MASK_CLASS_CONDITION;
}

bool systemSelected(LONG flags) {
    const LONG origin = flags & WBEM_MASK_CONDITION_ORIGIN;
    if (origin != 0 && origin != WBEM_FLAG_SYSTEM_ONLY)
        return false;
    return !(flags & (WBEM_FLAG_KEYS_ONLY | WBEM_FLAG_REFS_ONLY | WBEM_MASK_CLASS_CONDITION));
}

} // namespace

std::vector<int> ClassObject::enumerationItems(LONG flags) const {
    std::vector<int> items;
    if (systemSelected(flags))
        for (size_t i = 0; i < kSystemCount; ++i)
            items.push_back(-1 - static_cast<int>(i));
    for (size_t i = 0; i < m_definition->properties.size(); ++i)
        if (propertySelected(i, flags))
            items.push_back(static_cast<int>(i));
    return items;
}

HRESULT ClassObject::GetNames(LPCWSTR qualifierName, LONG flags, VARIANT* qualifierValue,
                              SAFEARRAY** names) {
    constexpr LONG known = WBEM_MASK_PRIMARY_CONDITION | WBEM_FLAG_KEYS_ONLY | WBEM_FLAG_REFS_ONLY |
                           WBEM_MASK_CONDITION_ORIGIN | WBEM_MASK_CLASS_CONDITION;
    if (!names || (flags & ~known) || !validOriginFlags(flags))
        return WBEM_E_INVALID_PARAMETER;
    const LONG condition = flags & WBEM_MASK_PRIMARY_CONDITION;
    if (condition != WBEM_FLAG_ALWAYS && !qualifierName)
        return WBEM_E_INVALID_PARAMETER;
    if (condition == WBEM_FLAG_ONLY_IF_IDENTICAL && !qualifierValue)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        std::vector<std::wstring> result;
        for (int item : enumerationItems(flags & ~WBEM_MASK_PRIMARY_CONDITION)) {
            if (item < 0) {
                // System properties have no qualifiers.
                if (condition == WBEM_FLAG_ALWAYS || condition == WBEM_FLAG_ONLY_IF_FALSE)
                    result.emplace_back(kSystem[-1 - item].name);
                continue;
            }
            const std::wstring& name = m_definition->properties[static_cast<size_t>(item)].name;
            if (condition != WBEM_FLAG_ALWAYS) {
                QualifierList list;
                qualifiers(Target::Property, name, list);
                const int at = findQualifier(list, qualifierName);
                bool keep = at >= 0;
                if (condition == WBEM_FLAG_ONLY_IF_FALSE)
                    keep = !keep;
                else if (condition == WBEM_FLAG_ONLY_IF_IDENTICAL && keep)
                    keep = sameValue(list[static_cast<size_t>(at)].value, *qualifierValue);
                if (!keep)
                    continue;
            }
            result.push_back(name);
        }
        SAFEARRAY* array = textArray(result);
        if (!array)
            return WBEM_E_OUT_OF_MEMORY;
        *names = array;
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT ClassObject::BeginEnumeration(LONG flags) {
    constexpr LONG known = WBEM_FLAG_KEYS_ONLY | WBEM_FLAG_REFS_ONLY | WBEM_MASK_CONDITION_ORIGIN |
                           WBEM_MASK_CLASS_CONDITION;
    return lockedCall(m_lock, !(flags & ~known) && validOriginFlags(flags), [&]() -> HRESULT {
        m_enumeration = std::make_unique<std::vector<int>>(enumerationItems(flags));
        m_enumPosition = 0;
        return S_OK;
    });
}

HRESULT ClassObject::Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type, LONG* flavor) {
    return lockedCall(m_lock, flags == 0, [&]() -> HRESULT {
        if (!m_enumeration)
            return WBEM_E_UNEXPECTED;
        while (m_enumPosition < m_enumeration->size()) {
            const int item = (*m_enumeration)[m_enumPosition++];
            std::wstring itemName;
            if (item < 0)
                itemName = kSystem[-1 - item].name;
            else if (static_cast<size_t>(item) < m_definition->properties.size())
                itemName = m_definition->properties[static_cast<size_t>(item)].name;
            else
                continue; // deleted since the enumeration began
            BSTR text = nullptr;
            if (name && FAILED(newBstr(itemName, &text)))
                return WBEM_E_OUT_OF_MEMORY;
            const HRESULT hr = getPropertyLocked(itemName.c_str(), value, type, flavor);
            if (FAILED(hr)) {
                SysFreeString(text);
                return hr;
            }
            if (name)
                *name = text;
            return S_OK;
        }
        return WBEM_S_NO_MORE_DATA;
    });
}

HRESULT ClassObject::EndEnumeration() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_enumeration.reset();
    m_enumPosition = 0;
    return S_OK;
}

// --- Qualifiers
// -----------------------------------------------------------------------------------

const QualifierList* ClassObject::ownQualifiers(Target target, const std::wstring& name) const {
    const ClassDef& def = *m_definition;
    switch (target) {
    case Target::Object:
        return &def.qualifiers;
    case Target::Property: {
        const int index = def.findProperty(name.c_str());
        return index < 0 ? nullptr : &def.properties[static_cast<size_t>(index)].qualifiers;
    }
    case Target::Method: {
        const int index = def.findMethod(name.c_str());
        return index < 0 ? nullptr : &def.methods[static_cast<size_t>(index)].qualifiers;
    }
    }
    return nullptr;
}

HRESULT ClassObject::qualifiers(Target target, const std::wstring& name,
                                QualifierList& list) const {
    const ClassDef& def = *m_definition;
    const QualifierList* source = nullptr;
    int index = -1;
    switch (target) {
    case Target::Object:
        source = &def.qualifiers;
        break;
    case Target::Property:
        index = def.findProperty(name.c_str());
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        source = &def.properties[static_cast<size_t>(index)].qualifiers;
        break;
    case Target::Method:
        index = def.findMethod(name.c_str());
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        source = &def.methods[static_cast<size_t>(index)].qualifiers;
        break;
    }
    if (m_genus == Genus::Class) {
        list = *source;
        return S_OK;
    }
    list = propagatedQualifiers(*source, true);
    if (m_extras) {
        if (target == Target::Object)
            list = overlay(std::move(list), m_extras->qualifiers);
        else if (target == Target::Property &&
                 static_cast<size_t>(index) < m_extras->propertyQualifiers.size())
            list =
                overlay(std::move(list), m_extras->propertyQualifiers[static_cast<size_t>(index)]);
    }
    return S_OK;
}

HRESULT ClassObject::putQualifier(Target target, const std::wstring& name, const wchar_t* qualifier,
                                  const VARIANT& value, LONG flavor) {
    if (!isQualifierVariant(value))
        return WBEM_E_INVALID_QUALIFIER_TYPE;
    if (flavor & ~(kQualifierFlavorBits | WBEM_FLAVOR_MASK_ORIGIN))
        return WBEM_E_INVALID_FLAVOR;
    const bool isKey = sameName(std::wstring(L"key"), qualifier);
    // A class's own list is read in place; an instance's is what its class propagates with its
    // own laid over, made for the occasion.
    QualifierList made;
    const QualifierList* current = nullptr;
    if (m_genus == Genus::Class) {
        current = ownQualifiers(target, name);
        if (!current)
            return WBEM_E_NOT_FOUND;
    } else {
        const HRESULT hr = qualifiers(target, name, made);
        if (FAILED(hr))
            return hr;
        current = &made;
    }
    if (isKey) {
        if (target != Target::Property)
            return WBEM_E_CANNOT_BE_KEY;
        const int index = m_definition->findProperty(name.c_str());
        if (!canBeKey(m_definition->properties[static_cast<size_t>(index)].type))
            return WBEM_E_CANNOT_BE_KEY;
    }
    Qualifier q;
    q.name = qualifier;
    q.value = value;
    q.flavor = effectiveFlavor(qualifier, flavor) | WBEM_FLAVOR_ORIGIN_LOCAL;
    const int existing = findQualifier(*current, qualifier);
    if (existing >= 0) {
        const Qualifier& old = (*current)[static_cast<size_t>(existing)];
        if ((old.flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED) &&
            (old.flavor & WBEM_FLAVOR_NOT_OVERRIDABLE)) {
            // Writing the value it already has changes nothing and is allowed.
            if (!sameValue(old.value, q.value))
                return WBEM_E_OVERRIDE_NOT_ALLOWED;
            return S_OK;
        }
        q.name = old.name; // the case it was created with
    }
    if (m_genus == Genus::Class) {
        ClassDef& def = editable();
        QualifierList* list = &def.qualifiers;
        if (target == Target::Property)
            list = &def.properties[static_cast<size_t>(def.findProperty(name.c_str()))].qualifiers;
        else if (target == Target::Method)
            list = &def.methods[static_cast<size_t>(def.findMethod(name.c_str()))].qualifiers;
        const int at = findQualifier(*list, qualifier);
        if (at >= 0)
            (*list)[static_cast<size_t>(at)] = std::move(q);
        else
            list->push_back(std::move(q));
        if (shapesClass(qualifier))
            def.finish();
        return S_OK;
    }
    if (target == Target::Method)
        return WBEM_E_ILLEGAL_OPERATION;
    if (!m_extras)
        m_extras = std::make_unique<InstanceExtras>();
    QualifierList* list = &m_extras->qualifiers;
    if (target == Target::Property) {
        const size_t index = static_cast<size_t>(m_definition->findProperty(name.c_str()));
        if (m_extras->propertyQualifiers.size() <= index)
            m_extras->propertyQualifiers.resize(m_definition->properties.size());
        list = &m_extras->propertyQualifiers[index];
    }
    const int at = findQualifier(*list, qualifier);
    if (at >= 0)
        (*list)[static_cast<size_t>(at)] = std::move(q);
    else
        list->push_back(std::move(q));
    return S_OK;
}

HRESULT ClassObject::deleteQualifier(Target target, const std::wstring& name,
                                     const wchar_t* qualifier) {
    QualifierList current;
    HRESULT hr = qualifiers(target, name, current);
    if (FAILED(hr))
        return hr;
    const int existing = findQualifier(current, qualifier);
    if (existing < 0)
        return WBEM_E_NOT_FOUND;
    if (current[static_cast<size_t>(existing)].flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED)
        return WBEM_E_PROPAGATED_QUALIFIER;

    if (m_genus == Genus::Instance) {
        // The instance's own qualifier goes; one of the class's shows through again.
        QualifierList* list = &m_extras->qualifiers;
        QualifierList fromClass;
        if (target == Target::Property) {
            const size_t index = static_cast<size_t>(m_definition->findProperty(name.c_str()));
            list = &m_extras->propertyQualifiers[index];
            fromClass = propagatedQualifiers(m_definition->properties[index].qualifiers, true);
        } else {
            fromClass = propagatedQualifiers(m_definition->qualifiers, true);
        }
        const int at = findQualifier(*list, qualifier);
        list->erase(list->begin() + at);
        return findQualifier(fromClass, qualifier) >= 0 ? WBEM_S_RESET_TO_DEFAULT : S_OK;
    }

    // A class's own qualifier goes; if it overrode its superclass's, that one shows through.
    const ClassDefPtr parent = m_definition->parent;
    QualifierList fromParent;
    if (parent) {
        if (target == Target::Object) {
            fromParent = propagatedQualifiers(parent->qualifiers, false);
        } else if (target == Target::Property) {
            const int at = parent->findProperty(name.c_str());
            if (at >= 0)
                fromParent = propagatedQualifiers(
                    parent->properties[static_cast<size_t>(at)].qualifiers, false);
        } else {
            const int at = parent->findMethod(name.c_str());
            if (at >= 0)
                fromParent = propagatedQualifiers(
                    parent->methods[static_cast<size_t>(at)].qualifiers, false);
        }
    }
    ClassDef& def = editable();
    QualifierList* list = &def.qualifiers;
    if (target == Target::Property)
        list = &def.properties[static_cast<size_t>(def.findProperty(name.c_str()))].qualifiers;
    else if (target == Target::Method)
        list = &def.methods[static_cast<size_t>(def.findMethod(name.c_str()))].qualifiers;
    const int at = findQualifier(*list, qualifier);
    const int inherited = findQualifier(fromParent, qualifier);
    if (inherited >= 0) {
        (*list)[static_cast<size_t>(at)] = fromParent[static_cast<size_t>(inherited)];
        def.finish();
        return WBEM_S_RESET_TO_DEFAULT;
    }
    list->erase(list->begin() + at);
    def.finish();
    return S_OK;
}

HRESULT ClassObject::GetQualifierSet(IWbemQualifierSet** set) {
    if (!set)
        return WBEM_E_INVALID_PARAMETER;
    *set = new QualifierSet(this, Target::Object, std::wstring());
    return S_OK;
}

HRESULT ClassObject::GetPropertyQualifierSet(LPCWSTR property, IWbemQualifierSet** set) {
    if (!property || !set)
        return WBEM_E_INVALID_PARAMETER;
    if (systemIndex(property) >= 0)
        return WBEM_E_SYSTEM_PROPERTY;
    std::lock_guard<std::mutex> hold(m_lock);
    const int index = m_definition->findProperty(property);
    if (index < 0)
        return WBEM_E_NOT_FOUND;
    *set = new QualifierSet(this, Target::Property,
                            m_definition->properties[static_cast<size_t>(index)].name);
    return S_OK;
}

// --- Copies and derivation
// ------------------------------------------------------------------------

ClassObject* ClassObject::cloneLocked() const {
    auto* copy = new ClassObject(m_genus, m_definition);
    copy->m_location = m_location;
    if (m_genus == Genus::Instance) {
        try {
            for (size_t i = 0; i < m_values.size(); ++i) {
                const _variant_t& v = m_values[i];
                if (v.vt == VT_UNKNOWN && v.punkVal) {
                    // An embedded object is part of its owner: the copy gets its own.
                    _variant_t cloned;
                    if (FAILED(coerceValue(v, CIM_OBJECT, cloned)))
                        continue;
                    VARIANT raw = cloned.Detach();
                    copy->m_values[i].Attach(raw);
                } else {
                    copy->m_values[i] = v;
                }
            }
            if (m_extras)
                copy->m_extras = std::make_unique<InstanceExtras>(*m_extras);
        } catch (...) {
            copy->Release();
            throw;
        }
    }
    return copy;
}

HRESULT ClassObject::Clone(IWbemClassObject** copy) {
    return lockedCall(m_lock, copy, [&]() -> HRESULT {
        *copy = cloneLocked();
        return S_OK;
    });
}

HRESULT ClassObject::SpawnDerivedClass(LONG flags, IWbemClassObject** derived) {
    return lockedCall(m_lock, flags == 0 && derived, [&]() -> HRESULT {
        if (m_genus != Genus::Class)
            return WBEM_E_INVALID_OPERATION;
        if (m_definition->name.empty())
            return WBEM_E_INCOMPLETE_CLASS;
        *derived = new ClassObject(Genus::Class, deriveClass(m_definition));
        return S_OK;
    });
}

HRESULT ClassObject::SpawnInstance(LONG flags, IWbemClassObject** instance) {
    if (flags != 0 || !instance)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_definition->name.empty())
        return WBEM_E_INCOMPLETE_CLASS;
    *instance = new ClassObject(Genus::Instance, m_definition);
    return S_OK;
}

// --- Comparison and ancestry
// ----------------------------------------------------------------------

namespace {

bool sameQualifiers(const QualifierList& a, const QualifierList& b, LONG flags) {
    if (a.size() != b.size())
        return false;
    const bool ignoreCase = flags & WBEM_FLAG_IGNORE_CASE;
    for (const Qualifier& q : a) {
        const int at = findQualifier(b, q.name.c_str());
        if (at < 0)
            return false;
        const Qualifier& other = b[static_cast<size_t>(at)];
        if (!sameValue(q.value, other.value, ignoreCase))
            return false;
        if (!(flags & WBEM_FLAG_IGNORE_FLAVOR) && q.flavor != other.flavor)
            return false;
    }
    return true;
}

} // namespace

HRESULT ClassObject::CompareTo(LONG flags, IWbemClassObject* other) {
    constexpr LONG known = WBEM_FLAG_IGNORE_QUALIFIERS | WBEM_FLAG_IGNORE_OBJECT_SOURCE |
                           WBEM_FLAG_IGNORE_DEFAULT_VALUES | WBEM_FLAG_IGNORE_CLASS |
                           WBEM_FLAG_IGNORE_CASE | WBEM_FLAG_IGNORE_FLAVOR;
    if (!other || (flags & ~known))
        return WBEM_E_INVALID_PARAMETER;
    ClassObject* that = from(other);
    if (!that)
        return WBEM_S_DIFFERENT;
    if (that == this)
        return WBEM_S_SAME;
    // Both locks, in one order, so that two threads comparing a pair both ways cannot deadlock.
    std::unique_lock<std::mutex> first(this < that ? m_lock : that->m_lock);
    std::unique_lock<std::mutex> second(this < that ? that->m_lock : m_lock);
    try {
        if (m_genus != that->m_genus)
            return WBEM_S_DIFFERENT;
        const ClassDef& a = *m_definition;
        const ClassDef& b = *that->m_definition;
        const bool ignoreCase = flags & WBEM_FLAG_IGNORE_CASE;
        const bool compareQualifiers = !(flags & WBEM_FLAG_IGNORE_QUALIFIERS);
        if (!(flags & WBEM_FLAG_IGNORE_OBJECT_SOURCE)) {
            const bool aStored = m_location != nullptr, bStored = that->m_location != nullptr;
            if (aStored != bStored ||
                (aStored && (!sameName(m_location->server, that->m_location->server) ||
                             !sameName(m_location->nameSpace, that->m_location->nameSpace))))
                return WBEM_S_DIFFERENT;
        }
        const bool compareClass = m_genus == Genus::Class || !(flags & WBEM_FLAG_IGNORE_CLASS);
        if (compareClass) {
            if (!sameName(a.name, b.name) || a.derivation.size() != b.derivation.size())
                return WBEM_S_DIFFERENT;
            for (size_t i = 0; i < a.derivation.size(); ++i)
                if (!sameName(a.derivation[i], b.derivation[i]))
                    return WBEM_S_DIFFERENT;
        }
        if (a.properties.size() != b.properties.size())
            return WBEM_S_DIFFERENT;
        for (size_t i = 0; i < a.properties.size(); ++i) {
            const Property& p = a.properties[i];
            const int j = b.findProperty(p.name.c_str());
            if (j < 0)
                return WBEM_S_DIFFERENT;
            const Property& q = b.properties[static_cast<size_t>(j)];
            if (p.type != q.type)
                return WBEM_S_DIFFERENT;
            const bool compareValue =
                m_genus == Genus::Instance || !(flags & WBEM_FLAG_IGNORE_DEFAULT_VALUES);
            if (compareValue &&
                !sameValue(valueAt(i), that->valueAt(static_cast<size_t>(j)), ignoreCase))
                return WBEM_S_DIFFERENT;
            if (compareQualifiers && (compareClass || m_genus == Genus::Class)) {
                QualifierList x, y;
                qualifiers(Target::Property, p.name, x);
                that->qualifiers(Target::Property, q.name, y);
                if (!sameQualifiers(x, y, flags))
                    return WBEM_S_DIFFERENT;
            }
        }
        if (compareQualifiers) {
            QualifierList x, y;
            qualifiers(Target::Object, std::wstring(), x);
            that->qualifiers(Target::Object, std::wstring(), y);
            if (!sameQualifiers(x, y, flags))
                return WBEM_S_DIFFERENT;
        }
        if (m_genus == Genus::Class) {
            if (a.methods.size() != b.methods.size())
                return WBEM_S_DIFFERENT;
            for (const Method& m : a.methods) {
                const int j = b.findMethod(m.name.c_str());
                if (j < 0)
                    return WBEM_S_DIFFERENT;
                const Method& n = b.methods[static_cast<size_t>(j)];
                if (compareQualifiers && !sameQualifiers(m.qualifiers, n.qualifiers, flags))
                    return WBEM_S_DIFFERENT;
                if ((m.in == nullptr) != (n.in == nullptr) ||
                    (m.out == nullptr) != (n.out == nullptr))
                    return WBEM_S_DIFFERENT;
            }
        }
        return WBEM_S_SAME;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT ClassObject::GetPropertyOrigin(LPCWSTR name, BSTR* className) {
    return lockedCall(m_lock, name && className, [&]() -> HRESULT {
        if (systemIndex(name) >= 0)
            return newBstr(kSystemOrigin, className);
        const int index = m_definition->findProperty(name);
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        return newBstr(
            m_definition->originName(m_definition->properties[static_cast<size_t>(index)].origin),
            className);
    });
}

HRESULT ClassObject::InheritsFrom(LPCWSTR ancestor) {
    return lockedCall(m_lock, ancestor, [&]() -> HRESULT {
        for (const std::wstring& name : m_definition->derivation)
            if (sameName(name, ancestor))
                return S_OK;
        return WBEM_S_FALSE;
    });
}

// --- Methods
// ----------------------------------------------------------------------------------------

namespace {

// A signature handed out: a class object of its own over the shared `__PARAMETERS` definition.
IWbemClassObject* signatureObject(const ClassDefPtr& signature) {
    return signature ? classObject(signature) : nullptr;
}

// The `ID` qualifier of a parameter, or -1 when it has none.
LONG parameterId(const Property& p) {
    const int at = findQualifier(p.qualifiers, L"ID");
    if (at < 0)
        return -1;
    const VARIANT& v = p.qualifiers[static_cast<size_t>(at)].value;
    return v.vt == VT_I4 ? v.lVal : -2;
}

// Checks a pair of signatures the way WMI does: every parameter but `ReturnValue` has an `ID`,
// one ID per name, the IDs of all parameters together run 0, 1, 2, ...
HRESULT checkSignatures(const ClassDef* in, const ClassDef* out) {
    std::vector<std::pair<LONG, std::wstring>> ids;
    for (const ClassDef* signature : {in, out}) {
        if (!signature)
            continue;
        for (const Property& p : signature->properties) {
            const LONG id = parameterId(p);
            if (sameName(p.name, L"ReturnValue")) {
                if (id != -1)
                    return WBEM_E_PARAMETER_ID_ON_RETVAL;
                continue;
            }
            if (id == -1)
                return WBEM_E_MISSING_PARAMETER_ID;
            if (id < 0)
                return WBEM_E_INVALID_PARAMETER_ID;
            bool seen = false;
            for (const auto& [otherId, otherName] : ids) {
                if (sameName(otherName, p.name)) {
                    if (otherId != id)
                        return WBEM_E_INVALID_PARAMETER_ID;
                    seen = true;
                } else if (otherId == id) {
                    return WBEM_E_INVALID_PARAMETER_ID;
                }
            }
            if (!seen)
                ids.emplace_back(id, p.name);
        }
    }
    std::vector<bool> used(ids.size(), false);
    for (const auto& entry : ids) {
        if (static_cast<size_t>(entry.first) >= used.size())
            return WBEM_E_NONCONSECUTIVE_PARAMETER_IDS;
        used[static_cast<size_t>(entry.first)] = true;
    }
    return S_OK;
}

// Whether two signatures have the same parameters: names and types, in order.
bool sameSignature(const ClassDef* a, const ClassDef* b) {
    if (!a || !b)
        return a == b;
    if (a->properties.size() != b->properties.size())
        return false;
    for (size_t i = 0; i < a->properties.size(); ++i)
        if (!sameName(a->properties[i].name, b->properties[i].name) ||
            a->properties[i].type != b->properties[i].type)
            return false;
    return true;
}

HRESULT signatureDefinition(IWbemClassObject* object, ClassDefPtr& definition) {
    definition.reset();
    if (!object)
        return S_OK;
    ClassObject* ours = ClassObject::from(object);
    if (!ours || ours->genus() != Genus::Class)
        return WBEM_E_INVALID_PARAMETER;
    ClassDefPtr def = ours->definition();
    if (!def->name.empty() && !sameName(def->name, L"__PARAMETERS"))
        return WBEM_E_INVALID_PARAMETER;
    if (def->name.empty()) {
        // A signature built from an empty class takes the name WMI gives signatures.
        auto named = std::make_shared<ClassDef>(*def);
        named->name = L"__PARAMETERS";
        def = std::move(named);
    }
    definition = std::move(def);
    return S_OK;
}

} // namespace

HRESULT ClassObject::GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                               IWbemClassObject** out) {
    return lockedCall(m_lock, name && flags == 0, [&]() -> HRESULT {
        if (m_genus != Genus::Class)
            return WBEM_E_ILLEGAL_OPERATION;
        const int index = m_definition->findMethod(name);
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        const Method& m = m_definition->methods[static_cast<size_t>(index)];
        if (in)
            *in = signatureObject(m.in);
        if (out)
            *out = signatureObject(m.out);
        return S_OK;
    });
}

HRESULT ClassObject::PutMethod(LPCWSTR name, LONG flags, IWbemClassObject* in,
                               IWbemClassObject* out) {
    if (!name || flags != 0 || !isUserName(name))
        return WBEM_E_INVALID_PARAMETER;
    ClassDefPtr inDef, outDef;
    HRESULT hr = signatureDefinition(in, inDef);
    if (SUCCEEDED(hr))
        hr = signatureDefinition(out, outDef);
    if (FAILED(hr))
        return hr;
    hr = checkSignatures(inDef.get(), outDef.get());
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_genus != Genus::Class)
        return WBEM_E_ILLEGAL_OPERATION;
    try {
        const int index = m_definition->findMethod(name);
        if (index >= 0) {
            const Method& current = m_definition->methods[static_cast<size_t>(index)];
            if (current.origin < m_definition->depth()) {
                // An inherited method keeps its superclass's signature.
                if (!sameSignature(current.in.get(), inDef.get()) ||
                    !sameSignature(current.out.get(), outDef.get()))
                    return WBEM_E_PROPAGATED_METHOD;
                return S_OK;
            }
            Method& m = editable().methods[static_cast<size_t>(index)];
            m.in = std::move(inDef);
            m.out = std::move(outDef);
            return S_OK;
        }
        ClassDef& def = editable();
        Method m;
        m.name = name;
        m.in = std::move(inDef);
        m.out = std::move(outDef);
        m.origin = def.depth();
        def.methods.push_back(std::move(m));
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT ClassObject::DeleteMethod(LPCWSTR name) {
    return lockedCall(m_lock, name, [&]() -> HRESULT {
        if (m_genus != Genus::Class)
            return WBEM_E_ILLEGAL_OPERATION;
        const int index = m_definition->findMethod(name);
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        if (m_definition->methods[static_cast<size_t>(index)].origin < m_definition->depth())
            return WBEM_E_PROPAGATED_METHOD;
        ClassDef& def = editable();
        def.methods.erase(def.methods.begin() + index);
        return S_OK;
    });
}

HRESULT ClassObject::BeginMethodEnumeration(LONG flags) {
    if (flags != 0 && flags != WBEM_FLAG_LOCAL_ONLY && flags != WBEM_FLAG_PROPAGATED_ONLY)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_genus != Genus::Class)
        return WBEM_E_ILLEGAL_OPERATION;
    auto items = std::make_unique<std::vector<size_t>>();
    for (size_t i = 0; i < m_definition->methods.size(); ++i) {
        const bool local = m_definition->methods[i].origin == m_definition->depth();
        if ((flags == WBEM_FLAG_LOCAL_ONLY && !local) ||
            (flags == WBEM_FLAG_PROPAGATED_ONLY && local))
            continue;
        items->push_back(i);
    }
    m_methodEnumeration = std::move(items);
    m_methodEnumPosition = 0;
    return S_OK;
}

HRESULT ClassObject::NextMethod(LONG flags, BSTR* name, IWbemClassObject** in,
                                IWbemClassObject** out) {
    return lockedCall(m_lock, flags == 0, [&]() -> HRESULT {
        if (!m_methodEnumeration)
            return WBEM_E_UNEXPECTED;
        while (m_methodEnumPosition < m_methodEnumeration->size()) {
            const size_t index = (*m_methodEnumeration)[m_methodEnumPosition++];
            if (index >= m_definition->methods.size())
                continue;
            const Method& m = m_definition->methods[index];
            if (name && FAILED(newBstr(m.name, name)))
                return WBEM_E_OUT_OF_MEMORY;
            if (in)
                *in = signatureObject(m.in);
            if (out)
                *out = signatureObject(m.out);
            return S_OK;
        }
        return WBEM_S_NO_MORE_DATA;
    });
}

HRESULT ClassObject::EndMethodEnumeration() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_methodEnumeration.reset();
    m_methodEnumPosition = 0;
    return S_OK;
}

HRESULT ClassObject::GetMethodQualifierSet(LPCWSTR method, IWbemQualifierSet** set) {
    return lockedCall(m_lock, method && set, [&]() -> HRESULT {
        if (m_genus != Genus::Class)
            return WBEM_E_ILLEGAL_OPERATION;
        const int index = m_definition->findMethod(method);
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        *set = new QualifierSet(this, Target::Method,
                                m_definition->methods[static_cast<size_t>(index)].name);
        return S_OK;
    });
}

HRESULT ClassObject::GetMethodOrigin(LPCWSTR method, BSTR* className) {
    return lockedCall(m_lock, method && className, [&]() -> HRESULT {
        if (m_genus != Genus::Class)
            return WBEM_E_ILLEGAL_OPERATION;
        const int index = m_definition->findMethod(method);
        if (index < 0)
            return WBEM_E_NOT_FOUND;
        return newBstr(
            m_definition->originName(m_definition->methods[static_cast<size_t>(index)].origin),
            className);
    });
}

// --- Text
// -------------------------------------------------------------------------------------------

HRESULT ClassObject::GetObjectText(LONG flags, BSTR* text) {
    return lockedCall(m_lock, text && !(flags & ~WBEM_FLAG_NO_FLAVORS), [&]() -> HRESULT {
        if (m_definition->name.empty())
            return WBEM_E_INCOMPLETE_CLASS;
        return newBstr(objectTextLocked(!(flags & WBEM_FLAG_NO_FLAVORS)), text);
    });
}

} // namespace zp::wbem
