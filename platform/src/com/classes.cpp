// The class table and CoCreateInstance over it.
#include "classes.h"

#include "apartment.h"

#include <mutex>
#include <vector>

namespace zp::com {
namespace {

struct ClassEntry {
    CLSID clsid;
    ObjectFactory factory;
};

struct ClassTable {
    std::mutex mutex;
    std::vector<ClassEntry> entries;
};

// Made on first use, so that a registration in any source's static initialisation finds it
// whatever the order of initialisation; never destroyed, so that no registration or creation
// during static destruction finds it gone.
ClassTable& classTable() {
    static ClassTable* const table = new ClassTable;
    return *table;
}

ObjectFactory findFactory(REFCLSID clsid) {
    ClassTable& table = classTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const ClassEntry& entry : table.entries) {
        if (entry.clsid == clsid)
            return entry.factory;
    }
    return nullptr;
}

} // namespace

// A class registered twice keeps its first factory: the table never changes what an existing
// class makes.
ClassRegistration::ClassRegistration(const CLSID& clsid, ObjectFactory factory) {
    ClassTable& table = classTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const ClassEntry& entry : table.entries) {
        if (entry.clsid == clsid)
            return;
    }
    table.entries.push_back({clsid, factory});
}

} // namespace zp::com

ZP_EXTERN_C HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext,
                                            REFIID riid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!zp::com::threadMayUseCom())
        return CO_E_NOTINITIALIZED;
    // Every class of the platform is an in-process server; asked for another kind of server,
    // none is registered.
    const zp::com::ObjectFactory factory =
        (clsContext & CLSCTX_INPROC_SERVER) ? zp::com::findFactory(clsid) : nullptr;
    if (!factory)
        return REGDB_E_CLASSNOTREG;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    const HRESULT hr = factory(riid, object);
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}
