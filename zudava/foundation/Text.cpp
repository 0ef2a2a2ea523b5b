#include "zudava/foundation/Text.h"

#include <windows.h>
#include <comdef.h>

#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <memory>
#include <new>
#include <type_traits>

namespace DEZE {

namespace {

// A wide unit as an unsigned value, whatever the signedness and width of wchar_t.
inline uint32_t unitValue(wchar_t c) {
    return static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

// Appends the UTF-8 form of one 16-bit unit.
inline char* putUnit(char* out, uint32_t u) {
    if (u < 0x80) {
        *out++ = static_cast<char>(u);
    } else if (u < 0x800) {
        *out++ = static_cast<char>(0xC0 | (u >> 6));
        *out++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (u >> 12));
        *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (u & 0x3F));
    }
    return out;
}

// A 32-bit wchar_t can hold what UTF-16 spells as a surrogate pair (a wide literal such as
// L"\U0001F600" on Linux). Such a value is coded as the pair would be, so that one source text
// gives the same bytes on every host; a value past U+10FFFF keeps its low 16 bits, as a 16-bit
// wchar_t would have.
inline char* putWideValue(char* out, uint32_t u) {
    if (u <= 0xFFFF)
        return putUnit(out, u);
    if (u > 0x10FFFF)
        return putUnit(out, u & 0xFFFF);
    u -= 0x10000;
    out = putUnit(out, 0xD800 + (u >> 10));
    return putUnit(out, 0xDC00 + (u & 0x3FF));
}

inline size_t wideValueSize(uint32_t u) {
    if (u < 0x80)
        return 1;
    if (u < 0x800)
        return 2;
    if (u <= 0xFFFF)
        return 3;
    return u > 0x10FFFF ? wideValueSize(u & 0xFFFF) : 6;
}

std::string encodeUtf8(const wchar_t* in, size_t count) {
    if (count == 0)
        return std::string();
    // First the exact size, in a loop the compiler can vectorise.
    size_t bytes = count;
    uint32_t beyond = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = unitValue(in[i]);
        bytes += (u >= 0x80) + (u >= 0x800);
        beyond |= u >> 16;
    }
    if (beyond) {
        bytes = 0;
        for (size_t i = 0; i < count; ++i)
            bytes += wideValueSize(unitValue(in[i]));
    }
    std::string result(bytes, '\0');
    char* out = &result[0];
    size_t i = 0;
    while (i < count) {
        // Runs of ASCII go four units at a time.
        while (i + 4 <= count && (unitValue(in[i]) | unitValue(in[i + 1]) | unitValue(in[i + 2]) |
                                  unitValue(in[i + 3])) < 0x80) {
            out[0] = static_cast<char>(in[i]);
            out[1] = static_cast<char>(in[i + 1]);
            out[2] = static_cast<char>(in[i + 2]);
            out[3] = static_cast<char>(in[i + 3]);
            out += 4;
            i += 4;
        }
        if (i == count)
            break;
        out = putWideValue(out, unitValue(in[i++]));
    }
    return result;
}

// The unit of a three-byte form from its three bytes; the lead's high bits fall off the top.
inline uint32_t threeByteUnit(const unsigned char* s) {
    return ((uint32_t(s[0]) << 12) | (uint32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F)) & 0xFFFF;
}

std::wstring decodeUtf8(const char* text, size_t count) {
    if (count == 0)
        return std::wstring();
    // Every byte yields at most one unit.
    std::wstring result(count, L'\0');
    wchar_t* out = &result[0];
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < count) {
        // Runs of ASCII go eight bytes at a time.
        while (i + 8 <= count) {
            uint64_t block;
            memcpy(&block, s + i, sizeof block);
            if (block & 0x8080808080808080ull)
                break;
            for (int k = 0; k < 8; ++k)
                out[k] = static_cast<wchar_t>(s[i + k]);
            out += 8;
            i += 8;
        }
        if (i == count)
            break;
        const unsigned char b = s[i];
        uint32_t unit;
        if (b < 0x80) {
            unit = b;
            i += 1;
        } else if (i + 1 < count && (b & 0xE0) == 0xC0) {
            unit = (uint32_t(b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            i += 2;
        } else if (i + 2 < count && (b & 0xF0) == 0xE0) {
            unit = threeByteUnit(s + i);
            i += 3;
        } else if (i + 3 < count && (b & 0xF8) == 0xF0) {
            unit = threeByteUnit(s + i + 1);
            i += 4;
        } else if (i + 4 < count && (b & 0xFC) == 0xF8) {
            unit = threeByteUnit(s + i + 2);
            i += 5;
        } else if (i + 5 < count && (b & 0xFE) == 0xFC) {
            unit = threeByteUnit(s + i + 3);
            i += 6;
        } else {
            unit = '?';
            i += 1;
        }
        if (unit == 0)
            break; // the result ends at its first NUL, so nothing after it matters
        *out++ = static_cast<wchar_t>(unit);
    }
    result.resize(static_cast<size_t>(out - result.data()));
    return result;
}

// The letter that follows the backslash in the escape of `c`, or 0 when `c` stands for itself.
inline char escapeLetter(char c) {
    switch (c) {
    case '\a':
        return 'a';
    case '\b':
        return 'b';
    case '\t':
        return 't';
    case '\n':
        return 'n';
    case '\v':
        return 'v';
    case '\f':
        return 'f';
    case '\r':
        return 'r';
    case '"':
        return '"';
    case '\'':
        return '\'';
    case '\\':
        return '\\';
    default:
        return 0;
    }
}

} // namespace

unsigned long length(const char* text) {
    return text ? strlen(text) : 0;
}

unsigned long length(const std::string& text) {
    return text.empty() ? 0 : strlen(text.c_str());
}

unsigned long length(const wchar_t* text) {
    return text ? wcslen(text) : 0;
}

unsigned long length(const std::wstring& text) {
    return text.empty() ? 0 : wcslen(text.c_str());
}

long compare(const char* a, const char* b) {
    return _stricmp(a, b);
}

long compare(const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str());
}

long compare(const wchar_t* a, const wchar_t* b) {
    return _wcsicmp(a, b);
}

long compare(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str());
}

std::string W2A(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::unique_ptr<char[]> buffer(new char[size]());
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer.get(), size, nullptr, nullptr);
    buffer[size - 1] = '\0';
    return std::string(buffer.get());
}

std::string w2a(const std::wstring& text) {
    return W2A(text.c_str());
}

std::wstring A2W(const char* text, int length) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[size_t(size) + 1]());
    MultiByteToWideChar(CP_ACP, 0, text, length, buffer.get(), size);
    buffer[size] = L'\0';
    // A leading byte order mark is dropped; the result ends at the first NUL either way.
    const wchar_t* start = buffer.get();
    if (unitValue(*start) == 0xFEFF)
        ++start;
    return std::wstring(start);
}

std::wstring a2w(const std::string& text) {
    return A2W(text.data(), static_cast<int>(text.size()));
}

std::string b2a(wchar_t* const bstr) {
    if (!bstr)
        return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, bstr, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer)
        _com_issue_error(E_OUTOFMEMORY);
    if (WideCharToMultiByte(CP_ACP, 0, bstr, -1, buffer.get(), size, nullptr, nullptr) <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    return std::string(buffer.get());
}

std::string make_string(const std::wstring& text) {
    return encodeUtf8(text.c_str(), length(text));
}

std::string make_string(const wchar_t* text) {
    return encodeUtf8(text, length(text));
}

std::string make_string(const char* text) {
    return text ? std::string(text) : std::string();
}

std::wstring make_wstring(const std::string& text) {
    return decodeUtf8(text.c_str(), length(text));
}

std::wstring make_wstring(const char* text) {
    return decodeUtf8(text, length(text));
}

std::wstring make_wstring(const wchar_t* text) {
    return text ? std::wstring(text) : std::wstring();
}

char* Escaping(char* buffer, char c) {
    const char letter = escapeLetter(c);
    if (letter) {
        buffer[0] = '\\';
        buffer[1] = letter;
        buffer[2] = '\0';
    } else {
        buffer[0] = c;
        buffer[1] = '\0';
    }
    return buffer;
}

std::string Escaping(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        if (c == '\0')
            continue; // its escape is the empty text
        const char letter = escapeLetter(c);
        if (letter)
            result += '\\';
        result += letter ? letter : c;
    }
    return result;
}

} // namespace DEZE
