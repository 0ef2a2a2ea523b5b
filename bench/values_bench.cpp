// The text of large arrays and the parsing of CIM datetimes, each against the C library doing
// the bare formatting or scanning of the same data in the same run: WmiValue::toString of a
// 10,000-element sint32 and real64 array against a loop of snprintf into one buffer, and the
// WmiDateTime text constructor against swscanf of the same texts.
#include "Ratios.h"

#include <zudava/zudava.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

constexpr ULONG kElements = 10000;

template <typename T>
_variant_t arrayVariant(VARTYPE vt, const std::vector<T>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, ULONG(values.size()));
    T* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    memcpy(data, values.data(), values.size() * sizeof(T));
    SafeArrayUnaccessData(array);
    _variant_t v;
    V_VT(&v) = VT_ARRAY | vt;
    V_ARRAY(&v) = array;
    return v;
}

std::vector<LONG> integers() {
    std::vector<LONG> values(kElements);
    uint32_t state = 12345;
    for (LONG& v : values) {
        state = state * 1103515245u + 12345u;
        v = LONG(state) >> (state % 24); // numbers of every length and both signs
    }
    return values;
}

std::vector<double> reals() {
    std::vector<double> values(kElements);
    uint32_t state = 54321;
    for (double& v : values) {
        state = state * 1103515245u + 12345u;
        v = (double(state) - 2147483648.0) / double((state % 977) + 1) * 1e-3;
    }
    return values;
}

void sint32Ours(benchmark::State& state) {
    const DEZE::WmiValue value(arrayVariant<LONG>(VT_I4, integers()), 3 | 0x2000);
    for (auto _ : state)
        benchmark::DoNotOptimize(value.toString());
}

void sint32Snprintf(benchmark::State& state) {
    const std::vector<LONG> values = integers();
    std::vector<char> buffer(kElements * 23);
    for (auto _ : state) {
        char* p = buffer.data();
        char* const end = p + buffer.size();
        for (ULONG i = 0; i < kElements; ++i) {
            p += snprintf(p, size_t(end - p), "%d", int(values[i]));
            if (i + 1 < kElements) {
                memcpy(p, ", ", 2);
                p += 2;
            }
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
}

void real64Ours(benchmark::State& state) {
    const DEZE::WmiValue value(arrayVariant<double>(VT_R8, reals()), 5 | 0x2000);
    for (auto _ : state)
        benchmark::DoNotOptimize(value.toString());
}

void real64Snprintf(benchmark::State& state) {
    const std::vector<double> values = reals();
    std::vector<char> buffer(kElements * 67);
    for (auto _ : state) {
        char* p = buffer.data();
        char* const end = p + buffer.size();
        for (ULONG i = 0; i < kElements; ++i) {
            p += snprintf(p, size_t(end - p), "%.16e", values[i]);
            if (i + 1 < kElements) {
                memcpy(p, ", ", 2);
                p += 2;
            }
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
}

std::vector<std::wstring> dateTexts() {
    std::vector<std::wstring> texts;
    for (int i = 0; i < 64; ++i) {
        wchar_t text[26];
        swprintf(text, 26, L"%04d%02d%02d%02d%02d%02d.%06d%c%03d", 1990 + i % 40, 1 + i % 12,
                 1 + i % 28, i % 24, (i * 7) % 60, (i * 13) % 60, i * 15013 % 1000000,
                 i % 2 ? L'+' : L'-', (i * 30) % 720);
        texts.push_back(text);
    }
    return texts;
}

void dateOurs(benchmark::State& state) {
    std::vector<_bstr_t> texts;
    for (const std::wstring& text : dateTexts())
        texts.emplace_back(text.c_str());
    size_t i = 0;
    for (auto _ : state) {
        DEZE::WmiDateTime value(texts[i++ % texts.size()]);
        benchmark::DoNotOptimize(value.toMicroseconds());
    }
}

void dateSwscanf(benchmark::State& state) {
    const std::vector<std::wstring> texts = dateTexts();
    size_t i = 0;
    for (auto _ : state) {
        unsigned fields[8];
        benchmark::DoNotOptimize(swscanf(
            texts[i++ % texts.size()].c_str(), L"%4u%2u%2u%2u%2u%2u.%6u%4d", &fields[0], &fields[1],
            &fields[2], &fields[3], &fields[4], &fields[5], &fields[6], &fields[7]));
        benchmark::DoNotOptimize(fields);
    }
}

BENCHMARK(sint32Ours)->Name("sint32_array_text/zudava")->Unit(benchmark::kMicrosecond);
BENCHMARK(sint32Snprintf)->Name("sint32_array_text/baseline")->Unit(benchmark::kMicrosecond);
BENCHMARK(real64Ours)->Name("real64_array_text/zudava")->Unit(benchmark::kMicrosecond);
BENCHMARK(real64Snprintf)->Name("real64_array_text/baseline")->Unit(benchmark::kMicrosecond);
BENCHMARK(dateOurs)->Name("datetime_parse/zudava");
BENCHMARK(dateSwscanf)->Name("datetime_parse/baseline");

} // namespace

ZUDAVA_BENCHMARK_MAIN()
