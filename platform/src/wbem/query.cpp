// ExecQuery's WQL: the handler the services call, and SELECT; see query.h. ASSOCIATORS OF and
// REFERENCES OF are in related.cpp.
#include "query.h"

#include "enumerator.h"
#include "names.h"
#include "object.h"
#include "services.h"

#include <deque>
#include <memory>
#include <new>

namespace zp::wbem {

// ---- Projection

Projection::Projection(std::vector<std::wstring> names, bool keys)
    : m_names(std::move(names)), m_keys(keys) {}

ClassDefPtr Projection::reducedClass(const ClassDefPtr& definition) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_classes.find(definition.get());
    if (found != m_classes.end())
        return found->second.second;
    auto reduced = std::make_shared<ClassDef>(*definition);
    reduced->properties.clear();
    reduced->methods.clear();
    for (const Property& property : definition->properties) {
        bool kept = m_keys && hasTrueQualifier(property.qualifiers, L"key");
        for (const std::wstring& name : m_names)
            kept = kept || sameName(name, property.name);
        if (kept)
            reduced->properties.push_back(property);
    }
    reduced->finish();
    if (!m_keys)
        reduced->location = nullptr;
    m_classes.emplace(definition.get(), std::make_pair(definition, reduced));
    return reduced;
}

HRESULT Projection::apply(IWbemClassObject* object, ComRef<IWbemClassObject>& reduced) {
    const ClassObject* source = ClassObject::from(object);
    if (!source)
        return WBEM_E_INVALID_PARAMETER;
    const ClassDefPtr definition = source->definition();
    const ClassDefPtr target = reducedClass(definition);
    ComRef<IWbemClassObject> made = ComRef<IWbemClassObject>::adopt(newInstance(target));
    if (!made)
        return WBEM_E_OUT_OF_MEMORY;
    for (const Property& property : target->properties) {
        _variant_t value;
        HRESULT hr = object->Get(property.name.c_str(), 0, &value, nullptr, nullptr);
        if (SUCCEEDED(hr))
            hr = made->Put(property.name.c_str(), 0, &value, 0);
        if (FAILED(hr))
            return hr;
    }
    // Only a projection that keeps the keys can say where its object lives.
    if (m_keys)
        ClassObject::from(made.get())->setLocation(definition->location);
    reduced = std::move(made);
    return WBEM_S_NO_ERROR;
}

namespace {

// ---- SELECT over instances

// What a SELECT keeps of the instances it visits; shared by an enumerator and its clones.
struct Selection {
    std::unique_ptr<wql::Condition> where;  // null: every instance
    std::unique_ptr<Projection> projection; // null: whole objects
};

// How many instances one read transaction visits: a filter that keeps few still reads in
// large steps.
constexpr std::size_t kScanStep = 512;

// The instances of some classes that pass a WHERE condition, read in creation order one step at
// a time: a forward-only enumeration never holds more than one step of the extent.
class SelectSource final : public ObjectSource {
public:
    SelectSource(Repository& repository, NamespaceRef ns, std::vector<RowId> classes,
                 std::shared_ptr<Selection> selection)
        : m_repository(repository), m_ns(std::move(ns)), m_classes(std::move(classes)),
          m_selection(std::move(selection)) {}

    HRESULT fetch(std::size_t limit, ULONG, ObjectList& out) override {
        while (m_ready.size() < limit && !m_ended) {
            ObjectList visited;
            const HRESULT hr = m_repository.instances(m_ns, m_classes, m_after, kScanStep, visited);
            if (FAILED(hr))
                return hr;
            m_ended = visited.size() < kScanStep;
            for (ComRef<IWbemClassObject>& object : visited) {
                if (m_selection->where && !wql::matches(*m_selection->where, object.get()))
                    continue;
                if (m_selection->projection) {
                    ComRef<IWbemClassObject> reduced;
                    const HRESULT made = m_selection->projection->apply(object.get(), reduced);
                    if (FAILED(made))
                        return made;
                    object = std::move(reduced);
                }
                m_ready.push_back(std::move(object));
            }
        }
        for (; limit > 0 && !m_ready.empty(); --limit) {
            out.push_back(std::move(m_ready.front()));
            m_ready.pop_front();
        }
        return m_ended && m_ready.empty() ? WBEM_S_FALSE : WBEM_S_NO_ERROR;
    }

    void rewind() override {
        m_after = 0;
        m_ended = false;
        m_ready.clear();
    }

    std::unique_ptr<ObjectSource> clone() const override {
        auto copy = std::make_unique<SelectSource>(m_repository, m_ns, m_classes, m_selection);
        copy->m_after = m_after;
        copy->m_ended = m_ended;
        for (const ComRef<IWbemClassObject>& object : m_ready) {
            ComRef<IWbemClassObject> own;
            if (SUCCEEDED(object->Clone(own.put())))
                copy->m_ready.push_back(std::move(own));
        }
        return copy;
    }

private:
    Repository& m_repository;
    const NamespaceRef m_ns;
    const std::vector<RowId> m_classes;
    const std::shared_ptr<Selection> m_selection;
    RowId m_after = 0; // the last instance visited
    bool m_ended = false;
    std::deque<ComRef<IWbemClassObject>> m_ready; // passed the filter, not yet handed out
};

// Objects made for one forward-only enumeration: handed over as they are, without the copy that
// an enumeration which may start again needs.
class HandOverSource final : public ObjectSource {
public:
    explicit HandOverSource(ObjectList objects) : m_objects(std::move(objects)) {}

    HRESULT fetch(std::size_t limit, ULONG, ObjectList& out) override {
        for (; limit > 0 && m_at < m_objects.size(); --limit)
            out.push_back(std::move(m_objects[m_at++]));
        return m_at < m_objects.size() ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    void rewind() override {} // forward-only enumerators never rewind nor clone
    std::unique_ptr<ObjectSource> clone() const override { return nullptr; }

private:
    ObjectList m_objects;
    std::size_t m_at = 0;
};

HRESULT enumerate(ObjectList objects, LONG flags, IEnumWbemClassObject** enumerator) {
    if (flags & WBEM_FLAG_FORWARD_ONLY)
        return Enumerator::create(std::make_unique<HandOverSource>(std::move(objects)), true,
                                  enumerator);
    return Enumerator::create(listSource(std::move(objects)), false, enumerator);
}

bool isPathProperty(const std::wstring& name) {
    return sameName(name, L"__PATH") || sameName(name, L"__RELPATH");
}

bool namesProperty(IWbemClassObject* cls, const std::wstring& name) {
    _variant_t ignored;
    return SUCCEEDED(cls->Get(name.c_str(), 0, &ignored, nullptr, nullptr));
}

// Whether every property a condition reads exists in the class queried: WMI refuses a query
// that names a property its class does not have. Paths through embedded objects are checked at
// their first step only, since the embedded object's class is known only per instance.
bool conditionFits(const wql::Condition& condition, IWbemClassObject* cls) {
    switch (condition.kind) {
    case wql::Condition::Kind::And:
    case wql::Condition::Kind::Or:
        return conditionFits(*condition.left, cls) && conditionFits(*condition.right, cls);
    case wql::Condition::Kind::Not:
        return conditionFits(*condition.left, cls);
    default:
        break;
    }
    const std::wstring& first = condition.property.front();
    if (condition.op == wql::Operator::Isa && condition.property.size() == 1 &&
        sameName(first, L"__THIS"))
        return true;
    return namesProperty(cls, first);
}

HRESULT selectClasses(Repository& repository, const NamespaceRef& ns, const wql::Query& query,
                      LONG flags, IEnumWbemClassObject** enumerator) {
    if (!query.properties.empty())
        return WBEM_E_INVALID_QUERY; // a class definition is returned whole
    ObjectList classes;
    const HRESULT hr = repository.classes(ns, nullptr, true, classes);
    if (FAILED(hr))
        return hr;
    ObjectList kept;
    for (ComRef<IWbemClassObject>& cls : classes) {
        if (!query.where || wql::matches(*query.where, cls.get()))
            kept.push_back(std::move(cls));
    }
    return enumerate(std::move(kept), flags, enumerator);
}

HRESULT selectInstances(Repository& repository, const NamespaceRef& ns, wql::Query& query,
                        LONG flags, IEnumWbemClassObject** enumerator) {
    ComRef<IWbemClassObject> cls;
    HRESULT hr = repository.getObject(ns, query.className.c_str(), cls.put());
    if (hr == WBEM_E_NOT_FOUND || hr == WBEM_E_INVALID_OBJECT_PATH)
        return WBEM_E_INVALID_CLASS;
    if (FAILED(hr))
        return hr;
    bool keys = (flags & WBEM_FLAG_ENSURE_LOCATABLE) != 0;
    for (const std::wstring& name : query.properties) {
        if (!namesProperty(cls.get(), name))
            return WBEM_E_INVALID_QUERY;
        keys = keys || isPathProperty(name);
    }
    if (query.where && !conditionFits(*query.where, cls.get()))
        return WBEM_E_INVALID_QUERY;
    auto selection = std::make_shared<Selection>();
    selection->where = std::move(query.where);
    if (!query.properties.empty())
        selection->projection = std::make_unique<Projection>(query.properties, keys);

    if (flags & WBEM_FLAG_PROTOTYPE) {
        // What the results would look like, without running the query: the class, reduced to
        // the properties asked for.
        ObjectList prototype;
        if (selection->projection) {
            ComRef<IWbemClassObject> instance, reduced;
            hr = cls->SpawnInstance(0, instance.put());
            if (SUCCEEDED(hr))
                hr = selection->projection->apply(instance.get(), reduced);
            if (FAILED(hr))
                return hr;
            prototype.push_back(ComRef<IWbemClassObject>::adopt(
                classObject(ClassObject::from(reduced.get())->definition())));
        } else {
            prototype.push_back(std::move(cls));
        }
        return enumerate(std::move(prototype), flags, enumerator);
    }

    std::vector<RowId> classes;
    hr = repository.instanceClasses(ns, query.className.c_str(), true, classes);
    if (FAILED(hr))
        return hr;
    return Enumerator::create(
        std::make_unique<SelectSource>(repository, ns, std::move(classes), std::move(selection)),
        (flags & WBEM_FLAG_FORWARD_ONLY) != 0, enumerator);
}

HRESULT execQuery(IWbemServices* services, const NamespaceRef& ns, const wchar_t* language,
                  const wchar_t* text, LONG flags, IWbemContext*,
                  IEnumWbemClassObject** enumerator) {
    if (!sameName(std::wstring(language), L"WQL"))
        return WBEM_E_INVALID_QUERY_TYPE;
    wql::Query query;
    std::wstring error;
    if (FAILED(wql::parse(text, query, error)))
        return WBEM_E_INVALID_QUERY;
    if (query.hasWithin)
        return WBEM_E_INVALID_QUERY; // WITHIN belongs to event queries
    Repository& repository = static_cast<Services*>(services)->repository();
    try {
        if (query.kind != wql::Query::Kind::Select) {
            ObjectList related;
            const HRESULT hr = relatedObjects(repository, ns, query, related);
            if (FAILED(hr))
                return hr;
            return enumerate(std::move(related), flags, enumerator);
        }
        if (sameName(query.className, L"meta_class"))
            return selectClasses(repository, ns, query, flags, enumerator);
        return selectInstances(repository, ns, query, flags, enumerator);
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

// The services answer ExecQuery through this handler from the moment the platform is loaded.
[[maybe_unused]] const bool g_registered = (setQueryHandler(&execQuery), true);

} // namespace
} // namespace zp::wbem
