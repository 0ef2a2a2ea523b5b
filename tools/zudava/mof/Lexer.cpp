#include "Lexer.h"

#include "MofError.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace mof {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    return isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Letters, digits, '_' and any non-ASCII character (names may use them).
bool isNameChar(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNameStart(char c) {
    return isNameChar(c) && !isDigit(c);
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

} // namespace

void appendUnit(std::string& out, char16_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit >= 0xDC00 && unit <= 0xDFFF && out.size() >= 3 &&
               static_cast<unsigned char>(out[out.size() - 3]) == 0xED &&
               (static_cast<unsigned char>(out[out.size() - 2]) & 0xF0) == 0xA0) {
        // The previous three bytes hold a high surrogate: make the pair one character.
        const char32_t high = 0xD800 |
                              ((static_cast<unsigned char>(out[out.size() - 2]) & 0x0F) << 6) |
                              (static_cast<unsigned char>(out[out.size() - 1]) & 0x3F);
        const char32_t code = 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00);
        out.resize(out.size() - 3);
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

Lexer::Lexer(std::string_view text, std::string fileName)
    : m_source(text), m_fileName(std::move(fileName)) {
    next();
}

uint32_t Lexer::columnOf(size_t offset, size_t lineStart) const {
    return static_cast<uint32_t>(offset - lineStart + 1);
}

std::string Lexer::lineText(uint32_t line) const {
    return lineOf(std::string(m_source), line);
}

std::string_view Lexer::spelling() const {
    if (m_kind == Token::End)
        return "end of file";
    return m_source.substr(m_tokenStart, m_tokenEnd - m_tokenStart);
}

void Lexer::fail(const std::string& message) const {
    failAt(m_tokenLine, column(), message);
}

void Lexer::failAt(uint32_t line, uint32_t column, const std::string& message) const {
    std::string text = lineText(line);
    const uint32_t characters = characterColumn(text, column);
    throw MofError(m_fileName, line, characters, message, std::move(text));
}

void Lexer::failHere(const std::string& message) const {
    failAt(m_line, columnOf(m_pos, m_lineStart), message);
}

void Lexer::skipBlanks() {
    const size_t size = m_source.size();
    while (m_pos < size) {
        const char c = m_source[m_pos];
        if (c == '\n') {
            ++m_pos;
            ++m_line;
            m_lineStart = m_pos;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++m_pos;
        } else if (c == '/' && m_pos + 1 < size && m_source[m_pos + 1] == '/') {
            const size_t end = m_source.find('\n', m_pos);
            m_pos = end == std::string_view::npos ? size : end;
        } else if (c == '/' && m_pos + 1 < size && m_source[m_pos + 1] == '*') {
            const uint32_t line = m_line;
            const uint32_t column = columnOf(m_pos, m_lineStart);
            m_pos += 2;
            for (;;) {
                if (m_pos + 1 >= size)
                    failAt(line, column, "unterminated comment");
                if (m_source[m_pos] == '*' && m_source[m_pos + 1] == '/') {
                    m_pos += 2;
                    break;
                }
                if (m_source[m_pos] == '\n') {
                    ++m_line;
                    m_lineStart = m_pos + 1;
                }
                ++m_pos;
            }
        } else {
            return;
        }
    }
}

void Lexer::next() {
    skipBlanks();
    m_tokenStart = m_pos;
    m_tokenLine = m_line;
    m_tokenLineStart = m_lineStart;
    if (m_pos >= m_source.size()) {
        m_kind = Token::End;
        m_tokenEnd = m_pos;
        return;
    }
    const char c = m_source[m_pos];
    const char after = m_pos + 1 < m_source.size() ? m_source[m_pos + 1] : '\0';
    if (isNameStart(c)) {
        size_t end = m_pos + 1;
        while (end < m_source.size() && isNameChar(m_source[end]))
            ++end;
        m_kind = Token::Identifier;
        m_word = m_source.substr(m_pos, end - m_pos);
        m_pos = end;
    } else if (isDigit(c) || ((c == '-' || c == '+') && (isDigit(after) || after == '.')) ||
               (c == '.' && isDigit(after))) {
        readNumber();
    } else if (c == '"') {
        readString();
    } else if (c == '\'') {
        readChar();
    } else if (c == '$') {
        size_t end = m_pos + 1;
        while (end < m_source.size() && isNameChar(m_source[end]))
            ++end;
        if (end == m_pos + 1)
            failHere("expected an alias name after '$'");
        m_kind = Token::Alias;
        m_word = m_source.substr(m_pos + 1, end - m_pos - 1);
        m_pos = end;
    } else if (std::strchr("{}[]();,:=#", c) != nullptr) {
        m_kind = Token::Punct;
        m_punct = c;
        ++m_pos;
    } else {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", byte);
            failHere(std::string("unexpected character ") + code);
        }
        failHere("unexpected character " + quoted(std::string_view(&m_source[m_pos], 1)));
    }
    m_tokenEnd = m_pos;
}

void Lexer::readNumber() {
    const size_t size = m_source.size();
    const size_t start = m_pos;
    m_negative = false;
    if (m_source[m_pos] == '-' || m_source[m_pos] == '+') {
        m_negative = m_source[m_pos] == '-';
        ++m_pos;
    }
    const size_t digits = m_pos;
    auto finish = [&] {
        if (m_pos < size && (isNameChar(m_source[m_pos]) || m_source[m_pos] == '.')) {
            size_t end = m_pos;
            while (end < size && (isNameChar(m_source[end]) || m_source[end] == '.'))
                ++end;
            failAt(m_line, columnOf(start, m_lineStart),
                   "invalid number " + quoted(m_source.substr(start, end - start)));
        }
    };
    auto tooLarge = [&] {
        failAt(m_line, columnOf(start, m_lineStart),
               "integer " + quoted(m_source.substr(start, m_pos - start)) + " is too large");
    };
    // Accumulates digits of one base, refusing what does not fit in 64 bits.
    auto accumulate = [&](size_t from, size_t to, unsigned base) {
        uint64_t value = 0;
        for (size_t i = from; i < to; ++i) {
            const unsigned digit = static_cast<unsigned>(hexValue(m_source[i]));
            if (value > (UINT64_MAX - digit) / base)
                tooLarge();
            value = value * base + digit;
        }
        m_magnitude = value;
        m_kind = Token::Integer;
    };

    if (m_source[m_pos] == '0' && m_pos + 1 < size && (m_source[m_pos + 1] | 0x20) == 'x') {
        m_pos += 2;
        const size_t hex = m_pos;
        while (m_pos < size && isHexDigit(m_source[m_pos]))
            ++m_pos;
        if (m_pos == hex) {
            finish();
            failAt(m_line, columnOf(start, m_lineStart),
                   "invalid number " + quoted(m_source.substr(start, m_pos - start)));
        }
        finish();
        accumulate(hex, m_pos, 16);
        return;
    }
    while (m_pos < size && isDigit(m_source[m_pos]))
        ++m_pos;
    const size_t digitsEnd = m_pos;
    bool real = false;
    if (m_pos + 1 < size && m_source[m_pos] == '.' && isDigit(m_source[m_pos + 1])) {
        real = true;
        ++m_pos;
        while (m_pos < size && isDigit(m_source[m_pos]))
            ++m_pos;
    }
    if (m_pos < size && (m_source[m_pos] | 0x20) == 'e' && (digitsEnd > digits || real)) {
        size_t exponent = m_pos + 1;
        if (exponent < size && (m_source[exponent] == '-' || m_source[exponent] == '+'))
            ++exponent;
        if (exponent < size && isDigit(m_source[exponent])) {
            real = true;
            m_pos = exponent;
            while (m_pos < size && isDigit(m_source[m_pos]))
                ++m_pos;
        }
    }
    if (real) {
        finish();
        // from_chars takes neither a leading '+' nor a bare leading '.' after a sign.
        std::string number(m_source.substr(digits, m_pos - digits));
        if (number[0] == '.')
            number.insert(number.begin(), '0');
        double value = 0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
        if (result.ec != std::errc() || result.ptr != number.data() + number.size())
            failAt(m_line, columnOf(start, m_lineStart),
                   "real number " + quoted(m_source.substr(start, m_pos - start)) +
                       " is out of range");
        m_real = m_negative ? -value : value;
        m_kind = Token::Real;
        return;
    }
    if (m_pos < size && (m_source[m_pos] | 0x20) == 'b' &&
        (m_pos + 1 >= size || !isNameChar(m_source[m_pos + 1]))) {
        for (size_t i = digits; i < digitsEnd; ++i)
            if (m_source[i] != '0' && m_source[i] != '1')
                failAt(m_line, columnOf(start, m_lineStart),
                       "invalid binary number " +
                           quoted(m_source.substr(start, m_pos + 1 - start)));
        ++m_pos;
        accumulate(digits, digitsEnd, 2);
        return;
    }
    finish();
    if (digitsEnd - digits > 1 && m_source[digits] == '0') {
        for (size_t i = digits; i < digitsEnd; ++i)
            if (m_source[i] > '7')
                failAt(m_line, columnOf(start, m_lineStart),
                       "invalid octal number " + quoted(m_source.substr(start, m_pos - start)));
        accumulate(digits + 1, digitsEnd, 8);
        return;
    }
    accumulate(digits, digitsEnd, 10);
}

void Lexer::appendEscape(std::string& out) {
    // m_pos is at the character after the backslash.
    const size_t size = m_source.size();
    if (m_pos >= size)
        failHere("unterminated string");
    const char c = m_source[m_pos];
    switch (c) {
    case 'b':
        out += '\b';
        break;
    case 't':
        out += '\t';
        break;
    case 'n':
        out += '\n';
        break;
    case 'f':
        out += '\f';
        break;
    case 'r':
        out += '\r';
        break;
    case '"':
    case '\'':
    case '\\':
        out += c;
        break;
    case 'x':
    case 'X': {
        size_t end = m_pos + 1;
        unsigned unit = 0;
        while (end < size && end < m_pos + 5 && isHexDigit(m_source[end]))
            unit = unit * 16 + static_cast<unsigned>(hexValue(m_source[end++]));
        if (end == m_pos + 1) {
            --m_pos;
            failHere("expected hexadecimal digits after '\\" + std::string(1, c) + "'");
        }
        appendUnit(out, static_cast<char16_t>(unit));
        m_pos = end;
        return;
    }
    default: {
        --m_pos;
        size_t length = 1;
        while (m_pos + 1 + length < size &&
               (static_cast<unsigned char>(m_source[m_pos + 1 + length]) & 0xC0) == 0x80)
            ++length;
        failHere("unknown escape sequence " + quoted(m_source.substr(m_pos, 1 + length)));
    }
    }
    ++m_pos;
}

void Lexer::readString() {
    const size_t size = m_source.size();
    const uint32_t line = m_line;
    const uint32_t column = columnOf(m_pos, m_lineStart);
    m_text.clear();
    ++m_pos;
    for (;;) {
        size_t run = m_pos;
        while (run < size && m_source[run] != '"' && m_source[run] != '\\' && m_source[run] != '\n')
            ++run;
        m_text.append(m_source.data() + m_pos, run - m_pos);
        m_pos = run;
        if (m_pos >= size || m_source[m_pos] == '\n')
            failAt(line, column, "unterminated string");
        if (m_source[m_pos] == '"') {
            ++m_pos;
            break;
        }
        ++m_pos;
        appendEscape(m_text);
    }
    m_kind = Token::String;
}

void Lexer::readChar() {
    const size_t size = m_source.size();
    const uint32_t line = m_line;
    const uint32_t column = columnOf(m_pos, m_lineStart);
    ++m_pos;
    std::string unit;
    if (m_pos >= size || m_source[m_pos] == '\n' || m_source[m_pos] == '\'') {
        if (m_pos < size && m_source[m_pos] == '\'')
            failAt(line, column, "empty character literal");
        failAt(line, column, "unterminated character literal");
    }
    if (m_source[m_pos] == '\\') {
        ++m_pos;
        appendEscape(unit);
    } else {
        size_t length = 1;
        while (m_pos + length < size &&
               (static_cast<unsigned char>(m_source[m_pos + length]) & 0xC0) == 0x80)
            ++length;
        unit.assign(m_source.data() + m_pos, length);
        m_pos += length;
    }
    if (m_pos >= size || m_source[m_pos] != '\'')
        failAt(line, column, "character literal holds more than one character");
    ++m_pos;
    // Back from UTF-8 to the one UTF-16 unit it holds.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(unit.data());
    char32_t code = 0;
    if (unit.size() == 1)
        code = bytes[0];
    else if (unit.size() == 2)
        code = ((bytes[0] & 0x1Fu) << 6) | (bytes[1] & 0x3Fu);
    else if (unit.size() == 3)
        code = ((bytes[0] & 0x0Fu) << 12) | ((bytes[1] & 0x3Fu) << 6) | (bytes[2] & 0x3Fu);
    else
        failAt(line, column, "character literal does not fit in one UTF-16 unit");
    m_character = static_cast<char16_t>(code);
    m_kind = Token::Char;
}

} // namespace mof
