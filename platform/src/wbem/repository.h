// The CIM repository: namespaces, classes and instances with WMI's rules, over the SQLite store.
// Every method is one transaction and returns the WMI status the services hand on. Class
// definitions are cached per process and revalidated at each call, so a class changed by another
// process is seen by the next call here. Not installed.
#pragma once

#include "comref.h"
#include "object.h"
#include "objectpath.h"
#include "store.h"

#include <wbemcli.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace zp::wbem {

// A namespace as a services object holds it.
struct NamespaceRef {
    RowId id = 0;
    std::wstring name; // as created, e.g. root\cimv2
    std::shared_ptr<const Location> location;
};

using ObjectList = std::vector<ComRef<IWbemClassObject>>;

// An instance that refers to an object, and the reference properties through which it does.
struct Referrer {
    ComRef<IWbemClassObject> object;
    std::vector<std::wstring> roles;
};

class Repository {
public:
    // The machine's repository. WBEM_E_CRITICAL_ERROR when its file cannot be used; the reason is
    // written to the standard error stream once.
    static HRESULT machine(Repository*& repository);

    // Seeds a new store with root, root\cimv2 and root\default. Throws StoreError.
    explicit Repository(RepositoryStore& store);

    // WBEM_E_INVALID_NAMESPACE when there is no such namespace (names match in any case).
    HRESULT findNamespace(const std::wstring& name, NamespaceRef& ns);

    // A class by name, or an instance by path. WBEM_E_INVALID_OBJECT_PATH, WBEM_E_INVALID_CLASS,
    // WBEM_E_NOT_FOUND, WBEM_E_INVALID_NAMESPACE for a path into a namespace that does not exist.
    HRESULT getObject(const NamespaceRef& ns, const wchar_t* path, IWbemClassObject** object);
    // Several objects in one read: `out` gets one entry per path, null where getObject fails.
    HRESULT getObjects(const NamespaceRef& ns, const std::vector<std::wstring>& paths,
                       ObjectList& out);
    HRESULT putClass(const NamespaceRef& ns, IWbemClassObject* object, LONG flags);
    HRESULT deleteClass(const NamespaceRef& ns, const wchar_t* name);
    // `relativePath` receives the stored instance's __RELPATH.
    HRESULT putInstance(const NamespaceRef& ns, IWbemClassObject* object, LONG flags,
                        std::wstring& relativePath);
    HRESULT deleteInstance(const NamespaceRef& ns, const wchar_t* path);

    // Classes derived from `superclass` (null or empty: every class, or with `deep` false the
    // classes without a superclass), in creation order.
    HRESULT classes(const NamespaceRef& ns, const wchar_t* superclass, bool deep, ObjectList& out);
    // The classes whose instances an instance enumeration of `className` yields.
    HRESULT instanceClasses(const NamespaceRef& ns, const wchar_t* className, bool deep,
                            std::vector<RowId>& classes);
    // The next at most `limit` instances of `classes` created after `after` (an instance id);
    // `after` moves to the last one returned.
    HRESULT instances(const NamespaceRef& ns, const std::vector<RowId>& classes, RowId& after,
                      std::size_t limit, ObjectList& out);

    // The instances whose reference properties name the instance at `path`, in creation order,
    // found through the reference index: the cost follows their number, not the repository's
    // size. The errors of getObject for a path that names no instance.
    HRESULT referrers(const NamespaceRef& ns, const wchar_t* path, std::vector<Referrer>& out);

    RepositoryStore& store() const { return m_store; }

    // What the last critical failure said (the file and SQLite's words), for diagnostics.
    static std::string lastCriticalError();

private:
    struct CachedClass {
        RowId id = 0;
        RowId nameSpace = 0;
        RowId superclass = 0;
        RowId keyRoot = 0; // the class whose key its instances are unique under
        bool system = false;
        ClassDefPtr definition;
    };
    using ClassPtr = std::shared_ptr<const CachedClass>;

    template <class Work>
    HRESULT reading(Work&& work);
    template <class Work>
    HRESULT writing(Work&& work);

    std::uint64_t sync(Transaction& t);
    void invalidate();
    ClassPtr loadClass(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                       const std::wstring& name);
    ClassPtr loadClassById(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                           RowId id);
    ClassPtr remember(std::uint64_t generation, const NamespaceRef& ns, const ClassRow& row,
                      const ClassPtr& parent);
    HRESULT resolvePathNamespace(Transaction& t, const NamespaceRef& ns, const ObjectPath& path,
                                 NamespaceRef& target);
    HRESULT findInstance(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                         const ObjectPath& path, ClassPtr& cls, InstanceRow& row);
    // The reference index's form of a reference value: for an instance of a class of the
    // namespace, its key root and normalized key, so that every way of writing one path meets.
    std::wstring indexedTarget(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                               const std::wstring& path);
    HRESULT lookUp(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                   const ObjectPath& path, IWbemClassObject** object);
    HRESULT decode(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                   const InstanceRow& row, IWbemClassObject** object);
    // Whether a services object's namespace still exists (and was not made anew).
    bool namespaceStands(Transaction& t, std::uint64_t generation, const NamespaceRef& ns);
    bool inherits(Transaction& t, std::uint64_t generation, const NamespaceRef& ns,
                  const ClassPtr& cls, RowId ancestor);
    void createNamespace(Transaction& t, const std::wstring& name);
    void seed(Transaction& t);

    RepositoryStore& m_store;
    std::mutex m_cacheLock;
    std::uint64_t m_generation = 0;                      // 0: nothing cached is known to be valid
    std::unordered_map<std::wstring, ClassPtr> m_byName; // "<namespace id>:<folded name>"
    std::unordered_map<RowId, ClassPtr> m_byId;
    std::set<RowId> m_standing; // namespaces known to exist at m_generation
};

// The namespace for a location's __NAMESPACE: shared by every object read from it.
std::shared_ptr<const Location> locationOf(const std::wstring& nameSpace);

} // namespace zp::wbem
