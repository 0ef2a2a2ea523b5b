#include <zudava/zudava.h>

#include <gtest/gtest.h>

using DEZE::WmiType;

namespace {
unsigned short vartypeOf(long cimType) {
    return static_cast<unsigned short>(WmiType(cimType));
}
std::wstring nameOf(long cimType) {
    return static_cast<const wchar_t*>(WmiType(cimType).toString());
}
} // namespace

TEST(WmiType, NamesAndCarriersOfEveryType) {
    struct Row {
        long type;
        const wchar_t* name;
        unsigned short vt;
    };
    const Row rows[] = {
        {0, L"null", VT_EMPTY},       {2, L"sint16", VT_I2},       {3, L"sint32", VT_I4},
        {4, L"real32", VT_R4},        {5, L"real64", VT_R8},       {8, L"string", VT_BSTR},
        {11, L"boolean", VT_BOOL},    {13, L"object", VT_UNKNOWN}, {16, L"sint8", VT_I2},
        {17, L"uint8", VT_UI1},       {18, L"uint16", VT_I4},      {19, L"uint32", VT_I4},
        {20, L"sint64", VT_BSTR},     {21, L"uint64", VT_BSTR},    {101, L"datetime", VT_BSTR},
        {102, L"reference", VT_BSTR}, {103, L"char16", VT_I2},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nameOf(row.type), row.name) << row.type;
        EXPECT_EQ(vartypeOf(row.type), row.vt) << row.type;
        EXPECT_EQ(nameOf(row.type | 0x2000), std::wstring(row.name) + L"[]") << row.type;
        EXPECT_EQ(vartypeOf(row.type | 0x2000), row.vt | VT_ARRAY) << row.type;
        EXPECT_EQ(static_cast<long>(WmiType(row.type)), row.type);
    }
}

TEST(WmiType, UnknownCodes) {
    EXPECT_EQ(vartypeOf(2 | 0x2000), 0x2002);
    EXPECT_EQ(nameOf(2 | 0x2000), L"sint16[]");
    for (long code : {1L, 6L, 99L, 104L, 0xFFFL}) {
        EXPECT_EQ(vartypeOf(code), VT_EMPTY) << code;
        EXPECT_EQ(nameOf(code), L"unknown") << code;
    }
    EXPECT_EQ(vartypeOf(99 | 0x2000), VT_EMPTY);
    EXPECT_EQ(nameOf(99 | 0x2000), L"unknown[]");
}

TEST(WmiType, FromVariants) {
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(short(1)))), 2);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(1L))), 3);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(1.0f))), 4);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(1.0))), 5);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(L"x"))), 8);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(true))), 11);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(BYTE(1)))), 17);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(static_cast<IUnknown*>(nullptr)))), 13);
    // No scalar CIM type: 64-bit integers, arrays, empty and null.
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t(static_cast<__int64>(1)))), 4095);
    EXPECT_EQ(static_cast<long>(WmiType(_variant_t())), 4095);
    _variant_t array;
    V_VT(&array) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&array) = SafeArrayCreateVector(VT_BSTR, 0, 0);
    EXPECT_EQ(static_cast<long>(WmiType(array)), 4095);
    _variant_t null;
    V_VT(&null) = VT_NULL;
    EXPECT_EQ(static_cast<long>(WmiType(null)), 4095);

    WmiType assigned(3);
    assigned = WmiType(8);
    EXPECT_EQ(static_cast<long>(assigned), 8);
}
