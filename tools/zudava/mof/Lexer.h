// Splits one MOF text (UTF-8) into tokens, one at a time, and says where each one starts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mof {

class Lexer {
public:
    enum class Token : uint8_t {
        End,
        Identifier, // also keywords: the parser tells them apart, without regard to case
        Alias,      // $name; word() is the name without '$'
        String,     // one "..." literal; text() is its decoded UTF-8
        Char,       // '.'; character() is the UTF-16 unit
        Integer,    // magnitude() with negative()
        Real,       // real()
        Punct,      // one of { } [ ] ( ) ; , : = # and punct() is which
    };

    // The text must outlive the lexer. The first token is read at once.
    Lexer(std::string_view text, std::string fileName);

    void next();

    Token kind() const { return m_kind; }
    bool isPunct(char c) const { return m_kind == Token::Punct && m_punct == c; }
    char punct() const { return m_punct; }
    std::string_view word() const { return m_word; }
    const std::string& text() const { return m_text; }
    std::string& text() { return m_text; }
    char16_t character() const { return m_character; }
    uint64_t magnitude() const { return m_magnitude; }
    bool negative() const { return m_negative; }
    double real() const { return m_real; }

    // Where the current token starts (the column in bytes, as Position keeps it).
    uint32_t line() const { return m_tokenLine; }
    uint32_t column() const { return columnOf(m_tokenStart, m_tokenLineStart); }
    const std::string& fileName() const { return m_fileName; }
    // The current token as written, for messages.
    std::string_view spelling() const;

    // Throws MofError at the current token, or at the given place (a byte column).
    [[noreturn]] void fail(const std::string& message) const;
    [[noreturn]] void failAt(uint32_t line, uint32_t column, const std::string& message) const;

    // The text of a line (1-based), without its line break.
    std::string lineText(uint32_t line) const;

private:
    void skipBlanks();
    void readNumber();
    void readString();
    void readChar();
    void appendEscape(std::string& out);
    [[noreturn]] void failHere(const std::string& message) const;
    uint32_t columnOf(size_t offset, size_t lineStart) const;

    std::string_view m_source;
    std::string m_fileName;
    size_t m_pos = 0;
    uint32_t m_line = 1;
    size_t m_lineStart = 0;

    Token m_kind = Token::End;
    size_t m_tokenStart = 0;
    size_t m_tokenEnd = 0;
    uint32_t m_tokenLine = 1;
    size_t m_tokenLineStart = 0;
    char m_punct = 0;
    std::string_view m_word;
    std::string m_text;
    char16_t m_character = 0;
    uint64_t m_magnitude = 0;
    bool m_negative = false;
    double m_real = 0;
};

// Appends one UTF-16 unit as UTF-8. A low surrogate right after a high one (both from escapes)
// joins it into one four-byte character; a lone surrogate keeps its three-byte form.
void appendUnit(std::string& out, char16_t unit);

} // namespace mof
