// Class objects as the repository reads them back: decoding a stored instance and reading each
// of its properties, against building the same VARIANTs from already parsed values and reading
// them (the least any object model must do) in the same run; and encoding an instance against
// copying its values' bytes into one buffer.
#include "Ratios.h"

#include <comdef.h>
#include <wbemcli.h>

#include "wbem/object.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

using zp::wbem::ClassDefPtr;
using zp::wbem::ClassObject;

struct Fixture {
    ClassDefPtr definition;
    std::vector<uint8_t> bytes;
    ClassObject* sample = nullptr;

    Fixture() {
        IWbemClassObject* cls = zp::wbem::newClass();
        _variant_t name(L"Bench_Item");
        cls->Put(L"__CLASS", 0, &name, 0);
        cls->Put(L"Id", 0, nullptr, CIM_UINT32);
        IWbemQualifierSet* set = nullptr;
        cls->GetPropertyQualifierSet(L"Id", &set);
        _variant_t yes(true);
        set->Put(L"key", &yes, 0);
        set->Release();
        cls->Put(L"Name", 0, nullptr, CIM_STRING);
        cls->Put(L"Size", 0, nullptr, CIM_UINT64);
        cls->Put(L"Enabled", 0, nullptr, CIM_BOOLEAN);
        cls->Put(L"Ratio", 0, nullptr, CIM_REAL64);
        definition = ClassObject::from(cls)->definition();
        IWbemClassObject* instance = nullptr;
        cls->SpawnInstance(0, &instance);
        cls->Release();
        _variant_t id(123456L), text(L"an item with a name of ordinary length"),
            size(L"1099511627776"), enabled(true), ratio(0.75);
        instance->Put(L"Id", 0, &id, 0);
        instance->Put(L"Name", 0, &text, 0);
        instance->Put(L"Size", 0, &size, 0);
        instance->Put(L"Enabled", 0, &enabled, 0);
        instance->Put(L"Ratio", 0, &ratio, 0);
        sample = ClassObject::from(instance);
        zp::wbem::encodeInstance(*sample, bytes);
    }
    ~Fixture() { sample->Release(); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

const wchar_t* const kNames[] = {L"Id", L"Name", L"Size", L"Enabled", L"Ratio"};

void decodeAndRead(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        ClassObject* object = nullptr;
        zp::wbem::decodeInstance(f.bytes.data(), f.bytes.size(), f.definition, nullptr, &object);
        for (const wchar_t* name : kNames) {
            VARIANT value;
            object->Get(name, 0, &value, nullptr, nullptr);
            VariantClear(&value);
        }
        object->Release();
    }
}
BENCHMARK(decodeAndRead)->Name("decode instance and Get each property/zudava");

void buildAndRead(benchmark::State& state) {
    const std::wstring text = L"an item with a name of ordinary length";
    const std::wstring size = L"1099511627776";
    for (auto _ : state) {
        // The values as an object holds them, then each copied out once.
        VARIANT held[5];
        held[0].vt = VT_I4;
        held[0].lVal = 123456;
        held[1].vt = VT_BSTR;
        held[1].bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
        held[2].vt = VT_BSTR;
        held[2].bstrVal = SysAllocStringLen(size.data(), UINT(size.size()));
        held[3].vt = VT_BOOL;
        held[3].boolVal = VARIANT_TRUE;
        held[4].vt = VT_R8;
        held[4].dblVal = 0.75;
        for (VARIANT& v : held) {
            VARIANT copy;
            VariantInit(&copy);
            VariantCopy(&copy, &v);
            benchmark::DoNotOptimize(copy);
            VariantClear(&copy);
            VariantClear(&v);
        }
    }
}
BENCHMARK(buildAndRead)->Name("decode instance and Get each property/baseline");

void encode(benchmark::State& state) {
    Fixture& f = fixture();
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        zp::wbem::encodeInstance(*f.sample, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(encode)->Name("encode instance/zudava");

void copyBytes(benchmark::State& state) {
    const std::wstring text = L"an item with a name of ordinary length";
    const std::wstring size = L"1099511627776";
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        bytes.clear();
        const LONG id = 123456;
        const double ratio = 0.75;
        bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&id),
                     reinterpret_cast<const uint8_t*>(&id + 1));
        for (const std::wstring* s : {&text, &size})
            for (wchar_t c : *s) {
                bytes.push_back(uint8_t(c));
                bytes.push_back(uint8_t(c >> 8));
            }
        bytes.push_back(1);
        bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&ratio),
                     reinterpret_cast<const uint8_t*>(&ratio + 1));
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(copyBytes)->Name("encode instance/baseline");

} // namespace

ZUDAVA_BENCHMARK_MAIN()
