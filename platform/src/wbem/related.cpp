// ASSOCIATORS OF and REFERENCES OF; see query.h.
//
// For an instance, the reference index gives the instances that refer to it (its references);
// the other reference properties of those lead to its associators. For a class, the schema
// answers: the classes with a reference property declared to hold the class or an ancestor of
// it, and the classes declared at their other references.
#include "query.h"

#include "names.h"
#include "object.h"
#include "objectpath.h"

#include <set>
#include <unordered_map>

namespace zp::wbem {
namespace {

ClassDefPtr definitionOf(IWbemClassObject* object) {
    const ClassObject* ours = ClassObject::from(object);
    return ours ? ours->definition() : nullptr;
}

bool isA(const ClassDef& definition, const std::wstring& name) {
    if (sameName(definition.name, name))
        return true;
    for (const std::wstring& ancestor : definition.derivation) {
        if (sameName(ancestor, name))
            return true;
    }
    return false;
}

bool hasQualifier(const ClassDef& definition, const std::wstring& name) {
    return name.empty() || findQualifier(definition.qualifiers, name.c_str()) >= 0;
}

bool classFits(const ClassDef& definition, const std::wstring& className) {
    return className.empty() || isA(definition, className);
}

bool roleFits(const std::wstring& property, const std::wstring& role) {
    return role.empty() || sameName(property, role);
}

// Whether a related object's class passes the query's ResultClass and RequiredQualifier.
bool resultFits(const ClassDef& definition, const wql::Query& query) {
    return classFits(definition, query.resultClass) &&
           hasQualifier(definition, query.requiredQualifier);
}

// Whether an association passes the query's AssocClass and RequiredAssocQualifier.
bool associationFits(const ClassDef& association, const wql::Query& query) {
    return classFits(association, query.assocClass) &&
           hasQualifier(association, query.requiredAssocQualifier);
}

// Whether a reference of an association that names the object through `roles` leads elsewhere:
// every reference but the one through which the object is named (an association that names it
// twice leads back to it), and only the ResultRole when the query gives one.
bool leadsAway(const Property& property, const std::vector<std::wstring>& roles,
               const wql::Query& query) {
    if (property.type != CIM_REFERENCE || !roleFits(property.name, query.resultRole))
        return false;
    for (const std::wstring& role : roles) {
        if (!sameName(role, property.name))
            return true;
    }
    return false;
}

// The class a reference property is declared to hold (`ref:Class`); empty for an untyped one.
std::wstring declaredClass(const Property& property) {
    const int at = findQualifier(property.qualifiers, L"CIMTYPE");
    if (at < 0)
        return {};
    const _variant_t& value = property.qualifiers[static_cast<std::size_t>(at)].value;
    if (value.vt != VT_BSTR || !value.bstrVal)
        return {};
    const std::wstring text(value.bstrVal, SysStringLen(value.bstrVal));
    return text.size() > 4 && sameName(text.substr(0, 4), L"ref:") ? text.substr(4)
                                                                   : std::wstring();
}

// Collects the results, each once: objects by path, or with ClassDefsOnly their classes.
class Results {
public:
    Results(const wql::Query& query, ObjectList& out)
        : m_classesOnly(query.classDefsOnly), m_keysOnly(query.keysOnly), m_out(out),
          m_keys({}, true) {}

    HRESULT addObject(IWbemClassObject* object) {
        const ClassDefPtr definition = definitionOf(object);
        if (!definition)
            return WBEM_E_CRITICAL_ERROR;
        if (m_classesOnly) {
            if (m_seen.insert(foldName(definition->name)).second)
                m_out.push_back(ComRef<IWbemClassObject>::adopt(classObject(definition)));
            return WBEM_S_NO_ERROR;
        }
        _variant_t path;
        const HRESULT hr = object->Get(L"__PATH", 0, &path, nullptr, nullptr);
        if (FAILED(hr))
            return hr;
        if (path.vt == VT_BSTR && !m_seen.insert(foldName(path.bstrVal)).second)
            return WBEM_S_NO_ERROR;
        if (!m_keysOnly) {
            m_out.push_back(ComRef<IWbemClassObject>::share(object));
            return WBEM_S_NO_ERROR;
        }
        ComRef<IWbemClassObject> reduced;
        const HRESULT made = m_keys.apply(object, reduced);
        if (SUCCEEDED(made))
            m_out.push_back(std::move(reduced));
        return made;
    }

    // A class of a schema query (every query on a class is one).
    void addClass(const ComRef<IWbemClassObject>& cls, const ClassDef& definition) {
        if (m_seen.insert(foldName(definition.name)).second)
            m_out.push_back(cls);
    }

private:
    const bool m_classesOnly;
    const bool m_keysOnly;
    ObjectList& m_out;
    Projection m_keys;
    std::set<std::wstring> m_seen;
};

HRESULT instanceRelated(Repository& repository, const NamespaceRef& ns, const wql::Query& query,
                        const NamespaceRef& home, ObjectList& out) {
    if (query.schemaOnly)
        return WBEM_E_INVALID_QUERY; // SchemaOnly asks about a class
    std::vector<Referrer> referrers;
    HRESULT hr = repository.referrers(ns, query.objectPath.c_str(), referrers);
    if (FAILED(hr))
        return hr;
    const bool associators = query.kind == wql::Query::Kind::Associators;
    Results results(query, out);
    std::vector<std::wstring> farEnds; // the paths of the associators, in the order found
    for (const Referrer& referrer : referrers) {
        const ClassDefPtr association = definitionOf(referrer.object.get());
        if (!association)
            return WBEM_E_CRITICAL_ERROR;
        std::vector<std::wstring> roles;
        for (const std::wstring& role : referrer.roles) {
            if (roleFits(role, query.role))
                roles.push_back(role);
        }
        if (roles.empty())
            continue;
        if (!associators) {
            if (resultFits(*association, query)) {
                hr = results.addObject(referrer.object.get());
                if (FAILED(hr))
                    return hr;
            }
            continue;
        }
        if (!associationFits(*association, query))
            continue;
        for (const Property& property : association->properties) {
            _variant_t value;
            if (leadsAway(property, roles, query) &&
                SUCCEEDED(
                    referrer.object->Get(property.name.c_str(), 0, &value, nullptr, nullptr)) &&
                value.vt == VT_BSTR && value.bstrVal)
                farEnds.emplace_back(value.bstrVal, SysStringLen(value.bstrVal));
        }
    }
    if (!associators)
        return WBEM_S_NO_ERROR;
    // The far ends in one read; a reference to an object that is gone leads nowhere.
    ObjectList ends;
    hr = repository.getObjects(home, farEnds, ends);
    if (FAILED(hr))
        return hr;
    for (const ComRef<IWbemClassObject>& end : ends) {
        const ClassDefPtr endClass = end ? definitionOf(end.get()) : nullptr;
        if (!endClass || !resultFits(*endClass, query))
            continue;
        hr = results.addObject(end.get());
        if (FAILED(hr))
            return hr;
    }
    return WBEM_S_NO_ERROR;
}

HRESULT classRelated(Repository& repository, const NamespaceRef& home, const wql::Query& query,
                     const std::wstring& className, ObjectList& out) {
    ComRef<IWbemClassObject> target;
    HRESULT hr = repository.getObject(home, className.c_str(), target.put());
    if (FAILED(hr))
        return hr;
    const ClassDefPtr targetClass = definitionOf(target.get());
    ObjectList classes;
    hr = repository.classes(home, nullptr, true, classes);
    if (FAILED(hr))
        return hr;
    std::unordered_map<std::wstring, std::size_t> byName;
    for (std::size_t i = 0; i < classes.size(); ++i)
        byName.emplace(foldName(definitionOf(classes[i].get())->name), i);
    const bool associators = query.kind == wql::Query::Kind::Associators;
    Results results(query, out);
    for (const ComRef<IWbemClassObject>& cls : classes) {
        const ClassDefPtr association = definitionOf(cls.get());
        std::vector<std::wstring> roles;
        for (const Property& property : association->properties) {
            const std::wstring declared =
                property.type == CIM_REFERENCE ? declaredClass(property) : std::wstring();
            if (!declared.empty() && isA(*targetClass, declared) &&
                roleFits(property.name, query.role))
                roles.push_back(property.name);
        }
        if (roles.empty())
            continue;
        if (!associators) {
            if (resultFits(*association, query))
                results.addClass(cls, *association);
            continue;
        }
        if (!associationFits(*association, query))
            continue;
        for (const Property& property : association->properties) {
            if (!leadsAway(property, roles, query))
                continue;
            const auto end = byName.find(foldName(declaredClass(property)));
            if (end == byName.end())
                continue;
            const ComRef<IWbemClassObject>& endObject = classes[end->second];
            const ClassDefPtr endClass = definitionOf(endObject.get());
            if (resultFits(*endClass, query))
                results.addClass(endObject, *endClass);
        }
    }
    return WBEM_S_NO_ERROR;
}

} // namespace

HRESULT relatedObjects(Repository& repository, const NamespaceRef& ns, const wql::Query& query,
                       ObjectList& out) {
    ObjectPath path;
    HRESULT hr = parseObjectPath(query.objectPath.c_str(), path);
    if (FAILED(hr))
        return hr;
    if (!path.server.empty() && !isLocalServer(path.server))
        return WBEM_E_INVALID_OBJECT_PATH;
    // Where relative references of the related objects lead: the namespace of the object.
    NamespaceRef home = ns;
    if (!path.nameSpace.empty() && !sameName(path.nameSpace, ns.name)) {
        hr = repository.findNamespace(path.nameSpace, home);
        if (FAILED(hr))
            return hr;
    }
    if (path.isInstance)
        return instanceRelated(repository, ns, query, home, out);
    return classRelated(repository, home, query, path.className, out);
}

} // namespace zp::wbem
