// Class definitions: names, qualifier propagation and derivation.
#include "classdef.h"

#include <wbemcli.h>

namespace zp::wbem {
namespace {

// Names fold ASCII and Latin-1 letters, which is what class, property and qualifier names use.
inline wchar_t foldChar(wchar_t c) {
    if (c >= L'a' && c <= L'z')
        return static_cast<wchar_t>(c - (L'a' - L'A'));
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<wchar_t>(c - 0x20);
    return c;
}

const std::wstring kEmpty;

} // namespace

bool sameName(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; ++i)
        if (a[i] != b[i] && foldChar(a[i]) != foldChar(b[i]))
            return false;
    return true;
}

bool sameName(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || (a[i] != b[i] && foldChar(a[i]) != foldChar(b[i])))
            return false;
    }
    return b[i] == 0;
}

std::wstring foldName(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded)
        c = foldChar(c);
    return folded;
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
    QualifierList result;
    for (const Qualifier& q : list) {
        if (!(q.flavor & needed))
            continue;
        Qualifier copy = q;
        copy.flavor = (q.flavor & ~WBEM_FLAVOR_MASK_ORIGIN) | WBEM_FLAVOR_ORIGIN_PROPAGATED;
        result.push_back(std::move(copy));
    }
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
    for (size_t i = 0; i < properties.size(); ++i)
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
