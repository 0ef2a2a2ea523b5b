// Wide formatted output and input with the Microsoft runtime's rules.
//
// Each conversion is rendered on its own: numbers through the C library's narrow formatting (so
// digits and rounding are the C library's), then widened, with exponents made three digits wide
// before the field is padded to its width.
#include <windows.h>

#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <charconv>
#include <cmath>
#include <string>

namespace {

// Collects output up to a limit and remembers whether anything was cut.
struct Sink {
    wchar_t* buffer;
    size_t limit; // units that may be written before the NUL
    size_t length = 0;
    bool cut = false;

    void put(wchar_t c) {
        if (length < limit)
            buffer[length++] = c;
        else
            cut = true;
    }
    void put(const wchar_t* text, size_t n) {
        for (size_t i = 0; i < n; ++i)
            put(text[i]);
    }
    void fill(wchar_t c, size_t n) {
        for (size_t i = 0; i < n; ++i)
            put(c);
    }
};

struct Directive {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = 0;
    int precision = -1;
    enum Size {
        Default,
        Char,
        Short,
        Long32,
        Long64,
        Pointer,
        LongDouble,
        Wide,
        Narrow
    } size = Default;
    wchar_t type = 0;
};

// Whether %c/%s take a narrow argument: "h" always does, and the upper-case forms do unless
// "l" or "w" asks for wide; the lower-case forms are wide in the wide printf.
bool takesNarrow(const Directive& directive) {
    return directive.size == Directive::Short ||
           ((directive.type == L'C' || directive.type == L'S') &&
            directive.size != Directive::Long32 && directive.size != Directive::Wide);
}

// Makes a two-digit exponent ("e+05") three digits wide ("e+005").
size_t widenExponent(char* text, size_t length, size_t capacity) {
    char* e = nullptr;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == 'e' || text[i] == 'E')
            e = text + i;
    }
    if (!e || (e[1] != '+' && e[1] != '-'))
        return length;
    const size_t digits = length - size_t(e + 2 - text);
    if (digits >= 3 || length + 1 >= capacity)
        return length;
    memmove(e + 3, e + 2, digits + 1);
    e[2] = '0';
    return length + 1;
}

// Writes `body` (already without width) padded to the directive's width.
void emitPadded(Sink& out, const Directive& directive, const wchar_t* body, size_t n,
                bool numeric) {
    const size_t width = directive.width > 0 ? size_t(directive.width) : 0;
    const size_t pad = width > n ? width - n : 0;
    if (directive.left) {
        out.put(body, n);
        out.fill(L' ', pad);
    } else if (directive.zero && numeric) {
        size_t prefix = 0;
        if (n && (body[0] == L'-' || body[0] == L'+' || body[0] == L' '))
            prefix = 1;
        if (n > prefix + 1 && body[prefix] == L'0' &&
            (body[prefix + 1] == L'x' || body[prefix + 1] == L'X'))
            prefix += 2;
        out.put(body, prefix);
        out.fill(L'0', pad);
        out.put(body + prefix, n - prefix);
    } else {
        out.fill(L' ', pad);
        out.put(body, n);
    }
}

void emitNarrow(Sink& out, const Directive& directive, const char* text, size_t n, bool numeric) {
    wchar_t wide[512];
    if (n > 511)
        n = 511;
    for (size_t i = 0; i < n; ++i)
        wide[i] = wchar_t(static_cast<unsigned char>(text[i]));
    emitPadded(out, directive, wide, n, numeric);
}

// The narrow conversion text "%<flags>[.precision]<length><type>" without the width.
void buildFormat(char* format, const Directive& directive, const char* length, char type) {
    char* p = format;
    *p++ = '%';
    if (directive.plus)
        *p++ = '+';
    if (directive.space)
        *p++ = ' ';
    if (directive.alt)
        *p++ = '#';
    if (directive.precision >= 0)
        p += snprintf(p, 16, ".%d", directive.precision);
    while (*length)
        *p++ = *length++;
    *p++ = type;
    *p = 0;
}

// An integer conversion without its width: sign or prefix, then at least `precision` digits.
size_t formatInteger(wchar_t* target, const Directive& directive, long long value, bool isSigned) {
    const unsigned base = (directive.type == L'o')                             ? 8
                          : (directive.type == L'x' || directive.type == L'X') ? 16
                                                                               : 10;
    const wchar_t* alphabet = directive.type == L'X' ? L"0123456789ABCDEF" : L"0123456789abcdef";
    const bool negative = isSigned && value < 0;
    unsigned long long magnitude =
        negative ? 0ULL - (unsigned long long)value : (unsigned long long)value;
    wchar_t reversed[72];
    size_t count = 0;
    while (magnitude) {
        reversed[count++] = alphabet[magnitude % base];
        magnitude /= base;
    }
    const size_t precision =
        directive.precision < 0 ? 1 : size_t(directive.precision > 64 ? 64 : directive.precision);
    size_t n = 0;
    if (negative)
        target[n++] = L'-';
    else if (isSigned && directive.plus)
        target[n++] = L'+';
    else if (isSigned && directive.space)
        target[n++] = L' ';
    if (directive.alt && base == 16 && value != 0) {
        target[n++] = L'0';
        target[n++] = directive.type == L'X' ? L'X' : L'x';
    }
    size_t zeros = precision > count ? precision - count : 0;
    if (directive.alt && base == 8 && zeros == 0 && (count == 0 || reversed[count - 1] != L'0'))
        zeros = 1;
    for (size_t i = 0; i < zeros; ++i)
        target[n++] = L'0';
    while (count)
        target[n++] = reversed[--count];
    return n;
}

// Whether `value` lies exactly halfway between two numbers with `digits` decimals after the
// point of 10^exponent, i.e. whether 2 * value / 10^(exponent - digits) is an odd integer.
bool isTie(double value, int exponent, int digits) {
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    const int field = int((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t(1) << 52) - 1);
    int binary = field ? field - 1075 : -1074;
    if (field)
        mantissa |= uint64_t(1) << 52;
    if (!mantissa)
        return false;
    while (!(mantissa & 1)) {
        mantissa >>= 1;
        ++binary;
    }
    const int scale = exponent - digits; // the place of the last digit kept
    if (binary + 1 != scale)
        return false;
    if (scale <= 0)
        return true;
    if (scale > 22)
        return false;
    uint64_t five = 1;
    for (int i = 0; i < scale; ++i)
        five *= 5;
    return mantissa % five == 0;
}

// The exponent written after an "e", up to `end` (the text is not terminated).
int exponentOf(const char* e, const char* end) {
    int value = 0;
    const bool negative = e + 1 < end && e[1] == '-';
    for (const char* c = e + 2; c < end; ++c)
        value = value * 10 + (*c - '0');
    return negative ? -value : value;
}

// Adds one unit in the last place of the digits from `begin` to `last`, carrying leftwards over
// the point; false when the carry runs off the front.
bool roundUp(char* begin, char* last) {
    for (char* c = last; c >= begin; --c) {
        if (*c == '.')
            continue;
        if (*c != '9') {
            ++*c;
            return true;
        }
        *c = '0';
    }
    return false;
}

// The digits of a finite real, "d.ddde+XX" or "ddd.ddd", rounded as this runtime rounds: to
// nearest, with exact halves away from zero (the C library takes them to even). Returns the end
// of the text, or null if it does not fit.
char* realDigits(char* p, char* end, double value, bool exponent, int precision) {
    const std::chars_format form =
        exponent ? std::chars_format::scientific : std::chars_format::fixed;
    std::to_chars_result result = std::to_chars(p, end, value, form, precision);
    if (result.ec != std::errc())
        return nullptr;
    int decimal = 0; // the value's decimal exponent, which rounding may have raised by one
    if (exponent) {
        const char* e = result.ptr - 1;
        while (e > p && *e != 'e')
            --e;
        decimal = exponentOf(e, result.ptr);
    } else {
        decimal = precision; // with "f" the last digit kept is always 10^-precision
    }
    const bool tie =
        exponent ? (isTie(value, decimal, precision) || isTie(value, decimal - 1, precision))
                 : isTie(value, 0, decimal);
    if (value == 0.0 || !tie)
        return result.ptr;
    // An exact half: one more place gives exact digits ending in 5; drop it and round up.
    char longer[400];
    result = std::to_chars(longer, longer + sizeof longer, value, form, precision + 1);
    if (result.ec != std::errc())
        return nullptr;
    const char* mantissaEnd = result.ptr;
    if (exponent) {
        --mantissaEnd;
        while (mantissaEnd > longer && *mantissaEnd != 'e')
            --mantissaEnd;
    }
    const char* keep = mantissaEnd - 1; // drops the extra 5
    if (precision == 0 && keep[-1] == '.')
        --keep; // no point without decimals
    const size_t digitsBegin = longer[0] == '-' ? 1 : 0;
    std::string text(longer, size_t(keep - longer));
    int bump = 0;
    if (!roundUp(&text[digitsBegin], &text[text.size() - 1])) {
        if (exponent) {
            text[digitsBegin] = '1'; // 9.99e+00 rounds to 1.00e+01
            bump = 1;
        } else {
            text.insert(digitsBegin, 1, '1');
        }
    }
    if (exponent) {
        char exponentText[16];
        snprintf(exponentText, sizeof exponentText, "e%+03d",
                 exponentOf(mantissaEnd, result.ptr) + bump);
        text += exponentText;
    }
    if (text.size() > size_t(end - p))
        return nullptr;
    memcpy(p, text.data(), text.size());
    return p + text.size();
}

// A finite real in "e" or "f" form without its width, as printf writes it (std::to_chars gives
// the same correctly rounded digits); false for infinities and NaNs.
bool formatReal(char* target, size_t capacity, const Directive& directive, double value,
                size_t& length) {
    if (!std::isfinite(value))
        return false;
    const bool exponent = directive.type == L'e' || directive.type == L'E';
    const int precision = directive.precision < 0 ? 6 : directive.precision;
    char* p = target;
    if (!std::signbit(value)) {
        if (directive.plus)
            *p++ = '+';
        else if (directive.space)
            *p++ = ' ';
    }
    char* const end = realDigits(p, target + capacity - 2, value, exponent, precision);
    if (!end)
        return false;
    length = size_t(end - target);
    target[length] = 0;
    if (directive.type == L'E') {
        for (char* c = p; c < end; ++c) {
            if (*c == 'e')
                *c = 'E';
        }
    }
    if (exponent)
        length = widenExponent(target, length, capacity);
    return true;
}

int formatTo(Sink& out, const wchar_t* format, va_list args) {
    for (const wchar_t* f = format; *f;) {
        if (*f != L'%') {
            const wchar_t* start = f;
            while (*f && *f != L'%')
                ++f;
            out.put(start, size_t(f - start));
            continue;
        }
        ++f;
        if (*f == L'%') {
            out.put(L'%');
            ++f;
            continue;
        }
        Directive directive;
        for (;; ++f) {
            if (*f == L'-')
                directive.left = true;
            else if (*f == L'+')
                directive.plus = true;
            else if (*f == L' ')
                directive.space = true;
            else if (*f == L'#')
                directive.alt = true;
            else if (*f == L'0')
                directive.zero = true;
            else
                break;
        }
        if (*f == L'*') {
            directive.width = va_arg(args, int);
            if (directive.width < 0) {
                directive.left = true;
                directive.width = -directive.width;
            }
            ++f;
        } else {
            while (*f >= L'0' && *f <= L'9')
                directive.width = directive.width * 10 + int(*f++ - L'0');
        }
        if (*f == L'.') {
            ++f;
            directive.precision = 0;
            if (*f == L'*') {
                directive.precision = va_arg(args, int);
                ++f;
            } else {
                while (*f >= L'0' && *f <= L'9')
                    directive.precision = directive.precision * 10 + int(*f++ - L'0');
            }
        }
        // Length modifiers, with Windows' widths.
        if (f[0] == L'I' && f[1] == L'6' && f[2] == L'4') {
            directive.size = Directive::Long64;
            f += 3;
        } else if (f[0] == L'I' && f[1] == L'3' && f[2] == L'2') {
            directive.size = Directive::Default;
            f += 3;
        } else if (*f == L'I' || *f == L'z' || *f == L't' || *f == L'j') {
            directive.size = Directive::Pointer;
            ++f;
        } else if (f[0] == L'l' && f[1] == L'l') {
            directive.size = Directive::Long64;
            f += 2;
        } else if (f[0] == L'h' && f[1] == L'h') {
            directive.size = Directive::Short; // this runtime reads "hh" as "h"
            f += 2;
        } else if (*f == L'l') {
            directive.size = Directive::Long32;
            ++f;
        } else if (*f == L'h') {
            directive.size = Directive::Short;
            ++f;
        } else if (*f == L'w') {
            directive.size = Directive::Wide;
            ++f;
        } else if (*f == L'L') {
            directive.size = Directive::LongDouble;
            ++f;
        }
        directive.type = *f;
        if (!*f)
            return -1;
        ++f;

        char conversion[48];
        char text[512];
        switch (directive.type) {
        case L'd':
        case L'i':
        case L'u':
        case L'o':
        case L'x':
        case L'X': {
            const bool isSigned = directive.type == L'd' || directive.type == L'i';
            long long value;
            switch (directive.size) {
            case Directive::Long64:
            case Directive::Pointer:
                value = va_arg(args, long long);
                break;
            case Directive::Short:
                value = isSigned ? (long long)(short)va_arg(args, int)
                                 : (long long)(unsigned short)va_arg(args, int);
                break;
            case Directive::Char:
                value = isSigned ? (long long)(signed char)va_arg(args, int)
                                 : (long long)(unsigned char)va_arg(args, int);
                break;
            default:
                value =
                    isSigned ? (long long)va_arg(args, int) : (long long)va_arg(args, unsigned int);
                break;
            }
            wchar_t digits[80];
            const size_t n = formatInteger(digits, directive, value, isSigned);
            // Unlike C, the runtime pads with zeros even when a precision is given.
            emitPadded(out, directive, digits, n, true);
            break;
        }
        case L'e':
        case L'E':
        case L'f':
        case L'F':
        case L'g':
        case L'G':
        case L'a':
        case L'A': {
            int n;
            if (directive.size != Directive::LongDouble && !directive.alt &&
                (directive.type == L'e' || directive.type == L'E' || directive.type == L'f' ||
                 directive.type == L'F') &&
                directive.precision <= 100) {
                const double value = va_arg(args, double);
                size_t length = 0;
                if (formatReal(text, sizeof text, directive, value, length)) {
                    emitNarrow(out, directive, text, length, true);
                    break;
                }
                // Not finite: the C library writes it.
                buildFormat(conversion, directive, "", char(directive.type));
                n = snprintf(text, sizeof text, conversion, value);
                emitNarrow(out, directive, text, n > 0 ? size_t(n) : 0, false);
                break;
            }
            if (directive.size == Directive::LongDouble) {
                buildFormat(conversion, directive, "L", char(directive.type));
                n = snprintf(text, sizeof text, conversion, va_arg(args, long double));
            } else {
                buildFormat(conversion, directive, "", char(directive.type));
                n = snprintf(text, sizeof text, conversion, va_arg(args, double));
            }
            size_t length = n > 0 ? size_t(n) : 0;
            if (length >= sizeof text)
                length = sizeof text - 1;
            if (directive.type != L'a' && directive.type != L'A')
                length = widenExponent(text, length, sizeof text);
            const bool finite = length && (text[length - 1] >= '0' && text[length - 1] <= '9');
            emitNarrow(out, directive, text, length, finite);
            break;
        }
        case L'c':
        case L'C': {
            const bool narrow = takesNarrow(directive);
            const int value = va_arg(args, int);
            wchar_t c =
                narrow ? wchar_t(static_cast<unsigned char>(value)) : wchar_t(value & 0xFFFF);
            emitPadded(out, directive, &c, 1, false);
            break;
        }
        case L's':
        case L'S': {
            const bool narrow = takesNarrow(directive);
            const void* pointer = va_arg(args, const void*);
            if (narrow) {
                const char* s = pointer ? static_cast<const char*>(pointer) : "(null)";
                size_t n = strlen(s);
                if (directive.precision >= 0 && size_t(directive.precision) < n)
                    n = size_t(directive.precision);
                // The ANSI code page's text, widened for the wide output.
                const int units = n ? MultiByteToWideChar(CP_ACP, 0, s, int(n), nullptr, 0) : 0;
                wchar_t* wide =
                    static_cast<wchar_t*>(malloc(sizeof(wchar_t) * size_t(units > 0 ? units : 1)));
                if (!wide)
                    return -1;
                const int written =
                    units > 0 ? MultiByteToWideChar(CP_ACP, 0, s, int(n), wide, units) : 0;
                emitPadded(out, directive, wide, written > 0 ? size_t(written) : 0, false);
                free(wide);
            } else {
                const wchar_t* s = pointer ? static_cast<const wchar_t*>(pointer) : L"(null)";
                size_t n = 0;
                while (s[n] && (directive.precision < 0 || n < size_t(directive.precision)))
                    ++n;
                emitPadded(out, directive, s, n, false);
            }
            break;
        }
        case L'p': {
            const int n = snprintf(text, sizeof text, "%016llX",
                                   (unsigned long long)(uintptr_t)va_arg(args, void*));
            emitNarrow(out, directive, text, size_t(n), false);
            break;
        }
        default:
            // "%n" and unknown conversions are refused, as the runtime's checks do.
            return -1;
        }
    }
    return 0;
}

} // namespace

ZP_EXTERN_C int __cdecl _vsnwprintf_s(wchar_t* buffer, size_t bufferSize, size_t count,
                                      const wchar_t* format, va_list args) {
    if (!buffer || !bufferSize || !format) {
        errno = EINVAL;
        if (buffer && bufferSize)
            buffer[0] = 0;
        return -1;
    }
    const bool truncate = count == _TRUNCATE;
    Sink out{buffer, truncate || count >= bufferSize ? bufferSize - 1 : count};
    va_list copy;
    va_copy(copy, args);
    const int status = formatTo(out, format, copy);
    va_end(copy);
    if (status < 0) {
        buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    buffer[out.length] = 0;
    if (out.cut) {
        if (!truncate && count >= bufferSize) {
            // The text did not fit the buffer and cutting it was not asked for.
            buffer[0] = 0;
            errno = ERANGE;
        }
        return -1;
    }
    return int(out.length);
}

ZP_EXTERN_C int __cdecl _snwprintf_s(wchar_t* buffer, size_t bufferSize, size_t count,
                                     const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = _vsnwprintf_s(buffer, bufferSize, count, format, args);
    va_end(args);
    return result;
}

namespace {

bool isSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

int digitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return int(c - L'0');
    if (c >= L'a' && c <= L'z')
        return int(c - L'a' + 10);
    if (c >= L'A' && c <= L'Z')
        return int(c - L'A' + 10);
    return 99;
}

void storeInteger(va_list* args, Directive::Size size, unsigned long long value) {
    switch (size) {
    case Directive::Char:
        *va_arg(*args, char*) = char(value);
        break;
    case Directive::Short:
        *va_arg(*args, short*) = short(value);
        break;
    case Directive::Long64:
        *va_arg(*args, long long*) = (long long)value;
        break;
    case Directive::Pointer:
        *va_arg(*args, size_t*) = size_t(value);
        break;
    default:
        *va_arg(*args, int*) = int(value);
        break;
    }
}

int scanFrom(const wchar_t* input, const wchar_t* format, va_list* args) {
    const wchar_t* in = input;
    int stored = 0;
    bool converted = false;
    for (const wchar_t* f = format; *f;) {
        if (isSpace(*f)) {
            while (isSpace(*f))
                ++f;
            while (isSpace(*in))
                ++in;
            continue;
        }
        if (*f != L'%' || f[1] == L'%') {
            if (*f == L'%') {
                ++f;
                while (isSpace(*in))
                    ++in;
            }
            if (*in != *f)
                return (!*in && !converted) ? EOF : stored;
            ++in;
            ++f;
            continue;
        }
        ++f;
        bool suppress = false;
        if (*f == L'*') {
            suppress = true;
            ++f;
        }
        size_t width = 0;
        while (*f >= L'0' && *f <= L'9')
            width = width * 10 + size_t(*f++ - L'0');
        Directive::Size size = Directive::Default;
        if (f[0] == L'I' && f[1] == L'6' && f[2] == L'4') {
            size = Directive::Long64;
            f += 3;
        } else if (f[0] == L'l' && f[1] == L'l') {
            size = Directive::Long64;
            f += 2;
        } else if (f[0] == L'h' && f[1] == L'h') {
            size = Directive::Char;
            f += 2;
        } else if (*f == L'l' || *f == L'w') {
            size = *f == L'l' ? Directive::Long32 : Directive::Wide;
            ++f;
        } else if (*f == L'h') {
            size = Directive::Short;
            ++f;
        } else if (*f == L'L') {
            size = Directive::LongDouble;
            ++f;
        } else if (*f == L'I' || *f == L'z') {
            size = Directive::Pointer;
            ++f;
        }
        const wchar_t type = *f;
        if (!type)
            return stored;
        ++f;
        if (type != L'c' && type != L'[' && type != L'n')
            while (isSpace(*in))
                ++in;
        if (type == L'n') {
            if (!suppress)
                storeInteger(args, size, (unsigned long long)(in - input));
            continue;
        }
        if (!*in)
            return converted ? stored : EOF;
        const size_t limit = width ? width : SIZE_MAX;
        switch (type) {
        case L'd':
        case L'i':
        case L'u':
        case L'o':
        case L'x':
        case L'X': {
            size_t used = 0;
            bool negative = false;
            if (used < limit && (in[used] == L'+' || in[used] == L'-')) {
                negative = in[used] == L'-';
                ++used;
            }
            unsigned base = (type == L'o')                   ? 8
                            : (type == L'x' || type == L'X') ? 16
                            : (type == L'i')                 ? 0
                                                             : 10;
            if ((base == 16 || base == 0) && used + 1 < limit && in[used] == L'0' &&
                (in[used + 1] == L'x' || in[used + 1] == L'X') && digitValue(in[used + 2]) < 16) {
                base = 16;
                used += 2;
            } else if (base == 0) {
                base = (in[used] == L'0') ? 8 : 10;
            }
            unsigned long long value = 0;
            size_t digits = 0;
            while (used < limit && in[used] && unsigned(digitValue(in[used])) < base) {
                value = value * base + unsigned(digitValue(in[used]));
                ++used;
                ++digits;
            }
            if (!digits)
                return stored;
            in += used;
            if (negative)
                value = 0ULL - value;
            if (!suppress) {
                storeInteger(args, size, value);
                ++stored;
            }
            break;
        }
        case L'e':
        case L'E':
        case L'f':
        case L'g':
        case L'G':
        case L'a': {
            wchar_t field[128];
            size_t n = 0;
            while (n < limit && n < 127 && in[n] && !isSpace(in[n]))
                field[n] = in[n], ++n;
            field[n] = 0;
            wchar_t* end = nullptr;
            const double value = wcstod(field, &end);
            if (end == field)
                return stored;
            in += end - field;
            if (!suppress) {
                if (size == Directive::Long32 || size == Directive::LongDouble)
                    *va_arg(*args, double*) = value;
                else
                    *va_arg(*args, float*) = float(value);
                ++stored;
            }
            break;
        }
        case L'c':
        case L's':
        case L'[': {
            // The set of a "%[" conversion.
            const wchar_t* setBegin = nullptr;
            const wchar_t* setEnd = nullptr;
            bool invert = false;
            if (type == L'[') {
                if (*f == L'^') {
                    invert = true;
                    ++f;
                }
                setBegin = f;
                if (*f == L']')
                    ++f;
                while (*f && *f != L']')
                    ++f;
                setEnd = f;
                if (*f)
                    ++f;
            }
            auto accepts = [&](wchar_t c) {
                if (type == L'c')
                    return true;
                if (type == L's')
                    return !isSpace(c);
                bool inSet = false;
                for (const wchar_t* p = setBegin; p < setEnd; ++p) {
                    if (p + 2 < setEnd && p[1] == L'-' && p != setBegin) {
                        if (c >= p[0] && c <= p[2])
                            inSet = true;
                        p += 2;
                    } else if (*p == c) {
                        inSet = true;
                    }
                }
                return inSet != invert;
            };
            const size_t want = type == L'c' ? (width ? width : 1) : limit;
            wchar_t* target = nullptr;
            size_t capacity = 0;
            if (!suppress) {
                target = va_arg(*args, wchar_t*);
                capacity = va_arg(*args, unsigned int);
            }
            size_t n = 0;
            while (n < want && in[n] && accepts(in[n]))
                ++n;
            if (!n || (type == L'c' && n < want))
                return stored;
            if (!suppress) {
                const size_t needed = type == L'c' ? n : n + 1;
                if (!target || capacity < needed) {
                    if (target && capacity)
                        target[0] = 0;
                    return stored;
                }
                wmemcpy(target, in, n);
                if (type != L'c')
                    target[n] = 0;
                ++stored;
            }
            in += n;
            break;
        }
        default:
            return stored;
        }
        converted = true;
    }
    return stored;
}

} // namespace

ZP_EXTERN_C int __cdecl vswscanf_s(const wchar_t* input, const wchar_t* format, va_list args) {
    if (!input || !format) {
        errno = EINVAL;
        return EOF;
    }
    va_list copy;
    va_copy(copy, args);
    const int result = scanFrom(input, format, &copy);
    va_end(copy);
    return result;
}

ZP_EXTERN_C int __cdecl swscanf_s(const wchar_t* input, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = vswscanf_s(input, format, args);
    va_end(args);
    return result;
}
