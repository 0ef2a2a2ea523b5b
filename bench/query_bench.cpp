// WQL queries of the embedded WMI service against the work a caller would do without them, in
// the same run:
//   - ASSOCIATORS OF one node with 5 associations, in a repository of 100,000 associations,
//     against a GetObject of that one node (the goal: within 10 times its cost, since the index
//     makes the query's cost follow its result and not the repository);
//   - SELECT * FROM C WHERE P = v over 100,000 instances, against a forward-only
//     CreateInstanceEnum of the same class with the same test made by the caller on each object
//     (the goal: at least as fast).
#include "Ratios.h"
#include "Repository.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <stdexcept>
#include <string>

namespace {

constexpr long kInstances = 100000;
constexpr long kNodes = 50000;
constexpr long kAssociations = 100000;
constexpr long kHubLinks = 5;
constexpr long kMatches = kInstances / 1000; // Value = Id % 1000: one instance in 1,000 matches

const bench::StateFolder g_state("zudava-query-bench");

using bench::Held;
using bench::must;
using bench::putInstance;
using bench::qualify;
using bench::storedClass;

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
        m_services = bench::connectDefault();
        fillItems();
        fillNodes();
    }

    void fillItems() {
        Held<IWbemClassObject> cls = bench::storeClass(
            m_services, L"QueryItem",
            {{L"Id", CIM_SINT32, true}, {L"Name", CIM_STRING}, {L"Value", CIM_SINT32}});
        for (long id = 0; id < kInstances; ++id)
            putInstance(m_services, cls.p,
                        {{L"Id", _variant_t(id)},
                         {L"Name", _variant_t((L"item number " + std::to_wstring(id)).c_str())},
                         {L"Value", _variant_t(id % 1000)}});
    }

    static std::wstring node(long n) { return L"Node.Name=\"n" + std::to_wstring(n) + L"\""; }

    void fillNodes() {
        Held<IWbemClassObject> nodeClass =
            bench::storeClass(m_services, L"Node", {{L"Name", CIM_STRING, true}});
        {
            Held<IWbemClassObject> link = bench::newClass(m_services, L"Link");
            qualify(link.p, nullptr, L"Association", _variant_t(true));
            for (const wchar_t* end : {L"Left", L"Right"}) {
                link->Put(end, 0, nullptr, CIM_REFERENCE);
                qualify(link.p, end, L"key", _variant_t(true));
                qualify(link.p, end, L"CIMTYPE", _variant_t(L"ref:Node"));
            }
            must(m_services->PutClass(link.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
        }
        for (long n = 0; n < kNodes; ++n)
            putInstance(m_services, nodeClass.p,
                        {{L"Name", _variant_t((L"n" + std::to_wstring(n)).c_str())}});
        putInstance(m_services, nodeClass.p, {{L"Name", _variant_t(L"hub")}});
        // Every node is linked to its next and second-next neighbour (four associations each);
        // the hub to the first five nodes.
        Held<IWbemClassObject> linkClass = storedClass(m_services, L"Link");
        for (long k = 0; k < kAssociations - kHubLinks; ++k) {
            const long left = k % kNodes;
            const long right = (left + 1 + k / kNodes) % kNodes;
            putInstance(m_services, linkClass.p,
                        {{L"Left", _variant_t(node(left).c_str())},
                         {L"Right", _variant_t(node(right).c_str())}});
        }
        for (long n = 0; n < kHubLinks; ++n)
            putInstance(m_services, linkClass.p,
                        {{L"Left", _variant_t(L"Node.Name=\"hub\"")},
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
