#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/TestObject.h"

using DEZE::WmiArray;
using DEZE::WmiException;

namespace {

std::wstring text(const WmiArray& array) {
    const _bstr_t result = array.toString();
    return std::wstring(static_cast<const wchar_t*>(result), result.length());
}

VARTYPE vartypeOf(const WmiArray& array) {
    VARTYPE vt = 0;
    EXPECT_EQ(
        SafeArrayGetVartype(const_cast<SAFEARRAY*>(static_cast<const SAFEARRAY*>(array)), &vt),
        S_OK);
    return vt;
}

// Runs `action` and returns the WmiException it raised (code 0 and an empty message if none).
template <typename Action>
WmiException raised(Action action) {
    try {
        action();
    } catch (const WmiException& e) {
        return e;
    }
    ADD_FAILURE() << "no WmiException";
    return WmiException(0, _bstr_t());
}

std::wstring messageOf(const WmiException& e) {
    const _bstr_t message = e.getMessage();
    return !message ? std::wstring() : std::wstring(static_cast<const wchar_t*>(message));
}

SAFEARRAY* sint32Source(std::initializer_list<LONG> values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size()));
    LONG index = 0;
    for (LONG value : values) {
        SafeArrayPutElement(array, &index, &value);
        ++index;
    }
    return array;
}

} // namespace

TEST(WmiArray, NewArraysGrowAndShrink) {
    WmiArray array(nullptr, 0x2003);
    EXPECT_EQ(array.getType(), 3);
    EXPECT_EQ(vartypeOf(array), VT_I4);
    EXPECT_EQ(array.getElementCount(), 0u);
    EXPECT_EQ(text(array), L"");

    array.addElement(_variant_t(1L));
    array.addElement(_variant_t(2L));
    array.addElement(_variant_t(3L));
    EXPECT_EQ(array.getElementCount(), 3u);
    EXPECT_EQ(text(array), L"1, 2, 3");
    _variant_t second = array.getElement(1);
    EXPECT_EQ(V_VT(&second), VT_I4);
    EXPECT_EQ(V_I4(&second), 2);

    array.removeElement(0);
    EXPECT_EQ(text(array), L"2, 3");
    array.removeElement(7); // past the end: the last one goes
    EXPECT_EQ(text(array), L"2");
    array.removeElement(0);
    EXPECT_EQ(array.getElementCount(), 0u);
}

TEST(WmiArray, BadPositionsRaiseThePlatformCode) {
    WmiArray empty(nullptr, 8);
    WmiException e = raised([&] { empty.removeElement(0); });
    EXPECT_EQ(messageOf(e), L"::SafeArrayGetElement() failed");
    EXPECT_EQ(e.getCode(), DISP_E_BADINDEX);

    WmiArray three(nullptr, 3);
    for (long v : {1L, 2L, 3L})
        three.addElement(_variant_t(v));
    e = raised([&] { three.getElement(5); });
    EXPECT_EQ(e.getCode(), DISP_E_BADINDEX);
    EXPECT_EQ(messageOf(e), L"::SafeArrayGetElement() failed");
    e = raised([&] { three.setElement(3, _variant_t(9L)); });
    EXPECT_EQ(e.getCode(), DISP_E_BADINDEX);
    EXPECT_EQ(messageOf(e), L"::SafeArrayPutElement() failed");
    EXPECT_EQ(text(three), L"1, 2, 3"); // nothing lost
}

TEST(WmiArray, StringArraysConvertAndKeepEmptyText) {
    WmiArray strings(nullptr, 8 | 0x2000);
    strings.addElement(_variant_t(L"a"));
    strings.addElement(_variant_t(L""));
    _variant_t empty = strings.getElement(1);
    ASSERT_EQ(V_VT(&empty), VT_BSTR);
    ASSERT_NE(V_BSTR(&empty), nullptr);
    EXPECT_EQ(SysStringLen(V_BSTR(&empty)), 0u);
    EXPECT_EQ(text(strings), L"a, ");

    _variant_t nullText;
    V_VT(&nullText) = VT_BSTR;
    V_BSTR(&nullText) = nullptr;
    strings.setElement(0, nullText);
    _variant_t first = strings.getElement(0);
    ASSERT_NE(V_BSTR(&first), nullptr);

    strings.setElement(0, _variant_t(7L));
    EXPECT_EQ(text(strings), L"7, ");
    try {
        _variant_t null;
        V_VT(&null) = VT_NULL;
        strings.setElement(0, null);
        FAIL() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(text(strings), L"7, ");
}

TEST(WmiArray, TypeMismatches) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 5);
    WmiException e = raised([&] { WmiArray array(strings, 19, 1); });
    EXPECT_EQ(e.getCode(), E_FAIL);
    EXPECT_EQ(messageOf(e), L"type mismatch");

    // A copy keeps the source's own type, so storing into it finds the mismatch.
    WmiArray copied(strings, 19);
    EXPECT_EQ(vartypeOf(copied), VT_BSTR);
    e = raised([&] { copied.setElement(0, _variant_t(1L)); });
    EXPECT_EQ(messageOf(e), L"type mismatch");
    SafeArrayDestroy(strings);

    e = raised([&] { WmiArray array(nullptr, 0x2000); });
    EXPECT_EQ(e.getCode(), E_FAIL);
    EXPECT_EQ(messageOf(e), L"::SafeArrayCreateVector() failed");
}

TEST(WmiArray, CountedCopiesTakeTheFirstElements) {
    SAFEARRAY* source = sint32Source({10, 20, 30, 40, 50});
    WmiArray three(source, 3, 3);
    EXPECT_EQ(text(three), L"10, 20, 30");
    WmiArray zeros(nullptr, 3, 2);
    EXPECT_EQ(text(zeros), L"0, 0");
    WmiException e = raised([&] { WmiArray six(source, 3, 6); });
    EXPECT_EQ(e.getCode(), DISP_E_BADINDEX);
    EXPECT_EQ(messageOf(e), L"::SafeArrayGetElement() failed");
    SafeArrayDestroy(source);
}

TEST(WmiArray, CopiesAreDeepAndObjectsReferenced) {
    CountedObject object;
    WmiException e(S_OK, L"");
    {
        WmiArray objects(nullptr, 13);
        objects.addElement(_variant_t(static_cast<IUnknown*>(&object)));
        EXPECT_EQ(object.references, 2u);
        WmiArray copy(objects);
        EXPECT_EQ(object.references, 3u);
        EXPECT_NE(static_cast<SAFEARRAY*>(copy), static_cast<SAFEARRAY*>(objects));
        _variant_t element = copy.getElement(0);
        EXPECT_EQ(V_UNKNOWN(&element), &object);
        EXPECT_EQ(object.references, 4u);

        // A value that holds no interface is refused like every other failure of the class, and
        // the element keeps its object.
        e = raised([&] { objects.setElement(0, _variant_t(7L)); });
        EXPECT_EQ(e.getCode(), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(messageOf(e), L"::SafeArrayPutElement() failed");
        {
            _variant_t kept = objects.getElement(0);
            EXPECT_EQ(V_UNKNOWN(&kept), &object);
        }
        objects.setElement(0, _variant_t());
        EXPECT_EQ(object.references, 3u);
    }
    EXPECT_EQ(object.references, 1u);

    WmiArray numbers(nullptr, 3);
    numbers.addElement(_variant_t(5L));
    WmiArray strings(nullptr, 8);
    strings = numbers;
    EXPECT_EQ(strings.getType(), 3);
    EXPECT_EQ(text(strings), L"5");
    strings = strings;
    EXPECT_EQ(text(strings), L"5");
}
