#pragma once

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// One DWORD value under HKEY_CLASSES_ROOT. Key paths use backslashes and are relative to
// HKEY_CLASSES_ROOT; an empty value name names the key's default value.
class ZUDAVA_API RegistryManager {
public:
    RegistryManager();

    // Reads a value of at most four bytes, whatever its registry type, as a little-endian number
    // (shorter data leaves the upper bytes zero). False, with `*value` unchanged, when the key or
    // value is missing or the value is longer.
    static bool ReadRegKey(std::string key, std::string valueName, unsigned long* value);
    // Writes a REG_DWORD, creating the key path as needed. A number wider than 32 bits does not
    // fit a DWORD and is refused with false rather than written cut.
    static bool WriteRegKey(std::string key, std::string valueName, unsigned long value);
};

} // namespace DEZE
