// GetObjectText: a class or instance as MOF text that the MOF compiler reads back.
//
// A class shows what it defines itself: its own qualifiers, its own properties and methods, and
// the inherited ones it changed (a new value or qualifiers of its own); what it inherits unchanged
// comes from its superclass's text. An instance shows every property that has a value. The CIMTYPE
// qualifier is implied by the declared type and never written.
#include "object.h"

#include "values.h"

#include <algorithm>

namespace zp::wbem {
namespace {

bool isLocal(const Qualifier& q) {
    return (q.flavor & WBEM_FLAVOR_MASK_ORIGIN) == WBEM_FLAVOR_ORIGIN_LOCAL;
}

bool isCimType(const Qualifier& q) {
    return sameName(q.name, L"CIMTYPE");
}

std::wstring qualifierText(const Qualifier& q, bool flavors) {
    std::wstring text = q.name;
    const VARIANT& v = q.value;
    if (v.vt & VT_ARRAY) {
        text += mofValue(v, 0);
    } else if (!(v.vt == VT_BOOL && v.boolVal)) {
        text += L'(';
        text += mofValue(v, 0);
        text += L')';
    }
    if (flavors) {
        std::wstring list;
        if (q.flavor & WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE)
            list += L" ToInstance";
        if (q.flavor & WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS)
            list += L" ToSubclass";
        if (q.flavor & WBEM_FLAVOR_NOT_OVERRIDABLE)
            list += L" DisableOverride";
        if (q.flavor & WBEM_FLAVOR_AMENDED)
            list += L" Amended";
        if (!list.empty())
            text += L":" + list;
    }
    return text;
}

// `[a, b(1)] ` for the qualifiers `keep` selects, or nothing.
template <typename Keep>
std::wstring qualifierBlock(const QualifierList& list, bool flavors, Keep keep) {
    std::wstring text;
    for (const Qualifier& q : list) {
        if (!keep(q) || isCimType(q))
            continue;
        text += text.empty() ? L"[" : L", ";
        text += qualifierText(q, flavors);
    }
    if (!text.empty())
        text += L"] ";
    return text;
}

// The declared type of a property or parameter, `Class ref` and embedded classes included.
std::wstring typeText(const Property& p) {
    const CIMTYPE base = p.type & ~CIMTYPE(CIM_FLAG_ARRAY);
    const int at = findQualifier(p.qualifiers, L"CIMTYPE");
    std::wstring declared;
    if (at >= 0 && p.qualifiers[static_cast<size_t>(at)].value.vt == VT_BSTR)
        declared = p.qualifiers[static_cast<size_t>(at)].value.bstrVal;
    if (base == CIM_REFERENCE) {
        if (declared.size() > 4 && sameName(declared.substr(0, 4), L"ref:"))
            return declared.substr(4) + L" ref";
        return L"object ref";
    }
    if (base == CIM_OBJECT) {
        if (declared.size() > 7 && sameName(declared.substr(0, 7), L"object:"))
            return declared.substr(7);
        return L"object";
    }
    return cimTypeName(base);
}

std::wstring declaration(const Property& p) {
    std::wstring text = typeText(p) + L" " + p.name;
    if (p.type & CIM_FLAG_ARRAY)
        text += L"[]";
    return text;
}

std::wstring methodText(const Method& m, bool flavors) {
    // Parameters in ID order; one that is both in and out is written once with both.
    struct Parameter {
        LONG id;
        Property property;
    };
    std::vector<Parameter> parameters;
    std::wstring returnType = L"void";
    for (const ClassDefPtr& signature : {m.in, m.out}) {
        if (!signature)
            continue;
        for (const Property& p : signature->properties) {
            if (sameName(p.name, L"ReturnValue")) {
                returnType = typeText(p);
                continue;
            }
            const int idAt = findQualifier(p.qualifiers, L"ID");
            const LONG id = idAt >= 0 ? p.qualifiers[static_cast<size_t>(idAt)].value.lVal : 0;
            auto same = std::find_if(parameters.begin(), parameters.end(), [&](const Parameter& x) {
                return sameName(x.property.name, p.name);
            });
            if (same == parameters.end()) {
                parameters.push_back({id, p});
                continue;
            }
            for (const Qualifier& q : p.qualifiers)
                if (findQualifier(same->property.qualifiers, q.name.c_str()) < 0)
                    same->property.qualifiers.push_back(q);
        }
    }
    std::stable_sort(parameters.begin(), parameters.end(),
                     [](const Parameter& a, const Parameter& b) { return a.id < b.id; });
    std::wstring text =
        L"\t" + qualifierBlock(m.qualifiers, flavors, isLocal) + returnType + L" " + m.name + L"(";
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (i)
            text += L", ";
        text += qualifierBlock(parameters[i].property.qualifiers, false,
                               [](const Qualifier&) { return true; });
        text += declaration(parameters[i].property);
    }
    return text + L");\n";
}

} // namespace

std::wstring ClassObject::objectTextLocked(bool flavors) const {
    const ClassDef& def = *m_definition;
    std::wstring text;
    if (m_genus == Genus::Instance) {
        if (m_extras)
            text += qualifierBlock(m_extras->qualifiers, flavors, isLocal);
        text += L"instance of " + def.name + L"\n{\n";
        for (size_t i = 0; i < def.properties.size(); ++i) {
            const _variant_t& value = valueAt(i);
            if (value.vt == VT_NULL || value.vt == VT_EMPTY)
                continue;
            text += L"\t";
            if (m_extras && i < m_extras->propertyQualifiers.size())
                text += qualifierBlock(m_extras->propertyQualifiers[i], flavors, isLocal);
            text +=
                def.properties[i].name + L" = " + mofValue(value, def.properties[i].type) + L";\n";
        }
        return text + L"};\n";
    }
    const std::wstring classQualifiers = qualifierBlock(def.qualifiers, flavors, isLocal);
    if (!classQualifiers.empty())
        text += classQualifiers.substr(0, classQualifiers.size() - 1) + L"\n";
    text += L"class " + def.name;
    if (!def.derivation.empty())
        text += L" : " + def.superclass();
    text += L"\n{\n";
    for (const Property& p : def.properties) {
        const bool local = p.origin == def.depth();
        const bool changed =
            p.ownValue || std::any_of(p.qualifiers.begin(), p.qualifiers.end(), isLocal);
        if (!local && !changed)
            continue;
        text += L"\t" + qualifierBlock(p.qualifiers, flavors, isLocal) + declaration(p);
        if ((local || p.ownValue) && p.value.vt != VT_NULL && p.value.vt != VT_EMPTY)
            text += L" = " + mofValue(p.value, p.type);
        text += L";\n";
    }
    for (const Method& m : def.methods) {
        const bool local = m.origin == def.depth();
        if (local || std::any_of(m.qualifiers.begin(), m.qualifiers.end(), isLocal))
            text += methodText(m, flavors);
    }
    return text + L"};\n";
}

} // namespace zp::wbem
