// Property values given on the command line (PROP=VALUE), read by the property's CIM type into
// the VARIANT that WMI takes for that type. A value that does not fit names the property, its
// type and what the type accepts, and throws UsageError.
//
// Integers are decimal or 0x hexadecimal; booleans true/false (or 1/0); a char16 is one
// character; datetimes are yyyymmddHHMMSS.mmmmmmsUUU or an interval ddddddddHHMMSS.mmmmmm:000;
// strings and references are taken as written. An array's elements are separated by commas,
// with "\," for a comma inside an element and an empty value for an empty array.
#pragma once

#include <zudava/zudava.h>

#include <string>
#include <utility>

namespace tool {

_variant_t parseValue(const std::string& property, CIMTYPE type, const std::string& text);

// "Name=Value" as its two halves; an argument without '=' or with no name throws UsageError.
std::pair<std::string, std::string> splitAssignment(const std::string& argument);

} // namespace tool
