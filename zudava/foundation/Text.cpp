#include "zudava/foundation/Text.h"
#include "zudava/foundation/Utf8.h"

#include <windows.h>
#include <comdef.h>

#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <memory>
#include <new>
#include <type_traits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZUDAVA_SSE2 1
#endif

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

// Output is staged in a small buffer that stays in the first-level cache and then appended to the
// result: one pass over the input, no zero-filling of the result, no separate length scan.
constexpr size_t kStage = 2048;
constexpr size_t kBlock = 16;

// Sixteen units that are all ASCII and not NUL, packed to bytes at `out`; false (and nothing
// written) otherwise.
inline bool asciiUnits16(const wchar_t* in, char* out) {
#ifdef ZUDAVA_SSE2
    const __m128i zero = _mm_setzero_si128();
    __m128i bytes;
    if constexpr (sizeof(wchar_t) == 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12));
        const __m128i high = _mm_and_si128(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)),
                                           _mm_set1_epi32(~0x7F));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(high, zero)) != 0xFFFF)
            return false;
        bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    } else {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
        const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(~0x7F));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF)
            return false;
        bytes = _mm_packus_epi16(a, b);
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)) != 0)
        return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    return true;
#else
    uint32_t any = 0;
    bool nul = false;
    for (size_t k = 0; k < kBlock; ++k) {
        any |= unitValue(in[k]);
        nul = nul || in[k] == 0;
    }
    if (any >= 0x80 || nul)
        return false;
    for (size_t k = 0; k < kBlock; ++k)
        out[k] = static_cast<char>(in[k]);
    return true;
#endif
}

// Sixteen bytes that are all ASCII and not NUL, widened to units at `out`; false otherwise.
inline bool asciiBytes16(const unsigned char* in, wchar_t* out) {
#ifdef ZUDAVA_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(bytes) != 0 || _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)) != 0)
        return false;
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    auto* target = reinterpret_cast<__m128i*>(out);
    if constexpr (sizeof(wchar_t) == 4) {
        _mm_storeu_si128(target, _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128(target + 1, _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128(target + 2, _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128(target + 3, _mm_unpackhi_epi16(high, zero));
    } else {
        _mm_storeu_si128(target, low);
        _mm_storeu_si128(target + 1, high);
    }
    return true;
#else
    for (size_t k = 0; k < kBlock; ++k) {
        if (in[k] == 0 || in[k] >= 0x80)
            return false;
    }
    for (size_t k = 0; k < kBlock; ++k)
        out[k] = static_cast<wchar_t>(in[k]);
    return true;
#endif
}

} // namespace

// Appends the UTF-8 of the units before the first NUL among the first `limit`.
void appendUtf8(std::string& result, const wchar_t* in, size_t limit) {
    if (limit == 0 || in[0] == 0)
        return;
    const size_t start = result.size();
    result.reserve(start + limit);
    // Room for a whole block of the widest units past the staging limit.
    char stage[kStage + kBlock * 6 + 1];
    size_t i = 0;
    bool ended = false;
    while (!ended && i < limit) {
        char* out = stage;
        while (!ended && out < stage + kStage && i < limit) {
            if (i + kBlock <= limit && asciiUnits16(in + i, out)) {
                i += kBlock;
                out += kBlock;
                continue;
            }
            const size_t blockEnd = i + kBlock < limit ? i + kBlock : limit;
            for (; i < blockEnd; ++i) {
                const uint32_t u = unitValue(in[i]);
                if (u < 0x80) {
                    if (u == 0) {
                        ended = true;
                        break;
                    }
                    *out++ = static_cast<char>(u);
                } else if (u <= 0xFFFF) {
                    // Two or three bytes without a branch: the third byte is written either way
                    // and overwritten by what follows when the form has only two.
                    const bool wide = u >= 0x800;
                    out[0] = static_cast<char>(wide ? 0xE0 | (u >> 12) : 0xC0 | (u >> 6));
                    out[1] = static_cast<char>(0x80 | ((wide ? u >> 6 : u) & 0x3F));
                    out[2] = static_cast<char>(0x80 | (u & 0x3F));
                    out += 2 + wide;
                } else {
                    out = putWideValue(out, u);
                }
            }
        }
        const size_t staged = static_cast<size_t>(out - stage);
        if (result.size() == start && i < limit && staged > i) {
            // Wider than ASCII: grow once, by what the first stage suggests, not by doubling.
            result.reserve(start + static_cast<size_t>(double(staged) / double(i) * double(limit)) +
                           64);
        }
        result.append(stage, staged);
    }
}

namespace {

// The unit of a three-byte form from its three bytes; the lead's high bits fall off the top.
inline uint32_t threeByteUnit(const unsigned char* s) {
    return ((uint32_t(s[0]) << 12) | (uint32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F)) & 0xFFFF;
}

// Decodes one character at s[i], none of whose bytes may lie at or past `count`; returns the unit
// and advances i. A lead byte whose form would run past `count` stands alone as '?'.
inline uint32_t decodeOne(const unsigned char* s, size_t& i, size_t count) {
    const unsigned char b = s[i];
    if (b < 0x80) {
        i += 1;
        return b;
    }
    if ((b & 0xE0) == 0xC0) {
        if (i + 1 < count) {
            i += 2;
            return (uint32_t(b & 0x1F) << 6) | (s[i - 1] & 0x3F);
        }
    } else if ((b & 0xF0) == 0xE0) {
        if (i + 2 < count) {
            i += 3;
            return threeByteUnit(s + i - 3);
        }
    } else if ((b & 0xF8) == 0xF0) {
        if (i + 3 < count) {
            i += 4;
            return threeByteUnit(s + i - 3);
        }
    } else if ((b & 0xFC) == 0xF8) {
        if (i + 4 < count) {
            i += 5;
            return threeByteUnit(s + i - 3);
        }
    } else if ((b & 0xFE) == 0xFC) {
        if (i + 5 < count) {
            i += 6;
            return threeByteUnit(s + i - 3);
        }
    }
    i += 1;
    return '?';
}

} // namespace

// UTF-16 of the bytes before the first NUL among the first `limit`; a decoded NUL ends it too.
std::wstring decodeUtf8(const char* text, size_t limit) {
    std::wstring result;
    if (limit == 0 || text[0] == '\0')
        return result;
    result.reserve(limit); // every byte yields at most one unit
    wchar_t stage[kStage + kBlock];
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    // Where the text ends (its first NUL). ASCII blocks find a NUL themselves, so the search is
    // made only when the first wider character needs to know how far it may reach.
    size_t count = limit;
    bool counted = false;
    size_t i = 0;
    bool ended = false;
    while (!ended && i < count) {
        wchar_t* out = stage;
        while (!ended && out < stage + kStage && i < count) {
            if (i + kBlock <= count && asciiBytes16(s + i, out)) {
                i += kBlock;
                out += kBlock;
                continue;
            }
            if (!counted) {
                const void* nul = memchr(s + i, 0, limit - i);
                count =
                    nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - s) : limit;
                counted = true;
            }
            const size_t blockEnd = i + kBlock < count ? i + kBlock : count;
            while (i < blockEnd) {
                if (s[i] < 0x80) {
                    // No NUL lies before `count`, so ASCII here is never the end.
                    *out++ = static_cast<wchar_t>(s[i++]);
                    continue;
                }
                const uint32_t unit = decodeOne(s, i, count);
                if (unit == 0) {
                    ended = true; // a decoded NUL ends the text
                    break;
                }
                *out++ = static_cast<wchar_t>(unit);
            }
        }
        result.append(stage, static_cast<size_t>(out - stage));
    }
    return result;
}

namespace {

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
    std::string result;
    appendUtf8(result, text.data(), text.size());
    return result;
}

std::string make_string(const wchar_t* text) {
    std::string result;
    appendUtf8(result, text, length(text));
    return result;
}

std::string make_string(const char* text) {
    return text ? std::string(text) : std::string();
}

std::wstring make_wstring(const std::string& text) {
    return decodeUtf8(text.data(), text.size());
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
