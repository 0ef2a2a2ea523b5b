#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Bstr, AllocatesWithLengthPrefixAndTerminator) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    BSTR empty = SysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], L'\0');
    SysFreeString(empty);

    BSTR text = SysAllocString(L"root");
    EXPECT_EQ(SysStringLen(text), 4u);
    EXPECT_EQ(SysStringByteLen(text), 4 * sizeof(OLECHAR));
    EXPECT_EQ(std::wcscmp(text, L"root"), 0);
    SysFreeString(text);
}

TEST(Bstr, KeepsEmbeddedNulsAndCountsBytes) {
    BSTR text = SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(text[1], L'\0');
    EXPECT_EQ(text[2], L'b');
    EXPECT_EQ(text[3], L'\0');
    SysFreeString(text);

    BSTR blank = SysAllocStringLen(nullptr, 5);
    EXPECT_EQ(SysStringLen(blank), 5u);
    EXPECT_EQ(blank[5], L'\0');
    SysFreeString(blank);

    BSTR bytes = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 3u / sizeof(OLECHAR));
    EXPECT_EQ(std::memcmp(bytes, "abc", 4), 0) << "the bytes and then a terminator";
    SysFreeString(bytes);
}

TEST(Bstr, NullIsTheEmptyString) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, ReallocatesFromItsOwnText) {
    BSTR text = SysAllocString(L"namespace");
    ASSERT_TRUE(SysReAllocString(&text, text + 4));
    EXPECT_EQ(std::wcscmp(text, L"space"), 0);
    ASSERT_TRUE(SysReAllocStringLen(&text, L"abcdef", 3));
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(std::wcscmp(text, L"abc"), 0);
    SysFreeString(text);
}

} // namespace
