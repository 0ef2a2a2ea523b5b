#include "zudava/wmi/WmiType.h"

namespace DEZE {

namespace {

constexpr long kArrayFlag = 0x2000;
constexpr long kIllegal = 0xFFF;

struct TypeInfo {
    long cimType;
    const wchar_t* name;
    VARTYPE carrier;
};

// 64-bit integers, datetimes and references travel as text; unsigned 16- and 32-bit integers as
// signed 32-bit; signed 8-bit integers and 16-bit characters as signed 16-bit.
const TypeInfo kTypes[] = {
    {0, L"null", VT_EMPTY},       {2, L"sint16", VT_I2},       {3, L"sint32", VT_I4},
    {4, L"real32", VT_R4},        {5, L"real64", VT_R8},       {8, L"string", VT_BSTR},
    {11, L"boolean", VT_BOOL},    {13, L"object", VT_UNKNOWN}, {16, L"sint8", VT_I2},
    {17, L"uint8", VT_UI1},       {18, L"uint16", VT_I4},      {19, L"uint32", VT_I4},
    {20, L"sint64", VT_BSTR},     {21, L"uint64", VT_BSTR},    {101, L"datetime", VT_BSTR},
    {102, L"reference", VT_BSTR}, {103, L"char16", VT_I2},
};

const TypeInfo* find(long cimType) {
    for (const TypeInfo& info : kTypes) {
        if (info.cimType == cimType)
            return &info;
    }
    return nullptr;
}

} // namespace

WmiType::WmiType(long cimType) : m_type(cimType) {}

WmiType::WmiType(const _variant_t& value) {
    switch (V_VT(&value)) {
    case VT_I2:
        m_type = 2;
        break;
    case VT_I4:
        m_type = 3;
        break;
    case VT_R4:
        m_type = 4;
        break;
    case VT_R8:
        m_type = 5;
        break;
    case VT_BSTR:
        m_type = 8;
        break;
    case VT_BOOL:
        m_type = 11;
        break;
    case VT_UNKNOWN:
        m_type = 13;
        break;
    case VT_UI1:
        m_type = 17;
        break;
    default:
        m_type = kIllegal;
        break;
    }
}

WmiType::operator long() const {
    return m_type;
}

WmiType::operator unsigned short() const {
    const TypeInfo* info = find(m_type & ~kArrayFlag);
    if (!info)
        return VT_EMPTY;
    if (m_type & kArrayFlag)
        return static_cast<unsigned short>(info->carrier | VT_ARRAY);
    return info->carrier;
}

_bstr_t WmiType::toString() const {
    const TypeInfo* info = find(m_type & ~kArrayFlag);
    _bstr_t name(info ? info->name : L"unknown");
    if (m_type & kArrayFlag)
        name += L"[]";
    return name;
}

} // namespace DEZE
