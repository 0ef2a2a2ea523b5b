// `zudava enum` of 100,000 instances to /dev/null, as a person runs it (a process that connects,
// enumerates and writes a table or JSON), against the bare walk a program does in the same run:
// a forward-only CreateInstanceEnum that reads every property of every object and writes
// nothing. The ratio is the price of the tool's process, its formatting and its output.
#include "Ratios.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

constexpr long kInstances = 100000;

// A machine state folder of the run's own, set before the service is first used.
const std::string g_folder = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "zudava-tool-bench-XXXXXX");
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

template <class T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
};

// root\default with the class Bulk (Id, Name, Value, Even) and kInstances instances of it.
class Service {
public:
    static Service& get() {
        static Service service;
        return service;
    }
    IWbemServices* services() const { return m_services.p; }

private:
    Service() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Held<IWbemLocator> locator;
        must(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&locator.p)),
             "CoCreateInstance");
        must(locator->ConnectServer(_bstr_t(L"root\\default"), nullptr, nullptr, nullptr, 0,
                                    nullptr, nullptr, &m_services.p),
             "ConnectServer");
        {
            Held<IWbemClassObject> cls;
            must(m_services->GetObject(nullptr, 0, nullptr, &cls.p, nullptr), "GetObject");
            _variant_t name(L"Bulk");
            must(cls->Put(L"__CLASS", 0, &name, 0), "Put __CLASS");
            must(cls->Put(L"Id", 0, nullptr, CIM_UINT32), "Put Id");
            must(cls->Put(L"Name", 0, nullptr, CIM_STRING), "Put Name");
            must(cls->Put(L"Value", 0, nullptr, CIM_SINT64), "Put Value");
            must(cls->Put(L"Even", 0, nullptr, CIM_BOOLEAN), "Put Even");
            Held<IWbemQualifierSet> qualifiers;
            must(cls->GetPropertyQualifierSet(L"Id", &qualifiers.p), "GetPropertyQualifierSet");
            _variant_t key(true);
            must(qualifiers->Put(L"key", &key, 0), "Put key");
            must(m_services->PutClass(cls.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
        }
        Held<IWbemClassObject> cls;
        must(m_services->GetObject(_bstr_t(L"Bulk"), 0, nullptr, &cls.p, nullptr), "GetObject");
        for (long id = 0; id < kInstances; ++id) {
            Held<IWbemClassObject> instance;
            must(cls->SpawnInstance(0, &instance.p), "SpawnInstance");
            _variant_t values[] = {
                _variant_t(id), _variant_t((L"item " + std::to_wstring(id)).c_str()),
                _variant_t(std::to_wstring(id * 7).c_str()), _variant_t(id % 2 == 0)};
            const wchar_t* names[] = {L"Id", L"Name", L"Value", L"Even"};
            for (int i = 0; i < 4; ++i)
                must(instance->Put(names[i], 0, &values[i], 0), "Put");
            must(m_services->PutInstance(instance.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
                 "PutInstance");
        }
    }

    Held<IWbemServices> m_services;
};

// The bare walk: every object, every property read into a VARIANT, nothing written.
void walk(benchmark::State& state) {
    IWbemServices* services = Service::get().services();
    for (auto _ : state) {
        Held<IEnumWbemClassObject> enumerator;
        must(services->CreateInstanceEnum(_bstr_t(L"Bulk"),
                                          WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                          nullptr, &enumerator.p),
             "CreateInstanceEnum");
        long objects = 0;
        for (;;) {
            Held<IWbemClassObject> object;
            ULONG returned = 0;
            enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object.p, &returned);
            if (returned == 0)
                break;
            ++objects;
            object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
            BSTR name = nullptr;
            VARIANT value;
            VariantInit(&value);
            CIMTYPE type = 0;
            while (object->Next(0, &name, &value, &type, nullptr) == WBEM_S_NO_ERROR) {
                SysFreeString(name);
                VariantClear(&value);
            }
            object->EndEnumeration();
        }
        if (objects != kInstances)
            throw std::runtime_error("the enumeration lost objects");
    }
}

// The tool, as a child process with its output to /dev/null.
void tool(benchmark::State& state, const char* format) {
    Service::get();
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            if (!freopen("/dev/null", "w", stdout))
                _exit(126);
            execl(ZUDAVA_TOOL, ZUDAVA_TOOL, "enum", "-n", "root\\default", "--format", format,
                  "Bulk", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            throw std::runtime_error("zudava enum failed");
    }
}

} // namespace

BENCHMARK(walk)
    ->Name("enum 100k instances as a table/baseline")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(tool, table, "table")
    ->Name("enum 100k instances as a table/zudava")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(walk)
    ->Name("enum 100k instances as JSON/baseline")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(tool, json, "json")
    ->Name("enum 100k instances as JSON/zudava")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
ZUDAVA_BENCHMARK_MAIN()
