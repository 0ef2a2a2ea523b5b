// VARIANT life cycle and conversions. The expected results are Windows' own: the same test runs
// against the Linux platform and against Wine's oleaut32.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "TestObject.h"

namespace {

// A VARIANT that is cleared at the end of the test, holding `vt` and nothing yet.
struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

Variant* text(Variant& v, const wchar_t* value) {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(value);
    return &v;
}

std::wstring bstrOf(const VARIANT& v) {
    return std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
}

// Converts `source` to VT_BSTR and returns the text, or "<hr>" when the conversion failed.
std::wstring asText(const VARIANT& source, USHORT flags = 0) {
    Variant out;
    const HRESULT hr = VariantChangeType(&out, const_cast<VARIANT*>(&source), flags, VT_BSTR);
    if (FAILED(hr))
        return L"<" + std::to_wstring(static_cast<unsigned long>(hr)) + L">";
    EXPECT_EQ(V_VT(&out), VT_BSTR);
    return bstrOf(out);
}

HRESULT fromText(const wchar_t* value, VARTYPE vt, Variant& out) {
    Variant source;
    return VariantChangeType(&out, text(source, value), 0, vt);
}

} // namespace

TEST(Variant, InitClearAndCopyOwnTheirValues) {
    Variant source;
    V_VT(&source) = VT_BSTR;
    const wchar_t withNul[] = {L'a', 0, L'b'};
    V_BSTR(&source) = SysAllocStringLen(withNul, 3);

    Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(V_VT(&copy), VT_BSTR);
    EXPECT_NE(V_BSTR(&copy), V_BSTR(&source)); // a copy, embedded NUL and all
    EXPECT_EQ(SysStringLen(V_BSTR(&copy)), 3u);
    EXPECT_EQ(bstrOf(copy), std::wstring(withNul, 3));

    ASSERT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(V_VT(&copy), VT_EMPTY);

    // A null string becomes an empty one.
    Variant nullText;
    V_VT(&nullText) = VT_BSTR;
    V_BSTR(&nullText) = nullptr;
    ASSERT_EQ(VariantCopy(&copy, &nullText), S_OK);
    ASSERT_NE(V_BSTR(&copy), nullptr);
    EXPECT_EQ(SysStringLen(V_BSTR(&copy)), 0u);
}

TEST(Variant, InterfacesAreReferencedAndReleased) {
    CountedObject object;
    {
        Variant holder;
        V_VT(&holder) = VT_UNKNOWN;
        V_UNKNOWN(&holder) = &object;
        object.AddRef();
        Variant copy;
        ASSERT_EQ(VariantCopy(&copy, &holder), S_OK);
        EXPECT_EQ(object.references, 3u);
        ASSERT_EQ(VariantClear(&copy), S_OK);
        EXPECT_EQ(object.references, 2u);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(Variant, CopyOfAnArrayIsDeep) {
    Variant source;
    V_VT(&source) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&source) = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG index = 0;
    BSTR value = SysAllocString(L"x");
    ASSERT_EQ(SafeArrayPutElement(V_ARRAY(&source), &index, value), S_OK);
    SysFreeString(value);

    Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(V_VT(&copy), VT_ARRAY | VT_BSTR);
    EXPECT_NE(V_ARRAY(&copy), V_ARRAY(&source));
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(V_ARRAY(&copy), &index, &element), S_OK);
    EXPECT_STREQ(element, L"x");
    SysFreeString(element);
}

TEST(Variant, BadTypesAreRefused) {
    Variant bad;
    V_VT(&bad) = 15;
    Variant out;
    EXPECT_EQ(VariantCopy(&out, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    V_VT(&bad) = VT_EMPTY;
    Variant number;
    V_VT(&number) = VT_I4;
    V_I4(&number) = 1;
    EXPECT_EQ(VariantChangeType(&out, &number, 0, 15), DISP_E_BADVARTYPE);
    EXPECT_EQ(V_VT(&out), VT_EMPTY);
}

TEST(VariantChangeType, NumbersToText) {
    Variant v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = -5;
    EXPECT_EQ(asText(v), L"-5");
    V_VT(&v) = VT_UI4;
    V_UI4(&v) = 0xFFFFFFFFu;
    EXPECT_EQ(asText(v), L"4294967295");
    V_VT(&v) = VT_I2;
    V_I2(&v) = -32768;
    EXPECT_EQ(asText(v), L"-32768");
    V_VT(&v) = VT_UI1;
    V_UI1(&v) = 200;
    EXPECT_EQ(asText(v), L"200");
    V_VT(&v) = VT_I8;
    V_I8(&v) = INT64_MIN;
    EXPECT_EQ(asText(v), L"-9223372036854775808");
    V_VT(&v) = VT_R8;
    V_R8(&v) = 1.5;
    EXPECT_EQ(asText(v), L"1.5");
    V_R8(&v) = 0.1;
    EXPECT_EQ(asText(v), L"0.1");
    V_R8(&v) = -0.0;
    EXPECT_EQ(asText(v), L"0");
    V_R8(&v) = 123456789012.25;
    EXPECT_EQ(asText(v), L"123456789012.25");
    V_R8(&v) = 1.0 / 3; // fifteen significant digits
    EXPECT_EQ(asText(v), L"0.333333333333333");
    V_R8(&v) = 1e20;
    EXPECT_EQ(asText(v), L"1E+20");
    V_R8(&v) = 1e-5;
    EXPECT_EQ(asText(v), L"1E-05");
    V_VT(&v) = VT_R4;
    V_R4(&v) = 0.1f;
    EXPECT_EQ(asText(v), L"0.1");
    V_R4(&v) = 3.14159274f; // seven significant digits
    EXPECT_EQ(asText(v), L"3.141593");
}

TEST(VariantChangeType, BooleansEmptyAndNullToText) {
    Variant v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_TRUE;
    EXPECT_EQ(asText(v), L"-1");
    EXPECT_EQ(asText(v, VARIANT_ALPHABOOL), L"True");
    V_BOOL(&v) = VARIANT_FALSE;
    EXPECT_EQ(asText(v), L"0");
    EXPECT_EQ(asText(v, VARIANT_ALPHABOOL), L"False");

    Variant empty;
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_BSTR), S_OK);
    EXPECT_EQ(V_VT(&out), VT_BSTR);
    ASSERT_NE(V_BSTR(&out), nullptr);
    EXPECT_EQ(SysStringLen(V_BSTR(&out)), 0u);

    Variant null;
    V_VT(&null) = VT_NULL;
    Variant none;
    EXPECT_EQ(VariantChangeType(&none, &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&none), VT_EMPTY);
    EXPECT_EQ(VariantChangeType(&none, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&none, &null, 0, VT_EMPTY), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&none), VT_EMPTY);
    // Anything becomes null.
    Variant number;
    V_VT(&number) = VT_I4;
    V_I4(&number) = 3;
    ASSERT_EQ(VariantChangeType(&none, &number, 0, VT_NULL), S_OK);
    EXPECT_EQ(V_VT(&none), VT_NULL);
    ASSERT_EQ(VariantChangeType(&none, &number, 0, VT_EMPTY), S_OK);
    EXPECT_EQ(V_VT(&none), VT_EMPTY);
}

TEST(VariantChangeType, TextToIntegers) {
    Variant out;
    ASSERT_EQ(fromText(L" 42 ", VT_I4, out), S_OK);
    EXPECT_EQ(V_VT(&out), VT_I4);
    EXPECT_EQ(V_I4(&out), 42);
    ASSERT_EQ(fromText(L"-7", VT_I2, out), S_OK);
    EXPECT_EQ(V_I2(&out), -7);
    ASSERT_EQ(fromText(L"+12", VT_UI1, out), S_OK);
    EXPECT_EQ(V_UI1(&out), 12);
    ASSERT_EQ(fromText(L"4294967295", VT_UI4, out), S_OK);
    EXPECT_EQ(V_UI4(&out), 0xFFFFFFFFu);
    ASSERT_EQ(fromText(L"-2147483648", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), INT32_MIN);
    ASSERT_EQ(fromText(L"1e3", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), 1000);
    ASSERT_EQ(fromText(L"9223372036854775807", VT_I8, out), S_OK);
    EXPECT_EQ(V_I8(&out), INT64_MAX);
    // Fractions round half to even.
    ASSERT_EQ(fromText(L"2.5", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), 2);
    ASSERT_EQ(fromText(L"3.5", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), 4);
    ASSERT_EQ(fromText(L"-2.5", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), -2);
    ASSERT_EQ(fromText(L"0.6", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), 1);
    // Negative forms, thousands separators and hexadecimal.
    ASSERT_EQ(fromText(L"(5)", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), -5);
    ASSERT_EQ(fromText(L"5-", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), -5);
    ASSERT_EQ(fromText(L" 1,2,3 ", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), 123);
    ASSERT_EQ(fromText(L"&H10", VT_I4, out), S_OK);
    EXPECT_EQ(V_I4(&out), 16);
}

TEST(VariantChangeType, BadTextFailsAndLeavesTheDestination) {
    Variant out;
    EXPECT_EQ(fromText(L"abc", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&out), VT_EMPTY);
    EXPECT_EQ(fromText(L"", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"   ", VT_UI4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"12x", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"1 2", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"yes", VT_BOOL, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"1.5e", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"--1", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L"0x10", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(fromText(L",1", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&out), VT_EMPTY);

    EXPECT_EQ(fromText(L"70000", VT_I2, out), DISP_E_OVERFLOW);
    EXPECT_EQ(fromText(L"4294967296", VT_UI4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(fromText(L"-1", VT_UI4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(fromText(L"256", VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(fromText(L"99999999999999999999999", VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(fromText(L"1e400", VT_I4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(fromText(L"1e400", VT_BOOL, out), DISP_E_OVERFLOW);
    EXPECT_EQ(V_VT(&out), VT_EMPTY);

    // A destination that held a value keeps it.
    V_VT(&out) = VT_I4;
    V_I4(&out) = 9;
    EXPECT_EQ(fromText(L"zz", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&out), VT_I4);
    EXPECT_EQ(V_I4(&out), 9);
}

TEST(VariantChangeType, TextToBooleansAndReals) {
    Variant out;
    ASSERT_EQ(fromText(L"True", VT_BOOL, out), S_OK);
    EXPECT_EQ(V_BOOL(&out), VARIANT_TRUE);
    EXPECT_EQ(fromText(L"TRUE ", VT_BOOL, out), DISP_E_TYPEMISMATCH); // the words take no blanks
    ASSERT_EQ(fromText(L"false", VT_BOOL, out), S_OK);
    EXPECT_EQ(V_BOOL(&out), VARIANT_FALSE);
    ASSERT_EQ(fromText(L"0", VT_BOOL, out), S_OK);
    EXPECT_EQ(V_BOOL(&out), VARIANT_FALSE);
    ASSERT_EQ(fromText(L"5", VT_BOOL, out), S_OK);
    EXPECT_EQ(V_BOOL(&out), VARIANT_TRUE);
    ASSERT_EQ(fromText(L"-1.25", VT_R8, out), S_OK);
    EXPECT_EQ(V_R8(&out), -1.25);
    ASSERT_EQ(fromText(L"1.5e2", VT_R4, out), S_OK);
    EXPECT_EQ(V_R4(&out), 150.0f);
}

TEST(VariantChangeType, BetweenNumbersAndBooleans) {
    Variant v, out;
    V_VT(&v) = VT_I4;
    V_I4(&v) = -1;
    // Between signed and unsigned types of one width the bits are kept; otherwise the value
    // must fit.
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UI4), S_OK);
    EXPECT_EQ(V_UI4(&out), 0xFFFFFFFFu);
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_UI2), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_UI8), DISP_E_OVERFLOW);
    V_VT(&v) = VT_I2;
    V_I2(&v) = -1;
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_UI4), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UI2), S_OK);
    EXPECT_EQ(V_UI2(&out), 0xFFFF);
    V_VT(&v) = VT_UI8;
    V_UI8(&v) = UINT64_MAX;
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I8), S_OK);
    EXPECT_EQ(V_I8(&out), -1);
    V_VT(&v) = VT_I4;
    V_I4(&v) = 70000;
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UI4), S_OK);
    EXPECT_EQ(V_VT(&out), VT_UI4);
    EXPECT_EQ(V_UI4(&out), 70000u);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BOOL), S_OK);
    EXPECT_EQ(V_BOOL(&out), VARIANT_TRUE);

    V_VT(&v) = VT_UI4;
    V_UI4(&v) = 0x80000000u;
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&out), INT32_MIN);
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I8), S_OK);
    EXPECT_EQ(V_I8(&out), 0x80000000LL);

    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&out), -1);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UI4), S_OK);
    EXPECT_EQ(V_UI4(&out), 0xFFFFFFFFu);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UI1), S_OK);
    EXPECT_EQ(V_UI1(&out), 0xFF);

    V_VT(&v) = VT_R8;
    V_R8(&v) = 2.5;
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&out), 2);
    V_R8(&v) = -3.5;
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I2), S_OK);
    EXPECT_EQ(V_I2(&out), -4);
    V_R8(&v) = 1e10;
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I4), DISP_E_OVERFLOW);

    Variant empty;
    ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_I4), S_OK);
    EXPECT_EQ(V_VT(&out), VT_I4);
    EXPECT_EQ(V_I4(&out), 0);
}

TEST(VariantChangeType, InPlaceAndToTheSameType) {
    Variant v;
    text(v, L"17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_VT(&v), VT_I4);
    EXPECT_EQ(V_I4(&v), 17);

    Variant same, out;
    text(same, L"abc");
    ASSERT_EQ(VariantChangeType(&out, &same, 0, VT_BSTR), S_OK);
    EXPECT_NE(V_BSTR(&out), V_BSTR(&same));
    EXPECT_EQ(bstrOf(out), L"abc");
}

TEST(VariantChangeType, InterfacesDoNotBecomeText) {
    CountedObject object;
    Variant v, out;
    V_VT(&v) = VT_UNKNOWN;
    V_UNKNOWN(&v) = &object;
    object.AddRef();
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&out), VT_EMPTY);
    VariantClear(&v);
    EXPECT_EQ(object.references, 1u);
}
