#include "ToolSupport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ostream>

namespace tool {

namespace {

bool wholeInteger(const std::string& text, bool isSigned, long long low, unsigned long long high,
                  long long& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    if (isSigned) {
        const long long read = std::strtoll(text.c_str(), &end, 0);
        if (errno || *end || read < low || read > static_cast<long long>(high))
            return false;
        value = read;
    } else {
        if (text[0] == '-')
            return false;
        const unsigned long long read = std::strtoull(text.c_str(), &end, 0);
        if (errno || *end || read > high)
            return false;
        value = static_cast<long long>(read);
    }
    return true;
}

// The VARIANT that WMI carries a value of the CIM type in; false when the text does not fit.
bool variantFor(long cimType, const std::string& text, _variant_t& value) {
    long long number = 0;
    switch (cimType) {
    case CIM_STRING:
    case CIM_DATETIME:
    case CIM_REFERENCE:
        value = _variant_t(DEZE::make_wstring(text).c_str());
        return true;
    case CIM_BOOLEAN: {
        std::string lower = text;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower != "true" && lower != "false")
            return false;
        value = _variant_t(lower == "true");
        return true;
    }
    case CIM_SINT8:
        if (!wholeInteger(text, true, -128, 127, number))
            return false;
        value = _variant_t(static_cast<short>(number));
        return true;
    case CIM_UINT8:
        if (!wholeInteger(text, false, 0, 255, number))
            return false;
        value = _variant_t(static_cast<unsigned char>(number));
        return true;
    case CIM_SINT16:
        if (!wholeInteger(text, true, -32768, 32767, number))
            return false;
        value = _variant_t(static_cast<short>(number));
        return true;
    case CIM_UINT16:
    case CIM_CHAR16:
        if (!wholeInteger(text, false, 0, 65535, number))
            return false;
        value = _variant_t(static_cast<long>(number), VT_I4);
        return true;
    case CIM_SINT32:
        if (!wholeInteger(text, true, -2147483647LL - 1, 2147483647ULL, number))
            return false;
        value = _variant_t(static_cast<long>(number), VT_I4);
        return true;
    case CIM_UINT32:
        if (!wholeInteger(text, false, 0, 4294967295ULL, number))
            return false;
        value =
            _variant_t(static_cast<long>(static_cast<int>(static_cast<unsigned>(number))), VT_I4);
        return true;
    case CIM_SINT64:
    case CIM_UINT64:
        if (!wholeInteger(text, cimType == CIM_SINT64, -9223372036854775807LL - 1,
                          cimType == CIM_SINT64 ? 9223372036854775807ULL : ~0ULL, number))
            return false;
        value = _variant_t(
            DEZE::make_wstring(cimType == CIM_SINT64
                                   ? std::to_string(number)
                                   : std::to_string(static_cast<unsigned long long>(number)))
                .c_str());
        return true;
    case CIM_REAL32:
    case CIM_REAL64: {
        if (text.empty())
            return false;
        char* end = nullptr;
        const double read = std::strtod(text.c_str(), &end);
        if (*end)
            return false;
        value = cimType == CIM_REAL32 ? _variant_t(static_cast<float>(read)) : _variant_t(read);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool setPropertyFromText(DEZE::WmiObject& object, const std::string& className,
                         const std::string& name, const std::string& text, std::ostream& err,
                         const char* command) {
    const _bstr_t wideName(DEZE::make_wstring(name).c_str());
    long cimType = 0;
    try {
        cimType = object.getProperty(wideName).getType();
    } catch (const DEZE::WmiException&) {
        err << "zudava " << command << ": " << className << " has no property " << name << '\n';
        return false;
    }
    _variant_t value;
    if (!variantFor(cimType, text, value)) {
        err << "zudava " << command << ": property " << name << " is "
            << DEZE::make_string(static_cast<const wchar_t*>(DEZE::WmiType(cimType).toString()))
            << "; '" << text << "' is not a value of that type\n";
        return false;
    }
    const HRESULT status = object->Put(wideName, 0, &value, 0);
    if (FAILED(status))
        throw DEZE::WmiException(status, _bstr_t(L"IWbemClassObject::Put() failed"));
    return true;
}

} // namespace tool
