// Arbitrary text through VariantChangeType to every type the library converts to: only Windows'
// codes come back, a failure leaves the destination empty, and every number read from text
// reads the same again from its own text.
#include <zudava/zudava.h>

#include <stdlib.h>

#include <cstdint>
#include <string>

namespace {

const VARTYPE kTargets[] = {VT_I1,  VT_I2,  VT_I4,   VT_I8,   VT_UI1, VT_UI2, VT_UI4,
                            VT_UI8, VT_INT, VT_UINT, VT_BOOL, VT_R4,  VT_R8,  VT_BSTR};

// The value of an integer or boolean variant, whatever its width.
uint64_t bitsOf(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_I1:
    case VT_UI1:
        return V_UI1(&v);
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return V_UI2(&v);
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return V_UI4(&v);
    default:
        return V_UI8(&v);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const VARTYPE target = kTargets[data[0] % (sizeof kTargets / sizeof kTargets[0])];
    std::wstring units;
    for (size_t i = 1; i < size; ++i)
        units.push_back(wchar_t(data[i])); // Latin-1 text: digits, signs, blanks and the rest
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_BSTR;
    V_BSTR(&source) = SysAllocStringLen(units.data(), UINT(units.size()));
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = VariantChangeType(&result, &source, 0, target);
    if (FAILED(hr)) {
        if (hr != DISP_E_TYPEMISMATCH && hr != DISP_E_OVERFLOW)
            abort();
        if (V_VT(&result) != VT_EMPTY)
            abort();
    } else {
        if (V_VT(&result) != target)
            abort();
        if (target != VT_BSTR && target != VT_R4 && target != VT_R8) {
            // The integer's own text reads back as the same integer.
            VARIANT text, again;
            VariantInit(&text);
            VariantInit(&again);
            if (FAILED(VariantChangeType(&text, &result, 0, VT_BSTR)) ||
                FAILED(VariantChangeType(&again, &text, 0, target)) ||
                bitsOf(again) != bitsOf(result))
                abort();
            VariantClear(&text);
            VariantClear(&again);
        }
    }
    VariantClear(&result);
    VariantClear(&source);
    return 0;
}
