// Arbitrary UTF-16 text through the CIM datetime parser: it either raises "Invalid argument" or
// keeps the text unchanged, and well-formed intervals come back from their microseconds.
#include <zudava/zudava.h>

#include <stdlib.h>
#include <time.h>
#include <wchar.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC0", 1);
    tzset();
    return 0;
}

namespace {
bool allDigits(const wchar_t* text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
    }
    return true;
}
unsigned field(const wchar_t* text, size_t from, size_t to) {
    unsigned value = 0;
    for (size_t i = from; i < to; ++i)
        value = value * 10 + unsigned(text[i] - L'0');
    return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units.push_back(wchar_t(data[i] | (data[i + 1] << 8)));
    BSTR raw = SysAllocStringLen(units.data(), UINT(units.size()));
    const _bstr_t input(raw, false);
    try {
        DEZE::WmiDateTime value(input);
        const wchar_t* text = value;
        if (wcslen(text) != 25 || wmemcmp(text, units.c_str(), 25) != 0)
            abort();
        if (value.isInterval() != (text[21] == L':'))
            abort();
        if (value.isInterval() && allDigits(text, 0, 14) && allDigits(text, 15, 21)) {
            const unsigned days = field(text, 0, 8), hours = field(text, 8, 10),
                           minutes = field(text, 10, 12), seconds = field(text, 12, 14),
                           micro = field(text, 15, 21);
            const uint64_t total = (((uint64_t(days) * 24 + hours) * 60 + minutes) * 60 + seconds);
            if (uint64_t(value.toMicroseconds()) != total * 1000000 + micro)
                abort();
            if (hours < 24 && minutes < 60 && seconds < 60 && wcscmp(text + 21, L":000") == 0) {
                DEZE::WmiDateTime again(total, micro, true);
                if (wcscmp(static_cast<const wchar_t*>(again), text) != 0)
                    abort();
            }
        }
    } catch (const DEZE::WmiException& e) {
        if (e.getCode() != E_FAIL ||
            wcscmp(static_cast<const wchar_t*>(e.getMessage()), L"Invalid argument") != 0)
            abort();
    }
    return 0;
}
