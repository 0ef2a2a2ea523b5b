// The object model over the embedded WMI service, against the same work done on the raw
// interfaces in the same run: reading one instance and ten of its properties by name
// (WmiHandle::getInstance and WmiObject::getProperty against IWbemServices::GetObject and
// IWbemClassObject::Get), and walking 10,000 instances (WmiHandle::enumerateInstances with
// hasNext/getNext against IEnumWbemClassObject::Next one object at a time).
#include "Ratios.h"

#include <zudava/zudava.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

constexpr long kInstances = 10000;
constexpr int kProperties = 10;
const wchar_t kNameSpace[] = L"root\\default";

const wchar_t* propertyName(int i) {
    static const wchar_t* const names[kProperties] = {L"P0", L"P1", L"P2", L"P3", L"P4",
                                                      L"P5", L"P6", L"P7", L"P8", L"P9"};
    return names[i];
}

// A repository of its own, one class "Zb_Item" (key "Id", ten string properties) and its
// instances, made once for the whole run.
struct World {
    World() {
        std::string folder =
            (std::filesystem::temp_directory_path() / "zudava-bench-XXXXXX").string();
        if (!mkdtemp(&folder[0]))
            abort();
        setenv("ZUDAVA_STATE_DIR", folder.c_str(), 1);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        services = DEZE::WmiConnectionFactory::create(kNameSpace).getServices();
        DEZE::WmiClass item(kNameSpace, L"Zb_Item", L"");
        item.setProperty(DEZE::WmiProperty(L"Id", _variant_t(0L), CIM_SINT32, nullptr));
        item.getProperty(L"Id").setQualifier(DEZE::WmiQualifier(L"key", _variant_t(true), 0));
        for (int p = 0; p < kProperties; ++p)
            item.setProperty(
                DEZE::WmiProperty(propertyName(p), _variant_t(L""), CIM_STRING, nullptr));
        if (FAILED(services->PutClass(item, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr)))
            abort();
        for (long id = 0; id < kInstances; ++id) {
            DEZE::IWbemClassObjectPtr instance;
            item->SpawnInstance(0, &instance);
            _variant_t key(id);
            instance->Put(L"Id", 0, &key, 0);
            for (int p = 0; p < kProperties; ++p) {
                _variant_t value((std::wstring(L"value ") + std::to_wstring(id * 10 + p)).c_str());
                instance->Put(propertyName(p), 0, &value, 0);
            }
            if (FAILED(services->PutInstance(instance, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr)))
                abort();
        }
    }

    DEZE::IWbemServicesPtr services;
    DEZE::WmiHandle handle;
    DEZE::WmiContext context{DEZE::IWbemContextPtr()};
};

World& world() {
    static World* const instance = new World; // lives to the end of the process
    return *instance;
}

const wchar_t kInstancePath[] = L"root\\default:Zb_Item.Id=4242";

void readOurs(benchmark::State& state) {
    World& w = world();
    const DEZE::WmiObjectPath path{_bstr_t(kInstancePath)};
    for (auto _ : state) {
        const DEZE::WmiInstance instance = w.handle.getInstance(w.context, path);
        for (int p = 0; p < kProperties; ++p)
            benchmark::DoNotOptimize(instance.getProperty(_bstr_t(propertyName(p))));
    }
}

void readRaw(benchmark::State& state) {
    World& w = world();
    const _bstr_t path(kInstancePath);
    for (auto _ : state) {
        DEZE::IWbemClassObjectPtr object;
        if (FAILED(w.services->GetObject(path, 0, nullptr, &object, nullptr)))
            state.SkipWithError("GetObject failed");
        for (int p = 0; p < kProperties; ++p) {
            _variant_t value;
            CIMTYPE type = 0;
            object->Get(propertyName(p), 0, &value, &type, nullptr);
            benchmark::DoNotOptimize(value);
        }
    }
}

void walkOurs(benchmark::State& state) {
    World& w = world();
    const DEZE::WmiObjectPath path{_bstr_t(L"root\\default:Zb_Item")};
    for (auto _ : state) {
        const DEZE::WmiObjectEnumeration objects = w.handle.enumerateInstances(w.context, path);
        long count = 0;
        while (objects.hasNext()) {
            benchmark::DoNotOptimize(objects.getNext());
            ++count;
        }
        if (count != kInstances)
            state.SkipWithError("wrong count");
    }
}

void walkRaw(benchmark::State& state) {
    World& w = world();
    const _bstr_t className(L"Zb_Item");
    for (auto _ : state) {
        DEZE::IEnumWbemClassObjectPtr objects;
        w.services->CreateInstanceEnum(
            className, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &objects);
        long count = 0;
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            objects->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
            if (returned != 1)
                break;
            object->Release();
            ++count;
        }
        if (count != kInstances)
            state.SkipWithError("wrong count");
    }
}

BENCHMARK(readOurs)->Name("instance_and_10_properties/zudava")->Unit(benchmark::kMicrosecond);
BENCHMARK(readRaw)->Name("instance_and_10_properties/baseline")->Unit(benchmark::kMicrosecond);
BENCHMARK(walkOurs)->Name("enumerate_10000_instances/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(walkRaw)->Name("enumerate_10000_instances/baseline")->Unit(benchmark::kMillisecond);

} // namespace

ZUDAVA_BENCHMARK_MAIN()
