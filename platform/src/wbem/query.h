// WQL data queries, what IWbemServices::ExecQuery answers: SELECT over the instances of a class
// (deep) or over the class definitions (`meta_class`), and ASSOCIATORS OF / REFERENCES OF over
// the reference index. query.cpp registers the handler with the services when the platform
// loads. Not installed.
#pragma once

#include "repository.h"
#include "wql.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zp::wbem {

// Instances reduced to some of their properties, as a SELECT with a property list returns them:
// the object's class keeps only the named properties, so reading any other fails; with `keys`
// the key properties stay too, and the object keeps its location (__PATH, __SERVER and
// __NAMESPACE), else those are null. Free-threaded; the reduced classes are made once per class.
class Projection {
public:
    Projection(std::vector<std::wstring> names, bool keys);

    HRESULT apply(IWbemClassObject* object, ComRef<IWbemClassObject>& reduced);

private:
    ClassDefPtr reducedClass(const ClassDefPtr& definition);

    const std::vector<std::wstring> m_names;
    const bool m_keys;
    std::mutex m_lock;
    // By the definition's address; the definition itself is held, so that no other takes it.
    std::map<const ClassDef*, std::pair<ClassDefPtr, ClassDefPtr>> m_classes;
};

// The objects an ASSOCIATORS OF or REFERENCES OF query names, in the order found, each once.
// Objects reduced by KeysOnly keep their path.
HRESULT relatedObjects(Repository& repository, const NamespaceRef& ns, const wql::Query& query,
                       ObjectList& out);

} // namespace zp::wbem
