// Code-page conversion as Windows does it. The same tests run on Linux against the platform layer
// and under Wine against Windows' own implementation.
#include <windows.h>

#include "support/Host.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::underWine;
using testing_support::units;

namespace {

std::wstring fromUtf8(const std::string& bytes, DWORD flags = 0) {
    const int size =
        MultiByteToWideChar(CP_UTF8, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring out(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, flags, bytes.data(), int(bytes.size()), &out[0], size);
    return out;
}

std::string toCodePage(UINT page, const std::wstring& text) {
    const int size =
        WideCharToMultiByte(page, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(page, 0, text.data(), int(text.size()), &out[0], size, nullptr,
                            nullptr);
    return out;
}

TEST(MultiByteToWideChar, SizesCountTheNulOnlyForMinusOne) {
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", -1, nullptr, 0), 5);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", 5, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, nullptr, 0), 2);
    wchar_t buffer[8];
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", -1, buffer, 8), 5);
    EXPECT_EQ(std::wstring(buffer), units('c', 'a', 'f', 0xE9));
}

TEST(MultiByteToWideChar, RejectsBadArgumentsWithWindowsCodes) {
    wchar_t buffer[4];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, buffer, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, buffer, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    if (!underWine()) { // Wine ignores flags that Windows refuses for UTF-8
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, buffer, 4), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
    }
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdef", -1, buffer, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST(MultiByteToWideChar, ReplacesIllFormedUtf8) {
    const std::wstring fffd = units(0xFFFD);
    EXPECT_EQ(fromUtf8("a\x80"
                       "b"),
              L"a" + fffd + L"b");
    EXPECT_EQ(fromUtf8("\xE2\x82"), fffd) << "a truncated form is one replacement";
    EXPECT_EQ(fromUtf8("\xC0\x80"), fffd + fffd) << "overlong forms are not characters";
    EXPECT_EQ(fromUtf8("\xF0\x9F\x98\x80"), units(0xD83D, 0xDE00));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideCharToMultiByte, EncodesUtf8AndReplacesLoneSurrogates) {
    EXPECT_EQ(toCodePage(CP_UTF8, units(0xE9, 0x20AC)), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(toCodePage(CP_UTF8, units(0xD83D, 0xDE00)), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toCodePage(CP_UTF8, units('a', 0xD800, 'b')), "a\xEF\xBF\xBD"
                                                            "b");
    EXPECT_EQ(toCodePage(CP_UTF8, units(0xDC00)), "\xEF\xBF\xBD");
    const std::wstring lone = units(0xD800);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 1, nullptr, 0,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideCharToMultiByte, SizesAndBadArguments) {
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, nullptr, nullptr), 3);
    char buffer[4];
    BOOL used = FALSE;
    if (!underWine()) { // Wine ignores arguments that Windows refuses for UTF-8
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, buffer, 4, "?", nullptr), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "UTF-8 has no default char";
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, buffer, 4, nullptr, &used), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
        SetLastError(0);
        EXPECT_EQ(
            WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, L"a", 1, buffer, 4, nullptr, nullptr),
            0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS)) << "only UTF-8 knows this flag";
    }
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abcdef", -1, buffer, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, buffer, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Windows1252, MapsItsHighHalfBothWays) {
    const std::string high = "\x80\x81\x8D\x9F\xA0\xE9\xFF";
    const std::wstring wide = units(0x20AC, 0x81, 0x8D, 0x178, 0xA0, 0xE9, 0xFF);
    wchar_t buffer[16] = {};
    ASSERT_EQ(MultiByteToWideChar(1252, 0, high.data(), int(high.size()), buffer, 16), 7);
    EXPECT_EQ(std::wstring(buffer, 7), wide);
    EXPECT_EQ(toCodePage(1252, wide), high);
}

TEST(Windows1252, UsesTheDefaultCharacterForWhatItCannotHold) {
    const std::wstring text = units('a', 0x4E2D, 'b');
    char buffer[8] = {};
    BOOL used = FALSE;
    ASSERT_EQ(WideCharToMultiByte(1252, 0, text.data(), 3, buffer, 8, nullptr, &used), 3);
    EXPECT_EQ(std::string(buffer, 3), "a?b");
    EXPECT_TRUE(used);
    ASSERT_EQ(WideCharToMultiByte(1252, 0, text.data(), 3, buffer, 8, "*", &used), 3);
    EXPECT_EQ(std::string(buffer, 3), "a*b");
    used = TRUE;
    ASSERT_EQ(WideCharToMultiByte(1252, 0, L"ab", 2, buffer, 8, nullptr, &used), 2);
    EXPECT_FALSE(used);
}

TEST(AnsiCodePage, IsUtf8Or1252AndServesCpAcp) {
    const UINT acp = GetACP();
    ASSERT_TRUE(acp == CP_UTF8 || acp == 1252) << acp;
    const std::wstring text = units(0xE9);
    EXPECT_EQ(toCodePage(CP_ACP, text), toCodePage(acp, text));
}

} // namespace
