// Class definitions: names, qualifier propagation and derivation.
#include "classdef.h"

#include <wbemcli.h>

#include <algorithm>
#include <cwchar>
#include <type_traits>

namespace zp::wbem {
namespace {

const std::wstring kEmpty;

// Hands a variant's value over without copying it; `from` is left empty.
void moveVariant(_variant_t& to, _variant_t& from) noexcept {
    if (&to == &from)
        return;
    ::VariantClear(&to);
    static_cast<VARIANT&>(to) = static_cast<const VARIANT&>(from);
    V_VT(&from) = VT_EMPTY;
}

} // namespace

static_assert(std::is_nothrow_move_constructible_v<Qualifier> &&
                  std::is_nothrow_move_constructible_v<Property> &&
                  std::is_nothrow_move_constructible_v<Method>,
              "lists of members must grow by moving, not by copying every value");

Qualifier::Qualifier(Qualifier&& other) noexcept
    : name(std::move(other.name)), flavor(other.flavor) {
    moveVariant(value, other.value);
}

Qualifier& Qualifier::operator=(Qualifier&& other) noexcept {
    name = std::move(other.name);
    moveVariant(value, other.value);
    flavor = other.flavor;
    return *this;
}

Property::Property(Property&& other) noexcept
    : name(std::move(other.name)), type(other.type), qualifiers(std::move(other.qualifiers)),
      origin(other.origin), ownValue(other.ownValue) {
    moveVariant(value, other.value);
}

Property& Property::operator=(Property&& other) noexcept {
    name = std::move(other.name);
    type = other.type;
    moveVariant(value, other.value);
    qualifiers = std::move(other.qualifiers);
    origin = other.origin;
    ownValue = other.ownValue;
    return *this;
}

const QualifierList::Items& QualifierList::none() {
    static const Items empty;
    return empty;
}

QualifierList::Items& QualifierList::own() {
    if (!m_items)
        m_items = std::make_shared<Block>();
    else if (m_items.use_count() > 1)
        m_items = std::make_shared<Block>(Block{m_items->items, nullptr});
    else
        m_items->toSubclass.reset(); // no one else sees this list: its propagated form is stale
    return m_items->items;
}

void QualifierList::erase(const_iterator at) {
    // `at` may point into a list shared with others: find its place before copying.
    const auto index = at - begin();
    Items& items = own();
    items.erase(items.begin() + index);
}

int findQualifier(const QualifierList& list, const wchar_t* name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (sameName(list[i].name, name))
            return static_cast<int>(i);
    return -1;
}

bool hasTrueQualifier(const QualifierList& list, const wchar_t* name) {
    const int index = findQualifier(list, name);
    if (index < 0)
        return false;
    const VARIANT& value = list[static_cast<size_t>(index)].value;
    return value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
}

QualifierList propagatedQualifiers(const QualifierList& list, bool toInstance) {
    const LONG needed = toInstance ? WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE
                                   : WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS;
    const bool alreadyPropagated =
        std::all_of(list.begin(), list.end(), [needed](const Qualifier& q) {
            return (q.flavor & needed) &&
                   (q.flavor & WBEM_FLAVOR_MASK_ORIGIN) == WBEM_FLAVOR_ORIGIN_PROPAGATED;
        });
    if (alreadyPropagated)
        return list;
    if (!toInstance) {
        QualifierList made;
        made.m_items = std::atomic_load(&list.m_items->toSubclass);
        if (made.m_items)
            return made;
    }
    QualifierList result;
    for (const Qualifier& q : list) {
        if (!(q.flavor & needed))
            continue;
        Qualifier copy = q;
        copy.flavor = (q.flavor & ~WBEM_FLAVOR_MASK_ORIGIN) | WBEM_FLAVOR_ORIGIN_PROPAGATED;
        result.push_back(std::move(copy));
    }
    // A list that changes later drops what it remembered (see own()).
    if (!toInstance && result.m_items)
        std::atomic_store(&list.m_items->toSubclass, result.m_items);
    return result;
}

const std::wstring& ClassDef::superclass() const {
    return derivation.empty() ? kEmpty : derivation.front();
}

const std::wstring& ClassDef::dynasty() const {
    return derivation.empty() ? name : derivation.back();
}

const std::wstring& ClassDef::originName(uint16_t origin) const {
    if (origin >= derivation.size())
        return name;
    return derivation[derivation.size() - 1 - origin];
}

int ClassDef::findProperty(const wchar_t* propertyName) const {
    // Names are unique, so the order of the search is free: from the end, since a class being
    // built asks for the property it has just added.
    for (size_t i = properties.size(); i-- > 0;)
        if (sameName(properties[i].name, propertyName))
            return static_cast<int>(i);
    return -1;
}

int ClassDef::findMethod(const wchar_t* methodName) const {
    for (size_t i = 0; i < methods.size(); ++i)
        if (sameName(methods[i].name, methodName))
            return static_cast<int>(i);
    return -1;
}

bool shapesClass(const wchar_t* qualifier) {
    const size_t length = wcslen(qualifier);
    for (const wchar_t* name : {L"key", L"abstract", L"singleton", L"association"})
        if (sameName(name, wcslen(name), qualifier, length))
            return true;
    return false;
}

void ClassDef::finish() {
    keys.clear();
    for (size_t i = 0; i < properties.size(); ++i)
        if (hasTrueQualifier(properties[i].qualifiers, L"key"))
            keys.push_back(static_cast<uint32_t>(i));
    isAbstract = hasTrueQualifier(qualifiers, L"abstract");
    isSingleton = hasTrueQualifier(qualifiers, L"singleton");
    isAssociation = hasTrueQualifier(qualifiers, L"association");
}

std::shared_ptr<ClassDef> deriveClass(const ClassDefPtr& parent) {
    auto derived = std::make_shared<ClassDef>();
    derived->derivation.reserve(parent->derivation.size() + 1);
    derived->derivation.push_back(parent->name);
    derived->derivation.insert(derived->derivation.end(), parent->derivation.begin(),
                               parent->derivation.end());
    derived->qualifiers = propagatedQualifiers(parent->qualifiers, false);
    derived->properties.reserve(parent->properties.size());
    for (const Property& p : parent->properties) {
        Property inherited;
        inherited.name = p.name;
        inherited.type = p.type;
        inherited.value = p.value;
        inherited.qualifiers = propagatedQualifiers(p.qualifiers, false);
        inherited.origin = p.origin;
        derived->properties.push_back(std::move(inherited));
    }
    for (const Method& m : parent->methods) {
        Method inherited;
        inherited.name = m.name;
        inherited.in = m.in;
        inherited.out = m.out;
        inherited.qualifiers = propagatedQualifiers(m.qualifiers, false);
        inherited.origin = m.origin;
        derived->methods.push_back(std::move(inherited));
    }
    derived->parent = parent;
    derived->finish();
    return derived;
}

} // namespace zp::wbem
