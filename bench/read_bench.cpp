// Reads of Win32_Service through public COM against our service: one enumeration of all its
// instances, and GetObject of each by path (bench/ReadWorkload.h). bench/run_read_bench.sh runs
// the same reads under Wine against Wine's own service and sets the per-object costs side by side.
#include "ReadWorkload.h"
#include "Ratios.h"

#include <comdef.h>

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

// A machine state folder of the run's own, set before the service is first used.
const std::string g_folder = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "zudava-read-bench-XXXXXX");
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

class Com {
public:
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

void must(HRESULT hr, const char* what) {
    if (FAILED(hr))
        throw std::runtime_error(std::string(what) + " failed");
}

void put(IWbemClassObject* object, const wchar_t* name, _variant_t value, CIMTYPE type = 0) {
    must(object->Put(name, 0, &value, type), "Put");
}

// Win32_Service as the reads see it on Windows: keyed by Name, with the services Wine lists.
void storeServices(IWbemServices* services) {
    IWbemClassObject* found = nullptr;
    if (SUCCEEDED(services->GetObject(_bstr_t(L"Win32_Service"), 0, nullptr, &found, nullptr))) {
        found->Release();
        return;
    }
    IWbemClassObject* cls = nullptr;
    must(services->GetObject(nullptr, 0, nullptr, &cls, nullptr), "GetObject");
    put(cls, L"__CLASS", _variant_t(L"Win32_Service"));
    for (const wchar_t* name : {L"DisplayName", L"Name", L"StartMode", L"State"})
        put(cls, name, _variant_t(), CIM_STRING);
    put(cls, L"ProcessID", _variant_t(), CIM_UINT32);
    IWbemQualifierSet* qualifiers = nullptr;
    must(cls->GetPropertyQualifierSet(L"Name", &qualifiers), "GetPropertyQualifierSet");
    _variant_t yes(true);
    must(qualifiers->Put(L"key", &yes, 0), "Put key");
    qualifiers->Release();
    must(services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
    cls->Release();
    must(services->GetObject(_bstr_t(L"Win32_Service"), 0, nullptr, &cls, nullptr), "GetObject");
    for (const std::wstring& service : bench::serviceNames()) {
        IWbemClassObject* instance = nullptr;
        must(cls->SpawnInstance(0, &instance), "SpawnInstance");
        put(instance, L"Name", _variant_t(service.c_str()));
        put(instance, L"DisplayName", _variant_t((service + L" Service").c_str()));
        put(instance, L"StartMode", _variant_t(L"Manual"));
        put(instance, L"State", _variant_t(L"Stopped"));
        put(instance, L"ProcessID", _variant_t(0L));
        must(services->PutInstance(instance, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
             "PutInstance");
        instance->Release();
    }
    cls->Release();
}

template <size_t (*Read)(IWbemServices*)>
void readBenchmark(benchmark::State& state) {
    const Com com;
    const bench::Cimv2 cimv2;
    if (!cimv2.get()) {
        state.SkipWithError("no connection to root\\cimv2");
        return;
    }
    storeServices(cimv2.get());
    size_t objects = 0;
    for (auto _ : state) {
        const size_t read = Read(cimv2.get());
        if (!read) {
            state.SkipWithError("a read call failed");
            return;
        }
        objects += read;
    }
    state.SetItemsProcessed(static_cast<int64_t>(objects));
}

void Win32_Service_enumerate(benchmark::State& state) {
    readBenchmark<bench::enumerateServices>(state);
}

void Win32_Service_get(benchmark::State& state) {
    readBenchmark<bench::getServices>(state);
}

} // namespace

BENCHMARK(Win32_Service_enumerate)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Win32_Service_get)->Unit(benchmark::kMicrosecond)->UseRealTime();

ZUDAVA_BENCHMARK_MAIN();
