// The text the output writers make of values: JSON strings and real numbers.
#include "ObjectWriter.h"

#include <gtest/gtest.h>

namespace {

TEST(ToolOutput, JsonStringEscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ("\"\"", tool::jsonString(L""));
    EXPECT_EQ("\"a\\\"b\\\\c/\"", tool::jsonString(L"a\"b\\c/"));
    EXPECT_EQ("\"\\n\\r\\t\\b\\f\\u0001\\u001f \"", tool::jsonString(L"\n\r\t\b\f\x01\x1F "));
    EXPECT_EQ("\"\\u0000x\"", tool::jsonString(std::wstring(L"\0x", 2)));
}

TEST(ToolOutput, JsonStringWritesUtf8AndKeepsLoneSurrogatesAsEscapes) {
    EXPECT_EQ("\"\xC3\xA9\xE2\x82\xAC\x7F\"", tool::jsonString(L"\x00E9\x20AC\x7F"));
    // U+1F600 as a surrogate pair becomes four UTF-8 bytes.
    EXPECT_EQ("\"\xF0\x9F\x98\x80\"", tool::jsonString(L"\xD83D\xDE00"));
    EXPECT_EQ("\"\\ud83dx\"", tool::jsonString(L"\xD83Dx"));
    EXPECT_EQ("\"\\ude00\"", tool::jsonString(L"\xDE00"));
    EXPECT_EQ("\"\\ud83d\"", tool::jsonString(L"\xD83D"));
}

TEST(ToolOutput, RealsAreTheShortestTextThatReadsBack) {
    EXPECT_EQ("1.5", tool::realText(1.5, false));
    EXPECT_EQ("0.1", tool::realText(0.1, false));
    EXPECT_EQ("0.1", tool::realText(static_cast<float>(0.1), true));
    EXPECT_EQ("-0", tool::realText(-0.0, false));
    EXPECT_EQ("1e+300", tool::realText(1e300, false));
    EXPECT_EQ("0.30000000000000004", tool::realText(0.1 + 0.2, false));
}

} // namespace
