#include "ValueParser.h"

#include "Commands.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace tool {

namespace {

struct Range {
    long long low;
    unsigned long long high;
};

bool integerRange(CIMTYPE type, Range& range) {
    switch (type) {
    case CIM_SINT8:
        range = {-128, 127};
        return true;
    case CIM_UINT8:
        range = {0, 255};
        return true;
    case CIM_SINT16:
        range = {-32768, 32767};
        return true;
    case CIM_UINT16:
        range = {0, 65535};
        return true;
    case CIM_SINT32:
        range = {-2147483648LL, 2147483647};
        return true;
    case CIM_UINT32:
        range = {0, 4294967295ULL};
        return true;
    case CIM_SINT64:
        range = {std::numeric_limits<long long>::min(),
                 static_cast<unsigned long long>(std::numeric_limits<long long>::max())};
        return true;
    case CIM_UINT64:
        range = {0, std::numeric_limits<unsigned long long>::max()};
        return true;
    default:
        return false;
    }
}

// A decimal or 0x hexadecimal integer with an optional sign, whole text only.
bool readInteger(const std::string& text, bool& negative, unsigned long long& magnitude) {
    size_t at = 0;
    negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    int base = 10;
    if (text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == text.size())
        return false;
    magnitude = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (magnitude > (std::numeric_limits<unsigned long long>::max() - digit) / base)
            return false;
        magnitude = magnitude * base + digit;
    }
    return true;
}

bool isDigits(const std::string& text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool isDatetime(const std::string& text) {
    if (text.size() != 25 || text[14] != '.' || !isDigits(text, 0, 14) || !isDigits(text, 15, 21) ||
        !isDigits(text, 22, 25))
        return false;
    if (text[21] == ':')
        return text.compare(22, 3, "000") == 0;
    return text[21] == '+' || text[21] == '-';
}

std::string typeName(CIMTYPE type) {
    return utf8Text(DEZE::WmiType(type).toString());
}

class Reader {
public:
    Reader(const std::string& property, CIMTYPE type) : m_property(property), m_type(type) {}

    // One element (or the scalar) as a VARIANT of the type's carrier.
    _variant_t scalar(const std::string& text) const {
        const CIMTYPE base = m_type & ~CIM_FLAG_ARRAY;
        const VARTYPE carrier = static_cast<unsigned short>(DEZE::WmiType(base));
        Range range{};
        if (integerRange(base, range)) {
            bool negative = false;
            unsigned long long magnitude = 0;
            const bool fits =
                readInteger(text, negative, magnitude) &&
                magnitude <=
                    (negative ? 0ULL - static_cast<unsigned long long>(range.low) : range.high);
            if (!fits)
                wrong(text, "an integer from " + std::to_string(range.low) + " to " +
                                std::to_string(range.high));
            if (carrier == VT_BSTR) { // 64-bit integers travel as decimal text
                const std::string decimal =
                    (negative && magnitude != 0 ? "-" : "") + std::to_string(magnitude);
                return _variant_t(wideText(decimal).c_str());
            }
            const long long value =
                negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
            _variant_t out;
            switch (carrier) {
            case VT_UI1:
                V_VT(&out) = VT_UI1;
                V_UI1(&out) = static_cast<BYTE>(value);
                break;
            case VT_I2:
                V_VT(&out) = VT_I2;
                V_I2(&out) = static_cast<SHORT>(value);
                break;
            default: // uint32 travels as the signed 32-bit value of its bits
                V_VT(&out) = VT_I4;
                V_I4(&out) = static_cast<LONG>(static_cast<int32_t>(static_cast<uint32_t>(value)));
                break;
            }
            return out;
        }
        switch (base) {
        case CIM_REAL32:
        case CIM_REAL64: {
            char* end = nullptr;
            errno = 0;
            const double number = text.empty() ? 0 : std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || errno == ERANGE ||
                (base == CIM_REAL32 && std::isfinite(number) &&
                 std::fabs(number) > std::numeric_limits<float>::max()))
                wrong(text, "a number");
            _variant_t out;
            if (base == CIM_REAL32) {
                V_VT(&out) = VT_R4;
                V_R4(&out) = static_cast<float>(number);
            } else {
                V_VT(&out) = VT_R8;
                V_R8(&out) = number;
            }
            return out;
        }
        case CIM_BOOLEAN: {
            const std::string lower = lowered(text);
            if (lower != "true" && lower != "false" && lower != "1" && lower != "0")
                wrong(text, "true or false");
            return _variant_t(lower == "true" || lower == "1");
        }
        case CIM_CHAR16: {
            const std::wstring units = wideText(text);
            if (units.size() != 1)
                wrong(text, "one character");
            _variant_t out;
            V_VT(&out) = VT_I2;
            V_I2(&out) = static_cast<SHORT>(units[0]);
            return out;
        }
        case CIM_DATETIME:
            if (!isDatetime(text))
                wrong(text, "a datetime (yyyymmddHHMMSS.mmmmmmsUUU) or an interval "
                            "(ddddddddHHMMSS.mmmmmm:000)");
            return _variant_t(wideText(text).c_str());
        case CIM_OBJECT:
            throw UsageError("property '" + m_property + "' is " + typeName(m_type) +
                             "; an embedded object cannot be given as text");
        default: // string, reference
            return _variant_t(wideText(text).c_str());
        }
    }

private:
    static std::string lowered(const std::string& text) {
        std::string result = text;
        for (char& c : result)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return result;
    }

    [[noreturn]] void wrong(const std::string& text, const std::string& expected) const {
        throw UsageError("property '" + m_property + "' is " + typeName(m_type) + "; '" + text +
                         "' is not " + expected);
    }

    std::string m_property;
    CIMTYPE m_type;
};

std::vector<std::string> splitElements(const std::string& text) {
    std::vector<std::string> elements;
    if (text.empty())
        return elements;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == ',') {
            current += ',';
            ++i;
        } else if (text[i] == ',') {
            elements.push_back(current);
            current.clear();
        } else {
            current += text[i];
        }
    }
    elements.push_back(current);
    return elements;
}

} // namespace

_variant_t parseValue(const std::string& property, CIMTYPE type, const std::string& text) {
    const Reader reader(property, type);
    if (!(type & CIM_FLAG_ARRAY))
        return reader.scalar(text);
    DEZE::WmiArray array(nullptr, type);
    for (const std::string& element : splitElements(text))
        array.addElement(reader.scalar(element));
    SAFEARRAY* copy = nullptr;
    const HRESULT status = SafeArrayCopy(static_cast<SAFEARRAY*>(array), &copy);
    if (FAILED(status))
        throw DEZE::WmiException(status, L"SafeArrayCopy() failed");
    _variant_t out;
    V_VT(&out) = static_cast<VARTYPE>(
        VT_ARRAY | static_cast<unsigned short>(DEZE::WmiType(type & ~CIM_FLAG_ARRAY)));
    V_ARRAY(&out) = copy;
    return out;
}

std::pair<std::string, std::string> splitAssignment(const std::string& argument) {
    const size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0)
        throw UsageError("expected PROPERTY=VALUE, not '" + argument + "'");
    return {argument.substr(0, equals), argument.substr(equals + 1)};
}

} // namespace tool
