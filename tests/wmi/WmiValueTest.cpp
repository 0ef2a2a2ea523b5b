#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/TestObject.h"

using DEZE::WmiValue;

namespace {

std::wstring text(const _variant_t& value, long cimType) {
    const _bstr_t result = WmiValue(value, cimType).toString();
    return std::wstring(static_cast<const wchar_t*>(result), result.length());
}

// A VARIANT of type `vt` holding the 32-bit pattern `bits`.
_variant_t raw(VARTYPE vt, LONG bits) {
    _variant_t v;
    V_VT(&v) = vt;
    V_I4(&v) = bits;
    return v;
}

// An array variant of `vt` with the given elements.
template <typename T>
_variant_t arrayOf(VARTYPE vt, std::initializer_list<T> elements) {
    _variant_t v;
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(elements.size()));
    LONG index = 0;
    for (T element : elements) {
        SafeArrayPutElement(array, &index, &element);
        ++index;
    }
    V_VT(&v) = VT_ARRAY | vt;
    V_ARRAY(&v) = array;
    return v;
}

_variant_t textArray(std::initializer_list<const wchar_t*> elements) {
    _variant_t v;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(elements.size()));
    LONG index = 0;
    for (const wchar_t* element : elements) {
        BSTR copy = element ? SysAllocString(element) : nullptr;
        SafeArrayPutElement(array, &index, copy);
        SysFreeString(copy);
        ++index;
    }
    V_VT(&v) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&v) = array;
    return v;
}

} // namespace

TEST(WmiValue, EmptyIsKeptAsNull) {
    WmiValue value(_variant_t(), 3);
    EXPECT_EQ(V_VT(&value), VT_NULL);
    EXPECT_EQ(value.getType(), 3);
    EXPECT_STREQ(static_cast<const wchar_t*>(value.toString()), L"<null>");
    EXPECT_EQ(text(_variant_t(), 8 | 0x2000), L"<null>");
    _variant_t null;
    V_VT(&null) = VT_NULL;
    EXPECT_EQ(text(null, 5), L"<null>");
    EXPECT_EQ(text(_variant_t(5L), 0), L"<null>"); // the empty type has no data to show
}

TEST(WmiValue, Integers) {
    EXPECT_EQ(text(_variant_t(-5L), 3), L"-5");
    EXPECT_EQ(text(raw(VT_I4, -1), 19), L"4294967295");
    EXPECT_EQ(text(raw(VT_I4, 70000), 18), L"4464");
    EXPECT_EQ(text(_variant_t(short(-32768)), 2), L"-32768");
    EXPECT_EQ(text(_variant_t(short(-8)), 16), L"-8");
    EXPECT_EQ(text(_variant_t(BYTE(255)), 17), L"255");
    EXPECT_EQ(text(raw(VT_I4, INT32_MIN), 3), L"-2147483648");
}

TEST(WmiValue, RealsHaveThreeDigitExponents) {
    EXPECT_EQ(text(_variant_t(0.1), 5), L"1.0000000000000001e-001");
    EXPECT_EQ(text(_variant_t(0.5f), 4), L"5.0000000e-001");
    EXPECT_EQ(text(_variant_t(1.5f), 4), L"1.5000000e+000");
    EXPECT_EQ(text(_variant_t(-1e300), 5), L"-1.0000000000000001e+300");
    EXPECT_EQ(text(_variant_t(0.0), 5), L"0.0000000000000000e+000");
}

TEST(WmiValue, BooleansCharactersAndText) {
    EXPECT_EQ(text(_variant_t(true), 11), L"true");
    EXPECT_EQ(text(_variant_t(false), 11), L"false");
    EXPECT_EQ(text(_variant_t(short(0x41)), 103), L"A");
    EXPECT_EQ(text(_variant_t(short(0x20AC)), 103), L"\x20AC");
    EXPECT_EQ(text(_variant_t(short(0)), 103), L"");
    for (long type : {8L, 20L, 21L, 101L, 102L})
        EXPECT_EQ(text(_variant_t(L"some text"), type), L"some text") << type;
    // Text stops at its first NUL; a null string is empty.
    _variant_t withNul;
    const wchar_t units[] = {L'a', 0, L'b'};
    V_VT(&withNul) = VT_BSTR;
    V_BSTR(&withNul) = SysAllocStringLen(units, 3);
    EXPECT_EQ(text(withNul, 8), L"a");
    _variant_t nullText;
    V_VT(&nullText) = VT_BSTR;
    V_BSTR(&nullText) = nullptr;
    EXPECT_EQ(text(nullText, 8), L"");
}

TEST(WmiValue, TypesWithoutTextForm) {
    EXPECT_EQ(text(_variant_t(1L), 0x68), L"<unsupported type>");
    EXPECT_EQ(text(_variant_t(1L), 0x2001), L"<unsupported type>");
    EXPECT_EQ(text(arrayOf<LONG>(VT_I4, {1}), 0x2000), L"<unsupported type>");
    EXPECT_EQ(text(_variant_t(1L), 99), L"<unsupported type>");
    CountedObject object;
    EXPECT_EQ(text(_variant_t(static_cast<IUnknown*>(&object)), 13), L"<unsupported type>");
    EXPECT_EQ(object.references, 1u);
}

TEST(WmiValue, Arrays) {
    EXPECT_EQ(text(arrayOf<LONG>(VT_I4, {1, 2, 3}), 3 | 0x2000), L"1, 2, 3");
    EXPECT_EQ(text(arrayOf<LONG>(VT_I4, {}), 3 | 0x2000), L"");
    EXPECT_EQ(text(arrayOf<LONG>(VT_I4, {-1, 70000}), 18 | 0x2000), L"65535, 4464");
    EXPECT_EQ(text(arrayOf<SHORT>(VT_I2, {L'x', L'y'}), 0x2067), L"x, y");
    EXPECT_EQ(text(arrayOf<double>(VT_R8, {1.5, -2}), 5 | 0x2000),
              L"1.5000000000000000e+000, -2.0000000000000000e+000");
    EXPECT_EQ(text(arrayOf<VARIANT_BOOL>(VT_BOOL, {VARIANT_TRUE, VARIANT_FALSE}), 11 | 0x2000),
              L"true, false");
    EXPECT_EQ(text(arrayOf<BYTE>(VT_UI1, {0, 200}), 17 | 0x2000), L"0, 200");
    EXPECT_EQ(text(textArray({L"a", nullptr, L"c"}), 8 | 0x2000), L"a, , c");
    EXPECT_EQ(text(textArray({L"20", L"21"}), 20 | 0x2000), L"20, 21");
}

TEST(WmiValue, DisagreeingVariantsNeverReadPastTheirData) {
    // A number where text is expected reads as empty text; text where numbers are expected
    // reads as zeros; a scalar where an array is expected as an empty array.
    EXPECT_EQ(text(_variant_t(12345L), 8), L"");
    EXPECT_EQ(text(_variant_t(12345L), 8 | 0x2000), L"");
    EXPECT_EQ(text(textArray({L"a", L"b"}), 3 | 0x2000), L"0, 0");
    EXPECT_EQ(text(arrayOf<LONG>(VT_I4, {7, 8}), 8 | 0x2000), L", ");
    EXPECT_EQ(text(arrayOf<BYTE>(VT_UI1, {7, 8}), 3 | 0x2000), L"7, 8");
}

TEST(WmiValue, CopiesAreDeep) {
    WmiValue original(_variant_t(L"text"), 8);
    WmiValue copy(original);
    EXPECT_NE(V_BSTR(&copy), V_BSTR(&original));
    EXPECT_EQ(copy.getType(), 8);
    WmiValue assigned(_variant_t(1L), 3);
    assigned = original;
    EXPECT_EQ(assigned.getType(), 8);
    EXPECT_NE(V_BSTR(&assigned), V_BSTR(&original));
    EXPECT_STREQ(static_cast<const wchar_t*>(assigned.toString()), L"text");

    CountedObject object;
    {
        WmiValue held(_variant_t(static_cast<IUnknown*>(&object)), 13);
        WmiValue again(held);
        EXPECT_EQ(object.references, 3u);
    }
    EXPECT_EQ(object.references, 1u);

    _variant_t bad;
    V_VT(&bad) = 15;
    try {
        WmiValue value(bad, 3);
        FAIL() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DISP_E_BADVARTYPE);
    }
    V_VT(&bad) = VT_EMPTY;
}
