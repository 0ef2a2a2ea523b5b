#include "zudava/wmi/CimTypes.h"

namespace DEZE {
namespace cim {

namespace {

// 64-bit integers, datetimes and references travel as text; unsigned 16- and 32-bit integers as
// signed 32-bit; signed 8-bit integers and 16-bit characters as signed 16-bit. Rows are in code
// order, which puts the type a carrier stands for first among the types it carries. The rooms
// are what a value's text is expected to need.
const TypeInfo kTypes[] = {
    {CIM_EMPTY, L"null", VT_EMPTY, TextForm::Null, 64, 23, false},
    {CIM_SINT16, L"sint16", VT_I2, TextForm::Signed16, 64, 23, true},
    {CIM_SINT32, L"sint32", VT_I4, TextForm::Signed32, 64, 23, true},
    {CIM_REAL32, L"real32", VT_R4, TextForm::Real32, 64, 67, true},
    {CIM_REAL64, L"real64", VT_R8, TextForm::Real64, 64, 67, true},
    {CIM_STRING, L"string", VT_BSTR, TextForm::Text, 512, 515, true},
    {CIM_BOOLEAN, L"boolean", VT_BOOL, TextForm::Boolean, 6, 9, true},
    {CIM_OBJECT, L"object", VT_UNKNOWN, TextForm::Object, 4056, 4059, true},
    {CIM_SINT8, L"sint8", VT_I2, TextForm::Signed16, 64, 23, true},
    {CIM_UINT8, L"uint8", VT_UI1, TextForm::Unsigned8, 64, 23, true},
    {CIM_UINT16, L"uint16", VT_I4, TextForm::Unsigned16, 64, 23, true},
    {CIM_UINT32, L"uint32", VT_I4, TextForm::Unsigned32, 64, 23, true},
    {CIM_SINT64, L"sint64", VT_BSTR, TextForm::Text, 20, 23, true},
    {CIM_UINT64, L"uint64", VT_BSTR, TextForm::Text, 20, 23, true},
    {CIM_DATETIME, L"datetime", VT_BSTR, TextForm::Text, 26, 29, true},
    {CIM_REFERENCE, L"reference", VT_BSTR, TextForm::Text, 1024, 1027, true},
    {CIM_CHAR16, L"char16", VT_I2, TextForm::Char16, 64, 8, true},
};

} // namespace

const TypeInfo* find(long type) {
    for (const TypeInfo& info : kTypes) {
        if (info.type == type)
            return &info;
    }
    return nullptr;
}

const TypeInfo* findByCarrier(VARTYPE vt) {
    if (vt == VT_EMPTY)
        return nullptr;
    for (const TypeInfo& info : kTypes) {
        if (info.carrier == vt)
            return &info;
    }
    return nullptr;
}

} // namespace cim
} // namespace DEZE
