#include <zudava/zudava.h>

#include "support/Host.h"

#include <gtest/gtest.h>

#include <comdef.h>

#include <random>
#include <string>

using namespace DEZE;
using testing_support::ansiIsUtf8;
using testing_support::units;

namespace {

// The coding tables, written out as plainly as possible, to check the fast coders against.
std::string referenceEncode(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        const unsigned u = static_cast<unsigned>(c) & 0xFFFF;
        if (u == 0)
            break;
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::wstring referenceDecode(const std::string& text) {
    const size_t n = text.find('\0') == std::string::npos ? text.size() : text.find('\0');
    auto byte = [&text](size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(text[i]));
    };
    auto three = [&byte](size_t i) {
        return wchar_t(((byte(i) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F)) &
                       0xFFFF);
    };
    std::wstring out;
    for (size_t i = 0; i < n;) {
        const unsigned b = byte(i);
        if (b < 0x80) {
            out += wchar_t(b);
            i += 1;
        } else if (i + 1 < n && (b & 0xE0) == 0xC0) {
            out += wchar_t(((b & 0x1F) << 6) | (byte(i + 1) & 0x3F));
            i += 2;
        } else if (i + 2 < n && (b & 0xF0) == 0xE0) {
            out += three(i);
            i += 3;
        } else if (i + 3 < n && (b & 0xF8) == 0xF0) {
            out += three(i + 1);
            i += 4;
        } else if (i + 4 < n && (b & 0xFC) == 0xF8) {
            out += three(i + 2);
            i += 5;
        } else if (i + 5 < n && (b & 0xFE) == 0xFC) {
            out += three(i + 3);
            i += 6;
        } else {
            out += L'?';
            i += 1;
        }
    }
    return out.substr(0, out.find(L'\0'));
}

TEST(Length, CountsUpToTheFirstNul) {
    const std::string withNul("ab\0cd", 5);
    EXPECT_EQ(length(withNul), 2u);
    EXPECT_EQ(length(withNul.c_str()), 2u);
    EXPECT_EQ(length(static_cast<const char*>(nullptr)), 0u);
    EXPECT_EQ(length(std::string()), 0u);
    const std::wstring wideWithNul(L"xyz\0w", 5);
    EXPECT_EQ(length(wideWithNul), 3u);
    EXPECT_EQ(length(static_cast<const wchar_t*>(nullptr)), 0u);
    EXPECT_EQ(length(std::wstring()), 0u);
}

TEST(Compare, IgnoresAsciiCaseOnly) {
    EXPECT_EQ(compare("Abc", "aBC"), 0);
    EXPECT_EQ(compare(std::string("Abc"), std::string("aBC")), 0);
    EXPECT_LT(compare(L"x", L"Y"), 0);
    EXPECT_LT(compare(std::wstring(L"x"), std::wstring(L"Y")), 0);
    EXPECT_GT(compare("abd", "ABC"), 0);
    EXPECT_LT(compare("ab", "abc"), 0);
    // Letters compare as lower case, so '_' (0x5F) sorts before 'a' but after 'Z' would not.
    EXPECT_LT(compare("_", "A"), 0);
    EXPECT_LT(compare(L"_", L"A"), 0);
    // Strings compare by their NUL-terminated contents.
    EXPECT_EQ(compare(std::string("ab\0x", 4), std::string("AB\0y", 4)), 0);
    EXPECT_EQ(compare(std::wstring(L"ab\0x", 4), std::wstring(L"AB\0y", 4)), 0);
}

TEST(AnsiConversion, RoundTripsAscii) {
    EXPECT_EQ(W2A(L"root\\cimv2"), "root\\cimv2");
    EXPECT_EQ(w2a(L"root\\default"), "root\\default");
    EXPECT_EQ(A2W("Win32_Process", -1), L"Win32_Process");
    EXPECT_EQ(A2W("Win32_Process", 5), L"Win32");
    EXPECT_EQ(a2w("groupname.ini"), L"groupname.ini");
    EXPECT_EQ(b2a(const_cast<wchar_t*>(L"__PATH")), "__PATH");
}

TEST(AnsiConversion, NullAndEmptyGiveEmpty) {
    EXPECT_EQ(W2A(nullptr), "");
    EXPECT_EQ(W2A(L""), "");
    EXPECT_EQ(w2a(std::wstring()), "");
    EXPECT_EQ(A2W(nullptr, -1), L"");
    EXPECT_EQ(A2W("abc", 0), L"");
    EXPECT_EQ(a2w(std::string()), L"");
    EXPECT_EQ(b2a(nullptr), "");
    EXPECT_EQ(b2a(const_cast<wchar_t*>(L"")), "");
}

TEST(AnsiConversion, StopsAtTheFirstNul) {
    EXPECT_EQ(a2w(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(A2W("ab\0cd", 5), L"ab");
    EXPECT_EQ(w2a(std::wstring(L"ab\0cd", 5)), "ab");
}

TEST(AnsiConversion, FollowsTheCodePage) {
    const std::wstring text = units('c', 'a', 'f', 0xE9, ' ', 0x20AC, ' ', 0x4E2D);
    BSTR bstr = SysAllocString(text.c_str());
    if (ansiIsUtf8()) {
        EXPECT_EQ(w2a(text), "caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD");
        EXPECT_EQ(b2a(bstr), "caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD");
        EXPECT_EQ(a2w("caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"), text);
    } else {
        EXPECT_EQ(w2a(text), "caf\xE9 \x80 ?");
        EXPECT_EQ(b2a(bstr), "caf\xE9 \x80 ?");
        EXPECT_EQ(a2w("caf\xE9 \x80"), text.substr(0, 6));
    }
    SysFreeString(bstr);
}

TEST(AnsiConversion, DropsOnlyALeadingByteOrderMark) {
    if (ansiIsUtf8()) {
        EXPECT_EQ(A2W("\xEF\xBB\xBFname", -1), L"name");
        EXPECT_EQ(a2w("\xEF\xBB\xBFname\xEF\xBB\xBF"), units('n', 'a', 'm', 'e', 0xFEFF));
        EXPECT_EQ(A2W("\xEF\xBB\xBF", -1), L"");
    } else {
        // Windows-1252 has no byte order mark: the three bytes are three letters.
        EXPECT_EQ(A2W("\xEF\xBB\xBFname", -1), units(0xEF, 0xBB, 0xBF, 'n', 'a', 'm', 'e'));
    }
}

TEST(MakeString, EncodesEachUnitOnItsOwn) {
    EXPECT_EQ(make_string(units(0xE9)), "\xC3\xA9");
    EXPECT_EQ(make_string(units(0x20AC)), "\xE2\x82\xAC");
    EXPECT_EQ(make_string(units(0x7F, 0x80, 0x7FF, 0x800, 0xFFFF)),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
    // A surrogate pair stays two three-byte forms.
    EXPECT_EQ(make_string(units(0xD83D, 0xDE00)), "\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(make_string(units(0xD83D, 0xDE00).c_str()), "\xED\xA0\xBD\xED\xB8\x80");
}

TEST(MakeString, NullEmptyAndEmbeddedNul) {
    EXPECT_EQ(make_string(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(make_string(L""), "");
    EXPECT_EQ(make_string(std::wstring()), "");
    EXPECT_EQ(make_string(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(make_string(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(make_string(""), "");
    EXPECT_EQ(make_string("as is \xFF"), "as is \xFF");
}

TEST(MakeWstring, DecodesLeniently) {
    EXPECT_EQ(make_wstring("\xC3\xA9"), units(0xE9));
    EXPECT_EQ(make_wstring("a\xC3"), L"a?");
    EXPECT_EQ(make_wstring("\xE2\x82"), L"??");
    // Four-byte forms keep their last three bytes.
    EXPECT_EQ(make_wstring("\xF0\x9F\x98\x80"), units(0xF600));
    EXPECT_EQ(make_wstring("\xF8\x80\xE2\x82\xAC"), units(0x20AC));
    EXPECT_EQ(make_wstring("\xFC\x80\x80\xE2\x82\xAC"), units(0x20AC));
    // Continuation bytes are not checked, and overlong forms are taken as they come.
    EXPECT_EQ(make_wstring("\xC1\x41"), units(0x41));
    EXPECT_EQ(make_wstring("\x80\xBF\xFE\xFF"), L"????");
}

TEST(MakeWstring, EndsAtTheFirstNulReadOrDecoded) {
    EXPECT_EQ(make_wstring(std::string("\xC0\x80x", 3)), L"");
    EXPECT_EQ(make_wstring(std::string("ab\xE0\x80\x80yz")), L"ab");
    EXPECT_EQ(make_wstring(std::string("ab\0cd", 5)), L"ab");
    // A lead byte whose continuation would lie past the NUL stands alone.
    EXPECT_EQ(make_wstring(std::string("\xC3\0A", 3)), L"?");
    EXPECT_EQ(make_wstring(std::string("x\xE2\x82\0\x41", 5)), L"x??");
    EXPECT_EQ(make_wstring(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(make_wstring(""), L"");
    EXPECT_EQ(make_wstring(static_cast<const wchar_t*>(nullptr)), L"");
    EXPECT_EQ(make_wstring(L"as is"), L"as is");
}

TEST(Utf8Coders, AgreeWithTheTablesAcrossBlockAndBufferBoundaries) {
    // Long ASCII runs with the odd wider character near the coders' 16-unit blocks and their
    // staging buffer edges, where fast paths hand over to slow ones.
    std::mt19937 random(20261205);
    const unsigned wide[] = {0xE9, 0x20AC, 0x4E2D, 0x7FF, 0x800, 0xD83D, 0xFFFF};
    for (size_t size : {15u, 16u, 17u, 31u, 33u, 2047u, 2048u, 2049u, 4100u, 70000u}) {
        for (int round = 0; round < 4; ++round) {
            std::wstring text(size, L'a');
            for (size_t i = 0; i < size; ++i)
                text[i] = wchar_t('a' + random() % 26);
            const int sprinkle = round == 0 ? 0 : round * 3;
            for (int k = 0; k < sprinkle; ++k)
                text[random() % size] = wchar_t(wide[random() % 7]);
            const std::string encoded = make_string(text);
            ASSERT_EQ(encoded, referenceEncode(text)) << "size " << size << " round " << round;
            ASSERT_EQ(make_wstring(encoded), referenceDecode(encoded)) << "size " << size;
        }
    }
}

TEST(Utf8Coders, DecodeArbitraryBytesAsTheTableSays) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 64, '\0');
        for (char& b : bytes)
            b = char(random() % 4 == 0 ? 'a' + random() % 26 : 0x80 + random() % 128);
        if (round % 5 == 0 && !bytes.empty())
            bytes[random() % bytes.size()] = '\0';
        ASSERT_EQ(make_wstring(bytes), referenceDecode(bytes)) << "round " << round;
    }
}

TEST(Escaping, OneCharacterIntoABuffer) {
    char buffer[3] = {'#', '#', '#'};
    EXPECT_STREQ(Escaping(buffer, 'x'), "x");
    EXPECT_EQ(Escaping(buffer, '\n'), buffer);
    EXPECT_STREQ(buffer, "\\n");
    const struct {
        char c;
        const char* escaped;
    } table[] = {{'\a', "\\a"}, {'\b', "\\b"}, {'\t', "\\t"}, {'\n', "\\n"}, {'\v', "\\v"},
                 {'\f', "\\f"}, {'\r', "\\r"}, {'"', "\\\""}, {'\'', "\\'"}, {'\\', "\\\\"}};
    for (const auto& row : table)
        EXPECT_STREQ(Escaping(buffer, row.c), row.escaped) << int(row.c);
    EXPECT_STREQ(Escaping(buffer, '\0'), "");
    EXPECT_STREQ(Escaping(buffer, '\x1B'), "\x1B");
}

TEST(Escaping, WholeStringsDropNulAndKeepHighBytes) {
    EXPECT_EQ(Escaping(std::string("a\t\"\0\\", 5)), "a\\t\\\"\\\\");
    EXPECT_EQ(Escaping(std::string("\xC3\xA9\x80\xFF")), "\xC3\xA9\x80\xFF");
    EXPECT_EQ(Escaping(std::string()), "");
    EXPECT_EQ(Escaping(std::string("it's \"quoted\"\r\n")), "it\\'s \\\"quoted\\\"\\r\\n");
}

} // namespace
