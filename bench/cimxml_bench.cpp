// CIM-XML of one instance of 50 properties (sint32, string, real64 and boolean in turn) through
// IWbemObjectTextSrc::GetText, against snprintf of the same values with the same element text
// into one buffer: what the object interface, escaping and shortest-form reals cost over bare
// formatting.
#include "Ratios.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

constexpr int kProperties = 50;

struct Fixture {
    IWbemObjectTextSrc* source = nullptr;
    IWbemClassObject* instance = nullptr;

    Fixture() {
        // The locator's repository lives in a state folder of the benchmark's own.
        if (!getenv("ZUDAVA_STATE_DIR")) {
            static char folder[] = "/tmp/cimxml_bench.XXXXXX";
            if (mkdtemp(folder))
                setenv("ZUDAVA_STATE_DIR", folder, 1);
        }
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IWbemLocator* locator = nullptr;
        IWbemServices* services = nullptr;
        IWbemClassObject* cls = nullptr;
        CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                         reinterpret_cast<void**>(&locator));
        locator->ConnectServer(_bstr_t(L"root"), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                               &services);
        services->GetObject(nullptr, 0, nullptr, &cls, nullptr);
        _variant_t name(L"Bench");
        cls->Put(L"__CLASS", 0, &name, 0);
        for (int i = 0; i < kProperties; ++i) {
            const CIMTYPE types[] = {CIM_SINT32, CIM_STRING, CIM_REAL64, CIM_BOOLEAN};
            cls->Put((L"P" + std::to_wstring(i)).c_str(), 0, nullptr, types[i % 4]);
        }
        cls->SpawnInstance(0, &instance);
        for (int i = 0; i < kProperties; ++i) {
            _variant_t value;
            switch (i % 4) {
            case 0:
                value = _variant_t(static_cast<long>(i * 7919));
                break;
            case 1:
                value = _variant_t((L"value number " + std::to_wstring(i)).c_str());
                break;
            case 2:
                value = _variant_t(i * 0.1);
                break;
            default:
                value = _variant_t(i % 8 == 3);
                break;
            }
            instance->Put((L"P" + std::to_wstring(i)).c_str(), 0, &value, 0);
        }
        CoCreateInstance(CLSID_WbemObjectTextSrc, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWbemObjectTextSrc, reinterpret_cast<void**>(&source));
        cls->Release();
        services->Release();
        locator->Release();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void getText(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        BSTR text = nullptr;
        f.source->GetText(0, f.instance, WMI_OBJ_TEXT_CIM_DTD_2_0, nullptr, &text);
        benchmark::DoNotOptimize(text);
        SysFreeString(text);
    }
}

void snprintfText(benchmark::State& state) {
    static const char* const types[] = {"sint32", "string", "real64", "boolean"};
    for (auto _ : state) {
        char buffer[8192];
        int at = snprintf(buffer, sizeof buffer, "<INSTANCE CLASSNAME=\"Bench\">");
        for (int i = 0; i < kProperties; ++i) {
            at += snprintf(buffer + at, sizeof buffer - at,
                           "<PROPERTY NAME=\"P%d\" TYPE=\"%s\"><VALUE>", i, types[i % 4]);
            switch (i % 4) {
            case 0:
                at += snprintf(buffer + at, sizeof buffer - at, "%d", i * 7919);
                break;
            case 1:
                at += snprintf(buffer + at, sizeof buffer - at, "value number %d", i);
                break;
            case 2:
                at += snprintf(buffer + at, sizeof buffer - at, "%.17g", i * 0.1);
                break;
            default:
                at +=
                    snprintf(buffer + at, sizeof buffer - at, "%s", i % 8 == 3 ? "TRUE" : "FALSE");
                break;
            }
            at += snprintf(buffer + at, sizeof buffer - at, "</VALUE></PROPERTY>");
        }
        at += snprintf(buffer + at, sizeof buffer - at, "</INSTANCE>");
        benchmark::DoNotOptimize(buffer);
        benchmark::DoNotOptimize(at);
    }
}

BENCHMARK(getText)->Name("cimxml_instance_50/zudava")->Unit(benchmark::kMicrosecond);
BENCHMARK(snprintfText)->Name("cimxml_instance_50/baseline")->Unit(benchmark::kMicrosecond);

} // namespace

ZUDAVA_BENCHMARK_MAIN()
