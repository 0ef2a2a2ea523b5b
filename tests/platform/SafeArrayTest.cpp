// One-dimensional SAFEARRAYs: bounds, element copies, references and resizing. The expected
// results are Windows' own: the same test runs against the Linux platform and under Wine.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "TestObject.h"

namespace {

struct Array {
    explicit Array(SAFEARRAY* a) : array(a) {}
    ~Array() { SafeArrayDestroy(array); }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    operator SAFEARRAY*() const { return array; }
    SAFEARRAY* array;
};

LONG lower(SAFEARRAY* a) {
    LONG bound = 12345;
    EXPECT_EQ(SafeArrayGetLBound(a, 1, &bound), S_OK);
    return bound;
}

LONG upper(SAFEARRAY* a) {
    LONG bound = 12345;
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &bound), S_OK);
    return bound;
}

} // namespace

TEST(SafeArray, VectorsHaveTheirBoundsAndType) {
    Array a(SafeArrayCreateVector(VT_I4, 0, 3));
    ASSERT_NE(a.array, nullptr);
    EXPECT_EQ(lower(a), 0);
    EXPECT_EQ(upper(a), 2);
    VARTYPE vt = 0;
    ASSERT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
    EXPECT_EQ(SafeArrayGetDim(a), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(a), 4u);

    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(a, 2, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(a, 0, &bound), DISP_E_BADINDEX);

    Array empty(SafeArrayCreateVectorEx(VT_BSTR, 0, 0, nullptr));
    ASSERT_NE(empty.array, nullptr);
    EXPECT_EQ(lower(empty), 0);
    EXPECT_EQ(upper(empty), -1);
    ASSERT_EQ(SafeArrayGetVartype(empty, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);

    Array shifted(SafeArrayCreateVector(VT_UI1, 5, 2));
    EXPECT_EQ(lower(shifted), 5);
    EXPECT_EQ(upper(shifted), 6);
}

TEST(SafeArray, TypesWithoutElementsAreRefused) {
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVectorEx(VT_EMPTY, 0, 0, nullptr), nullptr);
}

TEST(SafeArray, ElementsAreZeroAndIndexedWithinTheBounds) {
    Array a(SafeArrayCreateVector(VT_I4, 5, 3));
    LONG index = 5;
    LONG value = 99;
    ASSERT_EQ(SafeArrayGetElement(a, &index, &value), S_OK);
    EXPECT_EQ(value, 0);
    value = -8;
    index = 7;
    ASSERT_EQ(SafeArrayPutElement(a, &index, &value), S_OK);
    value = 0;
    ASSERT_EQ(SafeArrayGetElement(a, &index, &value), S_OK);
    EXPECT_EQ(value, -8);

    for (LONG bad : {4L, 8L, -1L}) {
        LONG i = static_cast<LONG>(bad);
        EXPECT_EQ(SafeArrayGetElement(a, &i, &value), DISP_E_BADINDEX) << bad;
        EXPECT_EQ(SafeArrayPutElement(a, &i, &value), DISP_E_BADINDEX) << bad;
    }
}

TEST(SafeArray, StringsAreCopiedInAndOut) {
    Array a(SafeArrayCreateVector(VT_BSTR, 0, 2));
    BSTR text = SysAllocString(L"abc");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(a, &index, text), S_OK);
    SysFreeString(text); // the array holds its own copy

    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(a, &index, &out), S_OK);
    EXPECT_STREQ(out, L"abc");
    BSTR again = nullptr;
    ASSERT_EQ(SafeArrayGetElement(a, &index, &again), S_OK);
    EXPECT_NE(out, again); // every read is a fresh copy
    SysFreeString(out);
    SysFreeString(again);

    // An element never set reads as a null string.
    index = 1;
    out = SysAllocString(L"junk");
    BSTR junk = out;
    ASSERT_EQ(SafeArrayGetElement(a, &index, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    SysFreeString(junk);
}

TEST(SafeArray, InterfacesAreReferencedAndReleased) {
    CountedObject object;
    {
        Array a(SafeArrayCreateVector(VT_UNKNOWN, 0, 2));
        LONG index = 0;
        ASSERT_EQ(SafeArrayPutElement(a, &index, static_cast<IUnknown*>(&object)), S_OK);
        EXPECT_EQ(object.references, 2u);
        IUnknown* out = nullptr;
        ASSERT_EQ(SafeArrayGetElement(a, &index, &out), S_OK);
        EXPECT_EQ(out, &object);
        EXPECT_EQ(object.references, 3u);
        out->Release();

        SAFEARRAY* copy = nullptr;
        ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
        EXPECT_EQ(object.references, 3u);
        ASSERT_EQ(SafeArrayDestroy(copy), S_OK);
        EXPECT_EQ(object.references, 2u);

        // Replacing an element releases the old one.
        index = 0;
        ASSERT_EQ(SafeArrayPutElement(a, &index, nullptr), S_OK);
        EXPECT_EQ(object.references, 1u);
        ASSERT_EQ(SafeArrayPutElement(a, &index, static_cast<IUnknown*>(&object)), S_OK);
        EXPECT_EQ(object.references, 2u);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(SafeArray, CopiesAreDeep) {
    Array a(SafeArrayCreateVector(VT_BSTR, 3, 1));
    LONG index = 3;
    BSTR text = SysAllocString(L"x");
    ASSERT_EQ(SafeArrayPutElement(a, &index, text), S_OK);
    SysFreeString(text);

    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(a, &raw), S_OK);
    Array copy(raw);
    EXPECT_EQ(lower(copy), 3);
    EXPECT_EQ(upper(copy), 3);
    VARTYPE vt = 0;
    ASSERT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    BSTR* original = nullptr;
    BSTR* copied = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, reinterpret_cast<void**>(&original)), S_OK);
    ASSERT_EQ(SafeArrayAccessData(copy, reinterpret_cast<void**>(&copied)), S_OK);
    EXPECT_NE(original[0], copied[0]);
    EXPECT_STREQ(copied[0], L"x");
    // A locked array cannot be destroyed.
    EXPECT_EQ(SafeArrayDestroy(copy), DISP_E_ARRAYISLOCKED);
    SafeArrayUnaccessData(copy);
    SafeArrayUnaccessData(a);

    SAFEARRAY* none = reinterpret_cast<SAFEARRAY*>(&index);
    EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, RedimGrowsWithZerosAndShrinksWithRelease) {
    CountedObject object;
    Array a(SafeArrayCreateVector(VT_UNKNOWN, 0, 1));
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(a, &index, static_cast<IUnknown*>(&object)), S_OK);
    SAFEARRAYBOUND bound = {3, 0};
    ASSERT_EQ(SafeArrayRedim(a, &bound), S_OK);
    EXPECT_EQ(upper(a), 2);
    IUnknown* out = &object;
    index = 2;
    ASSERT_EQ(SafeArrayGetElement(a, &index, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object.references, 2u);

    bound.cElements = 0;
    ASSERT_EQ(SafeArrayRedim(a, &bound), S_OK);
    EXPECT_EQ(object.references, 1u);
    EXPECT_EQ(upper(a), -1);

    Array numbers(SafeArrayCreateVector(VT_I2, 0, 2));
    SHORT value = 7;
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(numbers, &index, &value), S_OK);
    bound = {4, 0};
    ASSERT_EQ(SafeArrayRedim(numbers, &bound), S_OK);
    ASSERT_EQ(SafeArrayGetElement(numbers, &index, &value), S_OK);
    EXPECT_EQ(value, 7);
    index = 3;
    ASSERT_EQ(SafeArrayGetElement(numbers, &index, &value), S_OK);
    EXPECT_EQ(value, 0);
}

TEST(SafeArray, NullArgumentsAreRefused) {
    LONG index = 0, bound = 0;
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayGetElement(nullptr, &index, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(nullptr, &index, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(nullptr, nullptr), E_INVALIDARG);
}
