#include "zudava/registration/RegistryManager.h"

#include <windows.h>

#include <cstdint>

namespace DEZE {

RegistryManager::RegistryManager() = default;

bool RegistryManager::ReadRegKey(std::string key, std::string valueName, unsigned long* value) {
    if (!value)
        return false;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    BYTE bytes[4] = {0, 0, 0, 0};
    DWORD size = sizeof bytes;
    const LONG result = RegQueryValueExA(handle, valueName.c_str(), nullptr, nullptr, bytes, &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS)
        return false;
    *value = static_cast<unsigned long>(uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) |
                                        (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[3]) << 24));
    return true;
}

bool RegistryManager::WriteRegKey(std::string key, std::string valueName, unsigned long value) {
    if ((static_cast<unsigned long long>(value) >> 32) != 0)
        return false;
    HKEY handle = nullptr;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, key.c_str(), &handle) != ERROR_SUCCESS)
        return false;
    const uint32_t number = static_cast<uint32_t>(value);
    const BYTE bytes[4] = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
    const LONG result =
        RegSetValueExA(handle, valueName.c_str(), 0, REG_DWORD, bytes, sizeof bytes);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

} // namespace DEZE
