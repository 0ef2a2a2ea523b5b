// Reads of Win32_Service through public COM against our service: one enumeration of all its
// instances, and GetObject of each by path (bench/ReadWorkload.h). bench/run_read_bench.sh runs
// the same reads under Wine against Wine's own service and sets the per-object costs side by side.
#include "ReadWorkload.h"
#include "Ratios.h"
#include "Repository.h"

#include <comdef.h>

#include <string>

namespace {

const bench::StateFolder g_state("zudava-read-bench");

class Com {
public:
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

// Win32_Service as the reads see it on Windows: keyed by Name, with the services Wine lists.
void storeServices(IWbemServices* services) {
    if (bench::Held<IWbemClassObject> found;
        SUCCEEDED(services->GetObject(_bstr_t(L"Win32_Service"), 0, nullptr, &found.p, nullptr)))
        return;
    bench::Held<IWbemClassObject> cls = bench::storeClass(services, L"Win32_Service",
                                                          {{L"DisplayName", CIM_STRING},
                                                           {L"Name", CIM_STRING, true},
                                                           {L"StartMode", CIM_STRING},
                                                           {L"State", CIM_STRING},
                                                           {L"ProcessID", CIM_UINT32}});
    for (const std::wstring& service : bench::serviceNames())
        bench::putInstance(services, cls.p,
                           {{L"Name", _variant_t(service.c_str())},
                            {L"DisplayName", _variant_t((service + L" Service").c_str())},
                            {L"StartMode", _variant_t(L"Manual")},
                            {L"State", _variant_t(L"Stopped")},
                            {L"ProcessID", _variant_t(0L)}});
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
