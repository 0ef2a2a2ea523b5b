// Wide formatted output and input of the Microsoft runtime: exponents of three digits, "%s" for
// wide text, truncation, and fixed-width scanning. The same test runs under Wine's msvcrt.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring format(const wchar_t* pattern, ...) {
    wchar_t buffer[128];
    va_list args;
    va_start(args, pattern);
    const int n = _vsnwprintf_s(buffer, 128, _TRUNCATE, pattern, args);
    va_end(args);
    EXPECT_GE(n, 0);
    return buffer;
}

} // namespace

TEST(CrtFormat, RealsHaveThreeDigitExponents) {
    EXPECT_EQ(format(L"%.7e", 1.5), L"1.5000000e+000");
    EXPECT_EQ(format(L"%.7e", double(0.5f)), L"5.0000000e-001");
    EXPECT_EQ(format(L"%.16e", 0.1), L"1.0000000000000001e-001");
    EXPECT_EQ(format(L"%.16e", -2.0), L"-2.0000000000000000e+000");
    EXPECT_EQ(format(L"%e", 1e100), L"1.000000e+100");
    EXPECT_EQ(format(L"%e", 1e-300), L"1.000000e-300");
    EXPECT_EQ(format(L"%E", 12345.0), L"1.234500E+004");
    EXPECT_EQ(format(L"%g", 1e-5), L"1e-005");
    EXPECT_EQ(format(L"%g", 100000.0), L"100000");
    EXPECT_EQ(format(L"%G", 1e6), L"1E+006");
    EXPECT_EQ(format(L"%.7e", 0.0), L"0.0000000e+000");
    // The width counts the whole exponent.
    EXPECT_EQ(format(L"[%15.3e]", 1.5), L"[     1.500e+000]");
    EXPECT_EQ(format(L"[%-12.1e]", 1.5), L"[1.5e+000    ]");
    EXPECT_EQ(format(L"[%012.1e]", -1.5), L"[-0001.5e+000]");
    EXPECT_EQ(format(L"%.2f", 2.675), L"2.67");
    // Exact halves round away from zero.
    EXPECT_EQ(format(L"[%+.1f|% .1e|%f|%.0e]", 2.25, 2.25, -0.0, 25.0),
              L"[+2.3| 2.3e+000|-0.000000|3e+001]");
    EXPECT_EQ(format(L"[%.7e|%.16e]", double(1.00390625f), 12345678.0009765625),
              L"[1.0039063e+000|1.2345678000976563e+007]");
    EXPECT_EQ(format(L"[%.1f|%.0f|%.1e|%.2f]", 9.95, 0.5, 9.5, -0.125), L"[9.9|1|9.5e+000|-0.13]");
    EXPECT_EQ(format(L"[%.0e|%.0f|%.3f]", 9.5, 99.5, 0.0625), L"[1e+001|100|0.063]");
    EXPECT_EQ(format(L"%.3f", 1e20), L"100000000000000000000.000");
}

TEST(CrtFormat, IntegersAndCharacters) {
    EXPECT_EQ(format(L"%d", -5), L"-5");
    EXPECT_EQ(format(L"%u", 0xFFFFFFFFu), L"4294967295");
    EXPECT_EQ(format(L"%hu", 70000), L"4464");
    EXPECT_EQ(format(L"%hd", 40000), L"-25536");
    EXPECT_EQ(format(L"%I64d", -9000000000LL), L"-9000000000");
    EXPECT_EQ(format(L"%lld", 9000000000LL), L"9000000000");
    EXPECT_EQ(format(L"%08u%02u", 1u, 2u), L"0000000102");
    EXPECT_EQ(format(L"%+04i|%+04i|%+04i", -300, 0, 60), L"-300|+000|+060");
    EXPECT_EQ(format(L"%x %X %#x %o", 255, 255, 255, 8), L"ff FF 0xff 10");
    EXPECT_EQ(format(L"[%5d|%-5d|%05d]", 42, 42, -42), L"[   42|42   |-0042]");
    EXPECT_EQ(format(L"%c%c", L'A', 0x20AC), L"A\x20AC");
    EXPECT_EQ(format(L"100%%"), L"100%");
    EXPECT_EQ(format(L"[%+d|% d|%+u|%.3d|%.0d|%#o|%#x]", 5, 5, 5u, -7, 0, 8, 0),
              L"[+5| 5|5|-007||010|0]");
    // Zeros pad even with a precision, and "hh" reads a short.
    EXPECT_EQ(format(L"[%-+6d|%06.2d|%hhd]", 3, 4, 300), L"[+3    |000004|300]");
}

TEST(CrtFormat, WideFunctionsTakeWideStrings) {
    EXPECT_EQ(format(L"<%s>", L"wide"), L"<wide>");
    EXPECT_EQ(format(L"<%ls>", L"wide"), L"<wide>");
    EXPECT_EQ(format(L"<%S>", "narrow"), L"<narrow>");
    EXPECT_EQ(format(L"<%hs>", "narrow"), L"<narrow>");
    EXPECT_EQ(format(L"<%5s|%-5s|%.2s>", L"ab", L"ab", L"abcdef"), L"<   ab|ab   |ab>");
}

TEST(CrtFormat, TruncationKeepsWhatFits) {
    wchar_t buffer[5];
    EXPECT_EQ(_snwprintf_s(buffer, 5, _TRUNCATE, L"%d", 123456), -1);
    EXPECT_STREQ(buffer, L"1234");
    EXPECT_EQ(_snwprintf_s(buffer, 5, _TRUNCATE, L"%d", 1234), 4);
    EXPECT_STREQ(buffer, L"1234");
    EXPECT_EQ(_snwprintf_s(buffer, 5, 2, L"%d", 1234), -1);
    EXPECT_STREQ(buffer, L"12");

    wchar_t date[26];
    EXPECT_EQ(
        _snwprintf_s(date, 26, _TRUNCATE, L"%08u%02u%02u%02u.%06u:000", 123456789u, 1u, 2u, 3u, 4u),
        -1);
    EXPECT_EQ(std::wstring(date), L"123456789010203.000004:00");
}

TEST(CrtScan, FixedWidthFields) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0, offset = 0;
    const int n = swscanf_s(L"1970010203040500000060060", L"%4u%2u%2u%2u%2u%2u%7u%4u", &year,
                            &month, &day, &hour, &minute, &second, &micro, &offset);
    EXPECT_EQ(n, 8);
    EXPECT_EQ(year, 1970u);
    EXPECT_EQ(month, 1u);
    EXPECT_EQ(day, 2u);
    EXPECT_EQ(hour, 3u);
    EXPECT_EQ(minute, 4u);
    EXPECT_EQ(second, 5u);
    EXPECT_EQ(micro, 6u);
    EXPECT_EQ(offset, 60u);

    // A field that cannot be read stops the scan there.
    unsigned a = 7, b = 7, c = 7;
    EXPECT_EQ(swscanf_s(L"12ab34", L"%2u%2u%2u", &a, &b, &c), 1);
    EXPECT_EQ(a, 12u);
    EXPECT_EQ(b, 7u);
    EXPECT_EQ(c, 7u);
    EXPECT_EQ(swscanf_s(L"", L"%2u", &a), EOF);
    EXPECT_EQ(swscanf_s(L"x", L"%2u", &a), 0);
}

TEST(CrtScan, SignsBlanksAndStrings) {
    int a = 0, b = 0;
    EXPECT_EQ(swscanf_s(L"  -12 +7", L"%d%d", &a, &b), 2);
    EXPECT_EQ(a, -12);
    EXPECT_EQ(b, 7);
    unsigned x = 0;
    EXPECT_EQ(swscanf_s(L"ff", L"%x", &x), 1);
    EXPECT_EQ(x, 255u);
    wchar_t word[8] = {0};
    int after = 0;
    EXPECT_EQ(swscanf_s(L"name=abc 5", L"name=%s %d", word, 8u, &after), 2);
    EXPECT_STREQ(word, L"abc");
    EXPECT_EQ(after, 5);
    // A string that does not fit is not stored.
    wchar_t small[3] = {L'z', 0, 0};
    EXPECT_EQ(swscanf_s(L"abcdef", L"%s", small, 3u), 0);
    EXPECT_EQ(small[0], 0);
}
