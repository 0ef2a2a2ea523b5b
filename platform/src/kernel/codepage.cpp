// Code-page conversion with Windows' results: UTF-8 and Windows-1252, size queries, lengths of -1
// counting the terminating NUL, and the same error codes for the same mistakes.
//
// Choices where this platform differs from Windows: code page 1252 maps a character it cannot hold
// to the default character directly (no "best fit" look-alikes), and CP_OEMCP is the ANSI page.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

enum class Page { Utf8, Windows1252, Unsupported };

UINT ansiCodePage() {
    static const UINT page = [] {
        const char* chosen = getenv("ZUDAVA_ACP");
        return (chosen && strcmp(chosen, "1252") == 0) ? 1252u : UINT(CP_UTF8);
    }();
    return page;
}

Page resolve(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP)
        codePage = ansiCodePage();
    if (codePage == CP_UTF8)
        return Page::Utf8;
    if (codePage == 1252)
        return Page::Windows1252;
    return Page::Unsupported;
}

// Windows-1252 bytes 0x80 to 0x9F; the five bytes the page leaves undefined map to the C1
// control of the same value, as on Windows.
constexpr uint16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The 1252 byte for a UTF-16 unit, or -1 when the page has none.
int to1252(uint32_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return int(unit);
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] == unit)
            return 0x80 + i;
    }
    return -1;
}

// Where converted units go: counted only when there is no buffer, else stored while they fit.
template <typename Unit>
struct Output {
    Unit* next;
    Unit* end;
    size_t count = 0;
    bool overflow = false;

    void put(Unit unit) {
        if (next) {
            if (next == end) {
                overflow = true;
                return;
            }
            *next++ = unit;
        }
        ++count;
    }
};

constexpr uint32_t kReplacement = 0xFFFD;

// One character of UTF-8, by the "maximal subpart" rule: an ill-formed sequence is replaced by
// one U+FFFD for the longest prefix that could have started a valid sequence. Returns false for
// an ill-formed sequence (after setting *code to U+FFFD).
bool decodeUtf8(const unsigned char*& p, const unsigned char* end, uint32_t* code) {
    const unsigned char lead = *p++;
    if (lead < 0x80) {
        *code = lead;
        return true;
    }
    int more;
    uint32_t value;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        *code = kReplacement;
        return false;
    }
    for (; more > 0; --more) {
        if (p == end || *p < low || *p > high) {
            *code = kReplacement;
            return false;
        }
        value = (value << 6) | (*p++ & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *code = value;
    return true;
}

// The checks both directions make first: the page to use, or Page::Unsupported with the error set.
Page checkArguments(UINT codePage, const void* source, int sourceLength, const void* target,
                    int targetLength) {
    if (!source || sourceLength == 0 || targetLength < 0 || (!target && targetLength)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Page::Unsupported;
    }
    const Page page = resolve(codePage);
    if (page == Page::Unsupported)
        SetLastError(ERROR_INVALID_PARAMETER);
    return page;
}

int finish(size_t count, bool overflow) {
    if (overflow) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(count);
}

} // namespace

ZP_EXTERN_C UINT WINAPI GetACP(void) {
    return ansiCodePage();
}

ZP_EXTERN_C UINT WINAPI GetOEMCP(void) {
    return ansiCodePage();
}

ZP_EXTERN_C BOOL WINAPI IsValidCodePage(UINT codePage) {
    return (codePage == CP_UTF8 || codePage == 1252) ? TRUE : FALSE;
}

ZP_EXTERN_C int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source,
                                           int sourceLength, LPWSTR target, int targetLength) {
    const Page page = checkArguments(codePage, source, sourceLength, target, targetLength);
    if (page == Page::Unsupported)
        return 0;
    const DWORD allowed =
        page == Page::Utf8
            ? DWORD(MB_ERR_INVALID_CHARS)
            : DWORD(MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS);
    if ((flags & ~allowed) || ((flags & MB_PRECOMPOSED) && (flags & MB_COMPOSITE))) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const size_t length = sourceLength < 0 ? strlen(source) + 1 : size_t(sourceLength);
    const auto* p = reinterpret_cast<const unsigned char*>(source);
    const auto* end = p + length;
    Output<WCHAR> out{target, target ? target + targetLength : nullptr};

    if (page == Page::Windows1252) {
        for (; p != end && !out.overflow; ++p)
            out.put(*p < 0x80 || *p >= 0xA0 ? WCHAR(*p) : WCHAR(kHigh1252[*p - 0x80]));
        return finish(out.count, out.overflow);
    }
    while (p != end && !out.overflow) {
        if (*p < 0x80) {
            out.put(WCHAR(*p++));
            continue;
        }
        uint32_t code;
        if (!decodeUtf8(p, end, &code) && (flags & MB_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.put(WCHAR(0xD800 + (code >> 10)));
            out.put(WCHAR(0xDC00 + (code & 0x3FF)));
        } else {
            out.put(WCHAR(code));
        }
    }
    return finish(out.count, out.overflow);
}

ZP_EXTERN_C int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH source,
                                           int sourceLength, LPSTR target, int targetLength,
                                           LPCCH defaultChar, LPBOOL usedDefaultChar) {
    const Page page = checkArguments(codePage, source, sourceLength, target, targetLength);
    if (page == Page::Unsupported)
        return 0;
    if (page == Page::Utf8) {
        if (defaultChar || usedDefaultChar) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (flags & ~DWORD(WC_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    } else if (flags & ~DWORD(WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                              WC_NO_BEST_FIT_CHARS)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const size_t length = sourceLength < 0 ? wcslen(source) + 1 : size_t(sourceLength);
    const WCHAR* p = source;
    const WCHAR* end = p + length;
    Output<char> out{target, target ? target + targetLength : nullptr};

    if (page == Page::Windows1252) {
        const char fallback = defaultChar ? *defaultChar : '?';
        bool used = false;
        for (; p != end && !out.overflow; ++p) {
            const int byte = to1252(uint32_t(*p));
            if (byte < 0)
                used = true;
            out.put(byte < 0 ? fallback : char(byte));
        }
        if (usedDefaultChar)
            *usedDefaultChar = used ? TRUE : FALSE;
        return finish(out.count, out.overflow);
    }
    while (p != end && !out.overflow) {
        uint32_t code = uint32_t(*p++);
        if (code < 0x80) {
            out.put(char(code));
            continue;
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
            if (code <= 0xDBFF && p != end && uint32_t(*p) >= 0xDC00 && uint32_t(*p) <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (uint32_t(*p++) - 0xDC00);
            } else if (flags & WC_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            } else {
                code = kReplacement;
            }
        } else if (code > 0x10FFFF) {
            // Only a 32-bit wchar_t can hold this; it is no character.
            if (flags & WC_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            code = kReplacement;
        }
        if (code < 0x800) {
            out.put(char(0xC0 | (code >> 6)));
        } else {
            if (code < 0x10000) {
                out.put(char(0xE0 | (code >> 12)));
            } else {
                out.put(char(0xF0 | (code >> 18)));
                out.put(char(0x80 | ((code >> 12) & 0x3F)));
            }
            out.put(char(0x80 | ((code >> 6) & 0x3F)));
        }
        out.put(char(0x80 | (code & 0x3F)));
    }
    return finish(out.count, out.overflow);
}
