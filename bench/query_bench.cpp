// WQL queries of the embedded WMI service against the work a caller would do without them, in
// the same run:
//   - ASSOCIATORS OF one node with 5 associations, in a repository of 100,000 associations,
//     against a GetObject of that one node (the goal: within 10 times its cost, since the index
//     makes the query's cost follow its result and not the repository);
//   - SELECT * FROM C WHERE P = v over 100,000 instances, against a forward-only
//     CreateInstanceEnum of the same class with the same test made by the caller on each object
//     (the goal: at least as fast).
#include "Ratios.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

constexpr long kInstances = 100000;
constexpr long kNodes = 50000;
constexpr long kAssociations = 100000;
constexpr long kHubLinks = 5;
constexpr long kMatches = kInstances / 1000; // Value = Id % 1000: one instance in 1,000 matches

// A machine state folder of the run's own, set before the service is first used.
const std::string g_folder = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "zudava-query-bench-XXXXXX");
    if (!mkdtemp(&folder[0]))
        throw std::runtime_error("mkdtemp failed");
    setenv("ZUDAVA_STATE_DIR", folder.c_str(), 1);
    return folder;
}();

struct Cleanup {
    ~Cleanup() {
        std::error_code ignored;
        std::filesystem::remove_all(g_folder, ignored);
    }
} g_cleanup;

void must(HRESULT hr, const char* what) {
    if (FAILED(hr))
        throw std::runtime_error(std::string(what) + " failed");
}

// One reference of a COM object, released at the end of its scope.
template <class T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
};

// The service connected to root\default, holding QueryItem (Id, Name, Value) with kInstances
// instances, and Node instances linked by kAssociations Link associations.
class Service {
public:
    static Service& get() {
        static Service service;
        return service;
    }
    IWbemServices* services() const { return m_services; }

private:
    Service() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Held<IWbemLocator> locator;
        must(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&locator.p)),
             "CoCreateInstance");
        must(locator->ConnectServer(_bstr_t(L"root\\default"), nullptr, nullptr, nullptr, 0,
                                    nullptr, nullptr, &m_services),
             "ConnectServer");
        fillItems();
        fillNodes();
    }

    Held<IWbemClassObject> newClass(const wchar_t* name) {
        Held<IWbemClassObject> cls;
        must(m_services->GetObject(nullptr, 0, nullptr, &cls.p, nullptr), "GetObject");
        _variant_t className(name);
        must(cls->Put(L"__CLASS", 0, &className, 0), "Put __CLASS");
        return cls;
    }

    static void qualify(IWbemClassObject* cls, const wchar_t* property, const wchar_t* name,
                        _variant_t value) {
        Held<IWbemQualifierSet> qualifiers;
        if (property)
            must(cls->GetPropertyQualifierSet(property, &qualifiers.p), "GetPropertyQualifierSet");
        else
            must(cls->GetQualifierSet(&qualifiers.p), "GetQualifierSet");
        must(qualifiers->Put(name, &value, 0), "qualifier Put");
    }

    Held<IWbemClassObject> stored(const wchar_t* name) {
        Held<IWbemClassObject> cls;
        must(m_services->GetObject(_bstr_t(name), 0, nullptr, &cls.p, nullptr), "GetObject");
        return cls;
    }

    void put(IWbemClassObject* cls,
             std::initializer_list<std::pair<const wchar_t*, _variant_t>> values) {
        Held<IWbemClassObject> instance;
        must(cls->SpawnInstance(0, &instance.p), "SpawnInstance");
        for (const auto& [name, value] : values) {
            _variant_t copy(value);
            must(instance->Put(name, 0, &copy, 0), "Put");
        }
        must(m_services->PutInstance(instance.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
             "PutInstance");
    }

    void fillItems() {
        {
            Held<IWbemClassObject> cls = newClass(L"QueryItem");
            cls->Put(L"Id", 0, nullptr, CIM_SINT32);
            cls->Put(L"Name", 0, nullptr, CIM_STRING);
            cls->Put(L"Value", 0, nullptr, CIM_SINT32);
            qualify(cls.p, L"Id", L"key", _variant_t(true));
            must(m_services->PutClass(cls.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
        }
        Held<IWbemClassObject> cls = stored(L"QueryItem");
        for (long id = 0; id < kInstances; ++id)
            put(cls.p, {{L"Id", _variant_t(id)},
                        {L"Name", _variant_t((L"item number " + std::to_wstring(id)).c_str())},
                        {L"Value", _variant_t(id % 1000)}});
    }

    static std::wstring node(long n) { return L"Node.Name=\"n" + std::to_wstring(n) + L"\""; }

    void fillNodes() {
        {
            Held<IWbemClassObject> cls = newClass(L"Node");
            cls->Put(L"Name", 0, nullptr, CIM_STRING);
            qualify(cls.p, L"Name", L"key", _variant_t(true));
            must(m_services->PutClass(cls.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
            Held<IWbemClassObject> link = newClass(L"Link");
            qualify(link.p, nullptr, L"Association", _variant_t(true));
            for (const wchar_t* end : {L"Left", L"Right"}) {
                link->Put(end, 0, nullptr, CIM_REFERENCE);
                qualify(link.p, end, L"key", _variant_t(true));
                qualify(link.p, end, L"CIMTYPE", _variant_t(L"ref:Node"));
            }
            must(m_services->PutClass(link.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
        }
        Held<IWbemClassObject> nodeClass = stored(L"Node");
        for (long n = 0; n < kNodes; ++n)
            put(nodeClass.p, {{L"Name", _variant_t((L"n" + std::to_wstring(n)).c_str())}});
        put(nodeClass.p, {{L"Name", _variant_t(L"hub")}});
        // Every node is linked to its next and second-next neighbour (four associations each);
        // the hub to the first five nodes.
        Held<IWbemClassObject> linkClass = stored(L"Link");
        for (long k = 0; k < kAssociations - kHubLinks; ++k) {
            const long left = k % kNodes;
            const long right = (left + 1 + k / kNodes) % kNodes;
            put(linkClass.p, {{L"Left", _variant_t(node(left).c_str())},
                              {L"Right", _variant_t(node(right).c_str())}});
        }
        for (long n = 0; n < kHubLinks; ++n)
            put(linkClass.p, {{L"Left", _variant_t(L"Node.Name=\"hub\"")},
                              {L"Right", _variant_t(node(n).c_str())}});
    }

    IWbemServices* m_services = nullptr;
};

long drain(IEnumWbemClassObject* enumerator) {
    long count = 0;
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
        if (returned == 0)
            return count;
        benchmark::DoNotOptimize(object);
        object->Release();
        ++count;
    }
}

void associators(benchmark::State& state) {
    IWbemServices* services = Service::get().services();
    const _bstr_t wql(L"WQL"), query(L"ASSOCIATORS OF {Node.Name=\"hub\"}");
    for (auto _ : state) {
        Held<IEnumWbemClassObject> enumerator;
        must(services->ExecQuery(wql, query,
                                 WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY |
                                     WBEM_FLAG_ENSURE_LOCATABLE,
                                 nullptr, &enumerator.p),
             "ExecQuery");
        if (drain(enumerator.p) != kHubLinks)
            throw std::runtime_error("ASSOCIATORS OF lost objects");
    }
}

void getObject(benchmark::State& state) {
    IWbemServices* services = Service::get().services();
    const _bstr_t path(L"Node.Name=\"hub\"");
    for (auto _ : state) {
        Held<IWbemClassObject> object;
        must(services->GetObject(path, 0, nullptr, &object.p, nullptr), "GetObject");
        benchmark::DoNotOptimize(object.p);
    }
}

void selectWhere(benchmark::State& state) {
    IWbemServices* services = Service::get().services();
    const _bstr_t wql(L"WQL"), query(L"SELECT * FROM QueryItem WHERE Value = 7");
    for (auto _ : state) {
        Held<IEnumWbemClassObject> enumerator;
        must(services->ExecQuery(wql, query, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                 nullptr, &enumerator.p),
             "ExecQuery");
        if (drain(enumerator.p) != kMatches)
            throw std::runtime_error("SELECT lost objects");
    }
}

void enumerateAndFilter(benchmark::State& state) {
    IWbemServices* services = Service::get().services();
    const _bstr_t className(L"QueryItem");
    for (auto _ : state) {
        Held<IEnumWbemClassObject> enumerator;
        must(services->CreateInstanceEnum(className,
                                          WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                          nullptr, &enumerator.p),
             "CreateInstanceEnum");
        long matches = 0;
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
            if (returned == 0)
                break;
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(object->Get(L"Value", 0, &value, nullptr, nullptr)) &&
                value.vt == VT_I4 && value.lVal == 7)
                ++matches;
            VariantClear(&value);
            object->Release();
        }
        if (matches != kMatches)
            throw std::runtime_error("the enumeration lost objects");
    }
}

} // namespace

BENCHMARK(associators)->Name("ASSOCIATORS OF 5 among 100k associations/zudava");
BENCHMARK(getObject)->Name("ASSOCIATORS OF 5 among 100k associations/baseline");
BENCHMARK(selectWhere)->Name("SELECT WHERE P = v over 100k/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(enumerateAndFilter)
    ->Name("SELECT WHERE P = v over 100k/baseline")
    ->Unit(benchmark::kMillisecond);
ZUDAVA_BENCHMARK_MAIN()
