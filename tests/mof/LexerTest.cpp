// Literals and tokens: every numeric form, escapes, char16 literals, comments, and the exact
// message and position of each malformed one.
#include "MofSupport.h"

namespace {

using mof::Type;
using mof::Value;
using mof_test::defaultOf;
using mof_test::parseError;

TEST(MofLexerTest, IntegerForms) {
    EXPECT_EQ(defaultOf("uint32", "42").magnitude, 42u);
    EXPECT_EQ(defaultOf("uint32", "+42").magnitude, 42u);
    EXPECT_EQ(defaultOf("sint32", "-42").asSigned(), -42);
    EXPECT_EQ(defaultOf("uint32", "0x1F").magnitude, 31u);
    EXPECT_EQ(defaultOf("uint32", "0XfF").magnitude, 255u);
    EXPECT_EQ(defaultOf("sint32", "-0x10").asSigned(), -16);
    EXPECT_EQ(defaultOf("uint32", "017").magnitude, 15u);
    EXPECT_EQ(defaultOf("uint32", "0").magnitude, 0u);
    EXPECT_EQ(defaultOf("uint32", "101b").magnitude, 5u);
    EXPECT_EQ(defaultOf("uint32", "11B").magnitude, 3u);
    EXPECT_EQ(defaultOf("sint8", "-1b").asSigned(), -1);
    EXPECT_EQ(defaultOf("uint64", "18446744073709551615").magnitude, UINT64_MAX);
    EXPECT_EQ(defaultOf("sint64", "-9223372036854775808").asSigned(), INT64_MIN);
    EXPECT_FALSE(defaultOf("sint32", "-0").negative);
}

TEST(MofLexerTest, RealForms) {
    EXPECT_EQ(defaultOf("real64", "1.5").real, 1.5);
    EXPECT_EQ(defaultOf("real64", "-1.5").real, -1.5);
    EXPECT_EQ(defaultOf("real64", "+.25").real, 0.25);
    EXPECT_EQ(defaultOf("real64", ".5e2").real, 50.0);
    EXPECT_EQ(defaultOf("real64", "1.5E-3").real, 0.0015);
    EXPECT_EQ(defaultOf("real64", "2e+3").real, 2000.0);
    EXPECT_EQ(defaultOf("real32", "3").real, 3.0); // an integer stored in a real
    EXPECT_EQ(defaultOf("real64", "-7").real, -7.0);
}

TEST(MofLexerTest, StringsEscapesAndConcatenation) {
    EXPECT_EQ(defaultOf("string", R"("a\tb\nc\rd\fe\bf")").text, "a\tb\nc\rd\fe\bf");
    EXPECT_EQ(defaultOf("string", R"("q\"s\'b\\")").text, "q\"s'b\\");
    EXPECT_EQ(defaultOf("string", R"("\x41\X42\x00e9")").text, "AB\xC3\xA9");
    EXPECT_EQ(defaultOf("string", R"("\xD83D\xDE00")").text, "\xF0\x9F\x98\x80");
    EXPECT_EQ(defaultOf("string", R"("\xD800")").text, "\xED\xA0\x80"); // lone, kept as a unit
    EXPECT_EQ(defaultOf("string", "\"one \" // comment\n \"two\" /* c */ \"three\"").text,
              "one twothree");
    EXPECT_EQ(defaultOf("string", "\"caf\xC3\xA9\"").text, "caf\xC3\xA9");
    EXPECT_EQ(defaultOf("string", "\"\"").text, "");
}

TEST(MofLexerTest, CharactersBooleansAndNull) {
    EXPECT_EQ(defaultOf("char16", "'a'").character, u'a');
    EXPECT_EQ(defaultOf("char16", R"('\n')").character, u'\n');
    EXPECT_EQ(defaultOf("char16", R"('\x263A')").character, 0x263A);
    EXPECT_EQ(defaultOf("char16", "'\xC3\xA9'").character, 0xE9);
    EXPECT_EQ(defaultOf("char16", "65").character, u'A');
    EXPECT_TRUE(defaultOf("boolean", "TRUE").boolean);
    EXPECT_FALSE(defaultOf("boolean", "false").boolean);
    EXPECT_EQ(defaultOf("string", "NULL").kind, Value::Kind::Null);
    EXPECT_EQ(defaultOf("datetime", "\"20240131120000.000000+060\"").text,
              "20240131120000.000000+060");
    EXPECT_EQ(defaultOf("datetime", "\"00000001020304.******:000\"").kind, Value::Kind::String);
}

TEST(MofLexerTest, MalformedLiteralsAreReportedWhereTheyStart) {
    EXPECT_EQ(parseError("class C { uint8 P = 08; };"),
              "test.mof:1:21: error: invalid octal number '08'");
    EXPECT_EQ(parseError("class C { uint8 P = 102b; };"),
              "test.mof:1:21: error: invalid binary number '102b'");
    EXPECT_EQ(parseError("class C { uint8 P = 0x; };"),
              "test.mof:1:21: error: invalid number '0x'");
    EXPECT_EQ(parseError("class C { uint8 P = 12abc; };"),
              "test.mof:1:21: error: invalid number '12abc'");
    EXPECT_EQ(parseError("class C { uint8 P = 1.; };"),
              "test.mof:1:21: error: invalid number '1.'");
    EXPECT_EQ(parseError("class C { uint64 P = 18446744073709551616; };"),
              "test.mof:1:22: error: integer '18446744073709551616' is too large");
    EXPECT_EQ(parseError("class C {\n  string P = \"abc;\n};"),
              "test.mof:2:14: error: unterminated string");
    EXPECT_EQ(parseError("class C { string P = \"a\\qb\"; };"),
              "test.mof:1:24: error: unknown escape sequence '\\q'");
    EXPECT_EQ(parseError("class C { string P = \"\\x\"; };"),
              "test.mof:1:23: error: expected hexadecimal digits after '\\x'");
    EXPECT_EQ(parseError("class C { char16 P = 'ab'; };"),
              "test.mof:1:22: error: character literal holds more than one character");
    EXPECT_EQ(parseError("class C { char16 P = ''; };"),
              "test.mof:1:22: error: empty character literal");
    EXPECT_EQ(parseError("class C { char16 P = '\xF0\x9F\x98\x80'; };"),
              "test.mof:1:22: error: character literal does not fit in one UTF-16 unit");
    EXPECT_EQ(parseError("/* open\n\n comment"), "test.mof:1:1: error: unterminated comment");
    EXPECT_EQ(parseError("class C { uint8 P = @; };"),
              "test.mof:1:21: error: unexpected character '@'");
    EXPECT_EQ(parseError("class C { uint8 P = $; };"),
              "test.mof:1:21: error: expected an alias name after '$'");
}

TEST(MofLexerTest, ColumnsCountCharactersNotBytes) {
    EXPECT_EQ(parseError("class C { string P = \"\xC3\xA9\xC3\xA9\" @; };"),
              "test.mof:1:27: error: unexpected character '@'");
}

TEST(MofLexerTest, ErrorShowsTheLineWithACaret) {
    try {
        mof::Parser().parseText("x.mof", "class C {\n\tuint8 P = 09;\n};", "root");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(e.line(), 2u);
        EXPECT_EQ(e.column(), 12u);
        EXPECT_EQ(e.describe(), "x.mof:2:12: error: invalid octal number '09'\n"
                                "    \tuint8 P = 09;\n"
                                "    \t          ^");
    }
}

TEST(MofLexerTest, Utf16FilesWithByteOrderMarks) {
    const std::string little("\xFF\xFE"
                             "c\0l\0a\0s\0s\0 \0C\0{\0}\0;\0",
                             22);
    mof::Unit unit = mof::Parser().parseText("u.mof", little, "root");
    ASSERT_EQ(unit.statements.size(), 1u);
    EXPECT_EQ(std::get<mof::ClassDeclaration>(unit.statements[0]).name, "C");
    const std::string big("\xFE\xFF"
                          "\0c\0l\0a\0s\0s\0 \0D\0{\0}\0;",
                          22);
    unit = mof::Parser().parseText("u.mof", big, "root");
    EXPECT_EQ(std::get<mof::ClassDeclaration>(unit.statements[0]).name, "D");
    unit = mof::Parser().parseText("u.mof",
                                   "\xEF\xBB\xBF"
                                   "class E{};",
                                   "root");
    EXPECT_EQ(std::get<mof::ClassDeclaration>(unit.statements[0]).name, "E");
}

} // namespace
