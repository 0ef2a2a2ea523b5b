// The repository's rules over the store; see repository.h.
#include "repository.h"

#include "events.h"
#include "systemclasses.h"

#include <cstdio>
#include <map>
#include <new>
#include <set>

namespace zp::wbem {
namespace {

std::mutex g_errorLock;
std::string g_lastError;

// A critical failure is written once per distinct text: a broken repository fails every call,
// and the reason is the same each time.
void reportCritical(const std::string& message) {
    std::lock_guard<std::mutex> guard(g_errorLock);
    if (message == g_lastError)
        return;
    g_lastError = message;
    std::fprintf(stderr, "zudava WMI: %s\n", message.c_str());
}

// Thrown inside a transaction to end it with a WMI status (and roll back what it wrote).
struct Refusal {
    HRESULT status;
};

HRESULT check(HRESULT hr) {
    if (FAILED(hr))
        throw Refusal{hr};
    return hr;
}

std::wstring classKey(RowId ns, const std::wstring& name) {
    return std::to_wstring(ns) + L":" + foldName(name);
}

bool isNamespaceClass(const ClassDef& definition) {
    if (sameName(definition.name, L"__NAMESPACE"))
        return true;
    for (const std::wstring& ancestor : definition.derivation) {
        if (sameName(ancestor, L"__NAMESPACE"))
            return true;
    }
    return false;
}

// The value an instance has for a property: its own, else its class's.
_variant_t valueOf(const ClassObject& instance, const ClassDef& definition, std::size_t index) {
    _variant_t own = instance.instanceValue(index);
    if (own.vt != VT_EMPTY)
        return own;
    return definition.properties[index].value;
}

// The reference values of an instance as written; putInstance makes them canonical.
std::vector<ReferenceRow> referencesOf(const ClassObject& instance, const ClassDef& definition) {
    std::vector<ReferenceRow> references;
    for (std::size_t i = 0; i < definition.properties.size(); ++i) {
        const Property& property = definition.properties[i];
        if (property.type != CIM_REFERENCE)
            continue;
        const _variant_t value = valueOf(instance, definition, i);
        if (value.vt == VT_BSTR && value.bstrVal)
            references.push_back({property.name, value.bstrVal}); // made canonical when stored
    }
    return references;
}

// Whether a class change would leave stored instances or derived classes behind: a property
// removed, its type changed, or the keys changed.
bool changesLayout(const ClassDef& before, const ClassDef& after) {
    for (const Property& old : before.properties) {
        const int index = after.findProperty(old.name.c_str());
        if (index < 0 || after.properties[static_cast<std::size_t>(index)].type != old.type)
            return true;
    }
    if (before.keys.size() != after.keys.size())
        return true;
    for (std::size_t i = 0; i < before.keys.size(); ++i) {
        if (!sameName(before.properties[before.keys[i]].name, after.properties[after.keys[i]].name))
            return true;
    }
    return false;
}

} // namespace

std::shared_ptr<const Location> locationOf(const std::wstring& nameSpace) {
    return std::make_shared<const Location>(Location{machineName(), nameSpace});
}

std::string Repository::lastCriticalError() {
    std::lock_guard<std::mutex> guard(g_errorLock);
    return g_lastError;
}

HRESULT Repository::machine(Repository*& repository) {
    // One repository object per store file: tests move the state folder between runs.
    static std::mutex lock;
    static std::map<const RepositoryStore*, std::unique_ptr<Repository>> repositories;
    try {
        RepositoryStore& store = RepositoryStore::machine();
        std::lock_guard<std::mutex> guard(lock);
        std::unique_ptr<Repository>& entry = repositories[&store];
        if (!entry)
            entry = std::make_unique<Repository>(store);
        repository = entry.get();
        return WBEM_S_NO_ERROR;
    } catch (const StoreError& e) {
        reportCritical(e.what());
        return WBEM_E_CRITICAL_ERROR;
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

Repository::Repository(RepositoryStore& store) : m_store(store) {
    m_store.write([&](Transaction& t) { seed(t); });
}

template <class Work>
HRESULT Repository::reading(Work&& work) {
    try {
        return m_store.read(work);
    } catch (const Refusal& refusal) {
        return refusal.status;
    } catch (const StoreError& e) {
        reportCritical(e.what());
        return WBEM_E_CRITICAL_ERROR;
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

template <class Work>
HRESULT Repository::writing(Work&& work) {
    try {
        return m_store.write(work);
    } catch (const Refusal& refusal) {
        return refusal.status;
    } catch (const StoreError& e) {
        reportCritical(e.what());
        return WBEM_E_CRITICAL_ERROR;
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

// ---- The class cache

std::uint64_t Repository::sync(Transaction& t) {
    const std::uint64_t generation = t.classGeneration();
    std::lock_guard<std::mutex> guard(m_cacheLock);
    if (generation != m_generation) {
        m_byName.clear();
        m_byId.clear();
        m_standing.clear();
        m_generation = generation;
    }
    return generation;
}

void Repository::invalidate() {
    std::lock_guard<std::mutex> guard(m_cacheLock);
    m_byName.clear();
    m_byId.clear();
    m_standing.clear();
    m_generation = 0;
}

Repository::ClassPtr Repository::remember(std::uint64_t generation, const NamespaceRef& ns,
                                          const ClassRow& row, const ClassPtr& parent) {
    const ClassDefPtr parentDefinition = parent ? parent->definition : nullptr;
    ClassDefPtr definition;
    if (FAILED(decodeClass(row.definition.data(), row.definition.size(), parentDefinition,
                           ns.location, definition))) {
        reportCritical("the WMI repository holds a class it cannot read: " +
                       std::string(row.name.begin(), row.name.end()));
        throw Refusal{WBEM_E_CRITICAL_ERROR};
    }
    auto cls = std::make_shared<CachedClass>();
    cls->id = row.id;
    cls->nameSpace = row.nameSpace;
    cls->superclass = row.superclass;
    cls->system = row.system;
    cls->definition = definition;
    cls->keyRoot = (parent && !parent->definition->keys.empty() && !definition->keys.empty())
                       ? parent->keyRoot
                       : row.id;
    std::lock_guard<std::mutex> guard(m_cacheLock);
    if (generation == m_generation) {
        m_byId[cls->id] = cls;
        m_byName[classKey(row.nameSpace, definition->name)] = cls;
    }
    return cls;
}

Repository::ClassPtr Repository::loadClassById(Transaction& t, std::uint64_t generation,
                                               const NamespaceRef& ns, RowId id) {
    {
        std::lock_guard<std::mutex> guard(m_cacheLock);
        auto found = m_byId.find(id);
        if (found != m_byId.end())
            return found->second;
    }
    const std::optional<ClassRow> row = t.classById(id);
    if (!row)
        return nullptr;
    ClassPtr parent;
    if (row->superclass != 0) {
        parent = loadClassById(t, generation, ns, row->superclass);
        if (!parent)
            throw Refusal{WBEM_E_CRITICAL_ERROR};
    }
    return remember(generation, ns, *row, parent);
}

Repository::ClassPtr Repository::loadClass(Transaction& t, std::uint64_t generation,
                                           const NamespaceRef& ns, const std::wstring& name) {
    {
        std::lock_guard<std::mutex> guard(m_cacheLock);
        auto found = m_byName.find(classKey(ns.id, name));
        if (found != m_byName.end())
            return found->second;
    }
    const std::optional<ClassRow> row = t.findClass(ns.id, name);
    if (!row)
        return nullptr;
    ClassPtr parent;
    if (row->superclass != 0) {
        parent = loadClassById(t, generation, ns, row->superclass);
        if (!parent)
            throw Refusal{WBEM_E_CRITICAL_ERROR};
    }
    return remember(generation, ns, *row, parent);
}

bool Repository::namespaceStands(Transaction& t, std::uint64_t generation, const NamespaceRef& ns) {
    {
        std::lock_guard<std::mutex> guard(m_cacheLock);
        if (generation == m_generation && m_standing.count(ns.id))
            return true;
    }
    const std::optional<NamespaceRow> row = t.findNamespace(ns.name);
    if (!row || row->id != ns.id)
        return false;
    std::lock_guard<std::mutex> guard(m_cacheLock);
    if (generation == m_generation)
        m_standing.insert(ns.id);
    return true;
}

bool Repository::inherits(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                          const ClassPtr& cls, RowId ancestor) {
    for (ClassPtr at = cls; at;
         at = at->superclass ? loadClassById(t, generation, ns, at->superclass) : nullptr) {
        if (at->id == ancestor)
            return true;
    }
    return false;
}

// ---- Namespaces

HRESULT Repository::findNamespace(const std::wstring& name, NamespaceRef& ns) {
    return reading([&](Transaction& t) -> HRESULT {
        const std::optional<NamespaceRow> row = t.findNamespace(name);
        if (!row)
            return WBEM_E_INVALID_NAMESPACE;
        ns.id = row->id;
        ns.name = row->name;
        ns.location = locationOf(row->name);
        return WBEM_S_NO_ERROR;
    });
}

void Repository::createNamespace(Transaction& t, const std::wstring& name) {
    const RowId id = t.createNamespace(name);
    std::map<std::wstring, RowId> ids;
    for (const SystemClass& system : systemClasses()) {
        ClassRow row;
        row.nameSpace = id;
        row.name = system.name;
        row.superclass = system.superclass.empty() ? 0 : ids.at(system.superclass);
        row.system = true;
        row.definition = system.definition;
        ids[system.name] = t.insertClass(row);
    }
}

void Repository::seed(Transaction& t) {
    if (t.findNamespace(L"root"))
        return;
    createNamespace(t, L"root");
    const std::uint64_t generation = t.classGeneration();
    NamespaceRef root{t.findNamespace(L"root")->id, L"root", locationOf(L"root")};
    const ClassPtr nsClass = loadClass(t, generation, root, L"__NAMESPACE");
    for (const wchar_t* child : {L"cimv2", L"default"}) {
        createNamespace(t, std::wstring(L"root\\") + child);
        ComRef<IWbemClassObject> instance =
            ComRef<IWbemClassObject>::adopt(newInstance(nsClass->definition));
        _variant_t name(child);
        check(instance->Put(L"Name", 0, &name, 0));
        const ClassObject& object = *ClassObject::from(instance.get());
        std::wstring key;
        Blob data;
        check(instanceKey(object, key));
        check(encodeInstance(object, data));
        t.insertInstance(nsClass->id, nsClass->keyRoot, key, data, {});
    }
}

// ---- Reading objects

HRESULT Repository::resolvePathNamespace(Transaction& t, const NamespaceRef& ns,
                                         const ObjectPath& path, NamespaceRef& target) {
    if (!path.server.empty() && !isLocalServer(path.server))
        return WBEM_E_INVALID_OBJECT_PATH;
    if (path.nameSpace.empty() || sameName(path.nameSpace, ns.name)) {
        target = ns;
        return WBEM_S_NO_ERROR;
    }
    const std::optional<NamespaceRow> row = t.findNamespace(path.nameSpace);
    if (!row)
        return WBEM_E_INVALID_NAMESPACE;
    target = NamespaceRef{row->id, row->name, locationOf(row->name)};
    return WBEM_S_NO_ERROR;
}

HRESULT Repository::findInstance(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                                 const ObjectPath& path, ClassPtr& cls, InstanceRow& row) {
    cls = loadClass(t, generation, ns, path.className);
    if (!cls)
        return WBEM_E_INVALID_CLASS;
    const ClassDef& definition = *cls->definition;
    std::wstring key;
    if (path.singleton) {
        if (!definition.isSingleton)
            return WBEM_E_INVALID_OBJECT_PATH;
        key = L"@";
    } else {
        std::vector<KeyBinding> bindings;
        for (const PathKey& pathKey : path.keys) {
            KeyBinding binding{pathKey.name, pathKey.value};
            // `Class="v"` names the class's one key.
            if (binding.name.empty()) {
                if (definition.keys.size() != 1)
                    return WBEM_E_INVALID_OBJECT_PATH;
                binding.name = definition.properties[definition.keys[0]].name;
            }
            bindings.push_back(std::move(binding));
        }
        const HRESULT hr = keyFromBindings(definition, bindings, key);
        if (FAILED(hr))
            return hr;
    }
    const std::optional<InstanceRow> found = t.findInstance(cls->keyRoot, key);
    if (!found)
        return WBEM_E_NOT_FOUND;
    // The key is shared by the key class's whole family; the path's class must be the
    // instance's own class or one of its ancestors.
    const ClassPtr actual = loadClassById(t, generation, ns, found->classId);
    if (!actual || !inherits(t, generation, ns, actual, cls->id))
        return WBEM_E_NOT_FOUND;
    row = *found;
    cls = actual;
    return WBEM_S_NO_ERROR;
}

std::wstring Repository::indexedTarget(Transaction& t, std::uint64_t generation,
                                       const NamespaceRef& ns, const std::wstring& text) {
    ObjectPath path;
    if (FAILED(parseObjectPath(text.c_str(), path)))
        return foldName(text);
    const bool local = (path.server.empty() || isLocalServer(path.server)) &&
                       (path.nameSpace.empty() || sameName(path.nameSpace, ns.name));
    if (!local)
        return foldName(text);
    if (path.isInstance) {
        if (const ClassPtr cls = loadClass(t, generation, ns, path.className)) {
            std::wstring key;
            if (path.singleton) {
                key = L"@";
            } else {
                std::vector<KeyBinding> bindings;
                for (const PathKey& pathKey : path.keys) {
                    KeyBinding binding{pathKey.name, pathKey.value};
                    if (binding.name.empty() && cls->definition->keys.size() == 1)
                        binding.name = cls->definition->properties[cls->definition->keys[0]].name;
                    bindings.push_back(std::move(binding));
                }
                if (FAILED(keyFromBindings(*cls->definition, bindings, key)))
                    key.clear();
            }
            // '#' starts no path, so the two forms never meet by accident.
            if (!key.empty())
                return L"#" + std::to_wstring(cls->keyRoot) + L":" + key;
        }
    }
    // A class, or an instance of a class the namespace does not define (yet): the path as
    // written, without the local server and namespace.
    const std::size_t colon = text.find(L':');
    return foldName(path.nameSpace.empty() || colon == std::wstring::npos ? text
                                                                          : text.substr(colon + 1));
}

HRESULT Repository::decode(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                           const InstanceRow& row, IWbemClassObject** object) {
    const ClassPtr cls = loadClassById(t, generation, ns, row.classId);
    if (!cls)
        return WBEM_E_CRITICAL_ERROR;
    ClassObject* instance = nullptr;
    const HRESULT hr =
        decodeInstance(row.data.data(), row.data.size(), cls->definition, ns.location, &instance);
    if (FAILED(hr)) {
        reportCritical("the WMI repository holds an instance it cannot read (class " +
                       std::string(cls->definition->name.begin(), cls->definition->name.end()) +
                       ")");
        return WBEM_E_CRITICAL_ERROR;
    }
    *object = instance;
    return WBEM_S_NO_ERROR;
}

HRESULT Repository::lookUp(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                           const ObjectPath& path, IWbemClassObject** object) {
    NamespaceRef target;
    HRESULT status = resolvePathNamespace(t, ns, path, target);
    if (FAILED(status))
        return status;
    if (!path.isInstance) {
        const ClassPtr cls = loadClass(t, generation, target, path.className);
        if (!cls)
            return WBEM_E_NOT_FOUND;
        *object = classObject(cls->definition);
        return WBEM_S_NO_ERROR;
    }
    ClassPtr cls;
    InstanceRow row;
    status = findInstance(t, generation, target, path, cls, row);
    if (FAILED(status))
        return status;
    return decode(t, generation, target, row, object);
}

HRESULT Repository::getObject(const NamespaceRef& ns, const wchar_t* text,
                              IWbemClassObject** object) {
    ObjectPath path;
    HRESULT hr = parseObjectPath(text, path);
    if (FAILED(hr))
        return hr;
    return reading([&](Transaction& t) -> HRESULT { return lookUp(t, sync(t), ns, path, object); });
}

HRESULT Repository::getObjects(const NamespaceRef& ns, const std::vector<std::wstring>& paths,
                               ObjectList& out) {
    std::vector<ObjectPath> parsed(paths.size());
    std::vector<bool> readable(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        readable[i] = SUCCEEDED(parseObjectPath(paths[i].c_str(), parsed[i]));
    ObjectList found(paths.size());
    const HRESULT hr = reading([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (!readable[i])
                continue;
            const HRESULT status = lookUp(t, generation, ns, parsed[i], found[i].put());
            if (status == WBEM_E_CRITICAL_ERROR || status == WBEM_E_OUT_OF_MEMORY)
                return status;
        }
        return WBEM_S_NO_ERROR;
    });
    if (SUCCEEDED(hr))
        out = std::move(found);
    return hr;
}

// ---- Classes

HRESULT Repository::putClass(const NamespaceRef& ns, IWbemClassObject* object, LONG flags) {
    ClassObject* given = ClassObject::from(object);
    if (!given || given->genus() != Genus::Class)
        return WBEM_E_INVALID_PARAMETER;
    const ClassDefPtr definition = given->definition();
    if (definition->name.empty())
        return WBEM_E_INVALID_PARAMETER;
    if (isSystemName(definition->name))
        return WBEM_E_ACCESS_DENIED;
    Blob blob;
    HRESULT hr = encodeClass(*given, blob);
    if (FAILED(hr))
        return hr;
    const LONG mode = flags & (WBEM_FLAG_CREATE_ONLY | WBEM_FLAG_UPDATE_ONLY);
    // A new class changes no class the cache holds, so the cache (and the store's class
    // generation) stays valid across the commit; any other change drops it. (Tools store whole
    // schemas one class at a time.)
    bool added = false;
    hr = writing([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        if (!namespaceStands(t, generation, ns))
            return WBEM_E_INVALID_NAMESPACE;
        RowId superclass = 0;
        if (!definition->superclass().empty()) {
            const ClassPtr parent = loadClass(t, generation, ns, definition->superclass());
            if (!parent)
                return WBEM_E_INVALID_SUPERCLASS;
            superclass = parent->id;
        }
        const ClassPtr existing = loadClass(t, generation, ns, definition->name);
        if (!existing) {
            if (mode == WBEM_FLAG_UPDATE_ONLY)
                return WBEM_E_NOT_FOUND;
            ClassRow row;
            row.nameSpace = ns.id;
            row.name = definition->name;
            row.superclass = superclass;
            row.definition = std::move(blob);
            t.insertClass(row);
            added = true;
            return WBEM_S_NO_ERROR;
        }
        if (mode == WBEM_FLAG_CREATE_ONLY)
            return WBEM_E_ALREADY_EXISTS;
        if (existing->system)
            return WBEM_E_ACCESS_DENIED;
        // A class keeps its place in the hierarchy; moving it would orphan what derives from it.
        if (existing->superclass != superclass)
            return WBEM_E_INVALID_SUPERCLASS;
        if (changesLayout(*existing->definition, *definition)) {
            if (t.hasInstances(existing->id))
                return WBEM_E_CLASS_HAS_INSTANCES;
            if (t.hasChildClasses(existing->id))
                return WBEM_E_CLASS_HAS_CHILDREN;
        }
        t.updateClass(existing->id, blob);
        return WBEM_S_NO_ERROR;
    });
    if (FAILED(hr) || !added)
        invalidate();
    return hr;
}

HRESULT Repository::deleteClass(const NamespaceRef& ns, const wchar_t* name) {
    if (!name || !*name)
        return WBEM_E_INVALID_PARAMETER;
    const HRESULT hr = writing([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        const ClassPtr cls = loadClass(t, generation, ns, name);
        if (!cls)
            return WBEM_E_NOT_FOUND;
        if (cls->system)
            return WBEM_E_ACCESS_DENIED;
        t.deleteClass(cls->id);
        return WBEM_S_NO_ERROR;
    });
    invalidate();
    return hr;
}

HRESULT Repository::classes(const NamespaceRef& ns, const wchar_t* superclass, bool deep,
                            ObjectList& out) {
    return reading([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        RowId root = 0;
        if (superclass && *superclass) {
            const ClassPtr cls = loadClass(t, generation, ns, superclass);
            if (!cls)
                return WBEM_E_INVALID_CLASS;
            root = cls->id;
        }
        std::vector<ClassRow> rows;
        if (!deep) {
            rows = t.childClasses(ns.id, root);
        } else {
            // Every class whose chain of superclasses reaches `root`, in creation order.
            std::set<RowId> below{root};
            for (ClassRow& row : t.allClasses(ns.id)) {
                if (below.count(row.superclass)) {
                    below.insert(row.id);
                    rows.push_back(std::move(row));
                }
            }
        }
        for (const ClassRow& row : rows) {
            const ClassPtr cls = loadClassById(t, generation, ns, row.id);
            if (!cls)
                continue;
            out.push_back(ComRef<IWbemClassObject>::adopt(classObject(cls->definition)));
        }
        return WBEM_S_NO_ERROR;
    });
}

// ---- Instances

HRESULT Repository::putInstance(const NamespaceRef& ns, IWbemClassObject* object, LONG flags,
                                std::wstring& relativePathOut) {
    ClassObject* given = ClassObject::from(object);
    if (!given || given->genus() != Genus::Instance)
        return WBEM_E_INVALID_PARAMETER;
    const ClassDefPtr definition = given->definition();
    std::wstring key;
    HRESULT hr = instanceKey(*given, key);
    if (FAILED(hr))
        return hr;
    Blob data;
    hr = encodeInstance(*given, data);
    if (FAILED(hr))
        return hr;
    std::wstring relative;
    hr = relativePath(*given, relative);
    if (FAILED(hr))
        return hr;
    std::vector<ReferenceRow> references = referencesOf(*given, *definition);
    const LONG mode = flags & (WBEM_FLAG_CREATE_ONLY | WBEM_FLAG_UPDATE_ONLY);
    bool namespacesChanged = false;
    hr = writing([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        if (!namespaceStands(t, generation, ns))
            return WBEM_E_INVALID_NAMESPACE;
        const ClassPtr cls = loadClass(t, generation, ns, definition->name);
        if (!cls)
            return WBEM_E_INVALID_CLASS;
        if (cls->definition->isAbstract)
            return WBEM_E_INVALID_OPERATION;
        for (ReferenceRow& reference : references)
            reference.target = indexedTarget(t, generation, ns, reference.target);
        const bool makesNamespace = isNamespaceClass(*cls->definition);
        // The common case, a new instance, costs one statement: the key's unique index tells
        // whether it exists.
        if (mode != WBEM_FLAG_UPDATE_ONLY && !makesNamespace &&
            t.tryInsertInstance(cls->id, cls->keyRoot, key, data, references)) {
            if (t.instanceEventsWanted(ns.id))
                recordInstanceEvent(t, ns, InstanceChange::Created, object, nullptr);
            return WBEM_S_NO_ERROR;
        }
        const std::optional<InstanceRow> existing = t.findInstance(cls->keyRoot, key);
        if (existing) {
            if (mode == WBEM_FLAG_CREATE_ONLY)
                return WBEM_E_ALREADY_EXISTS;
            ComRef<IWbemClassObject> previous;
            const bool raise = t.instanceEventsWanted(ns.id);
            if (raise)
                check(decode(t, generation, ns, *existing, previous.put()));
            t.updateInstance(existing->id, cls->id, data, references);
            if (raise)
                recordInstanceEvent(t, ns, InstanceChange::Modified, object, previous.get());
            return WBEM_S_NO_ERROR;
        }
        if (mode == WBEM_FLAG_UPDATE_ONLY)
            return WBEM_E_NOT_FOUND;
        if (makesNamespace) {
            const int index = cls->definition->findProperty(L"Name");
            const _variant_t name =
                index < 0 ? _variant_t() : valueOf(*given, *definition, static_cast<size_t>(index));
            if (name.vt != VT_BSTR || !name.bstrVal || !*name.bstrVal)
                return WBEM_E_ILLEGAL_NULL;
            const std::wstring child(name.bstrVal);
            if (child.find_first_of(L"\\/:") != std::wstring::npos)
                return WBEM_E_INVALID_PARAMETER;
            const std::wstring full = ns.name + L"\\" + child;
            if (!t.findNamespace(full)) {
                createNamespace(t, full);
                namespacesChanged = true;
            }
        }
        t.insertInstance(cls->id, cls->keyRoot, key, data, references);
        if (t.instanceEventsWanted(ns.id))
            recordInstanceEvent(t, ns, InstanceChange::Created, object, nullptr);
        return WBEM_S_NO_ERROR;
    });
    if (namespacesChanged)
        invalidate();
    if (SUCCEEDED(hr))
        relativePathOut = relative;
    return hr;
}

HRESULT Repository::deleteInstance(const NamespaceRef& ns, const wchar_t* text) {
    ObjectPath path;
    HRESULT hr = parseObjectPath(text, path);
    if (FAILED(hr))
        return hr;
    if (!path.isInstance)
        return WBEM_E_INVALID_OBJECT_PATH;
    bool namespacesChanged = false;
    hr = writing([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        NamespaceRef target;
        HRESULT status = resolvePathNamespace(t, ns, path, target);
        if (FAILED(status))
            return status;
        ClassPtr cls;
        InstanceRow row;
        status = findInstance(t, generation, target, path, cls, row);
        if (FAILED(status))
            return status;
        ComRef<IWbemClassObject> deleted;
        const bool raise = t.instanceEventsWanted(target.id);
        if (raise)
            check(decode(t, generation, target, row, deleted.put()));
        if (isNamespaceClass(*cls->definition)) {
            ComRef<IWbemClassObject> instance;
            status = decode(t, generation, target, row, instance.put());
            if (FAILED(status))
                return status;
            _variant_t name;
            if (SUCCEEDED(instance->Get(L"Name", 0, &name, nullptr, nullptr)) &&
                name.vt == VT_BSTR && name.bstrVal) {
                t.deleteNamespace(target.name + L"\\" + name.bstrVal);
                namespacesChanged = true;
            }
        }
        t.deleteInstance(row.id);
        if (raise)
            recordInstanceEvent(t, target, InstanceChange::Deleted, deleted.get(), nullptr);
        return WBEM_S_NO_ERROR;
    });
    if (namespacesChanged)
        invalidate();
    return hr;
}

HRESULT Repository::referrers(const NamespaceRef& ns, const wchar_t* text,
                              std::vector<Referrer>& out) {
    ObjectPath path;
    HRESULT hr = parseObjectPath(text, path);
    if (FAILED(hr))
        return hr;
    if (!path.isInstance)
        return WBEM_E_INVALID_OBJECT_PATH;
    return reading([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        NamespaceRef target;
        HRESULT status = resolvePathNamespace(t, ns, path, target);
        if (FAILED(status))
            return status;
        ClassPtr cls;
        InstanceRow row;
        status = findInstance(t, generation, target, path, cls, row);
        if (FAILED(status))
            return status;
        RowId last = 0;
        for (const ReferrerRow& referrer :
             t.referencesTo(target.id, indexedTarget(t, generation, target, text))) {
            // One instance may name the object through several of its properties.
            if (referrer.instance.id == last && !out.empty()) {
                out.back().roles.push_back(referrer.property);
                continue;
            }
            Referrer found;
            status = decode(t, generation, target, referrer.instance, found.object.put());
            if (FAILED(status))
                return status;
            found.roles.push_back(referrer.property);
            out.push_back(std::move(found));
            last = referrer.instance.id;
        }
        return WBEM_S_NO_ERROR;
    });
}

HRESULT Repository::instanceClasses(const NamespaceRef& ns, const wchar_t* className, bool deep,
                                    std::vector<RowId>& classes) {
    if (!className || !*className)
        return WBEM_E_INVALID_PARAMETER;
    return reading([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        const ClassPtr cls = loadClass(t, generation, ns, className);
        if (!cls)
            return WBEM_E_INVALID_CLASS;
        classes.push_back(cls->id);
        if (deep) {
            std::set<RowId> below{cls->id};
            for (const ClassRow& row : t.allClasses(ns.id)) {
                if (below.count(row.superclass)) {
                    below.insert(row.id);
                    classes.push_back(row.id);
                }
            }
        }
        return WBEM_S_NO_ERROR;
    });
}

HRESULT Repository::instances(const NamespaceRef& ns, const std::vector<RowId>& classes,
                              RowId& after, std::size_t limit, ObjectList& out) {
    return reading([&](Transaction& t) -> HRESULT {
        const std::uint64_t generation = sync(t);
        HRESULT status = WBEM_S_NO_ERROR;
        ClassPtr cls; // rows of one class come in runs: look each class up once per run
        t.instances(classes, after, limit,
                    [&](RowId id, RowId classId, const std::uint8_t* data, std::size_t size) {
                        if (FAILED(status))
                            return;
                        if (!cls || cls->id != classId)
                            cls = loadClassById(t, generation, ns, classId);
                        ClassObject* instance = nullptr;
                        if (!cls || FAILED(decodeInstance(data, size, cls->definition, ns.location,
                                                          &instance))) {
                            reportCritical("the WMI repository holds an instance it cannot read");
                            status = WBEM_E_CRITICAL_ERROR;
                            return;
                        }
                        out.push_back(ComRef<IWbemClassObject>::adopt(instance));
                        after = id;
                    });
        return status;
    });
}

} // namespace zp::wbem
