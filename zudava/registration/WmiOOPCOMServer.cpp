#include "zudava/registration/WmiOOPCOMServer.h"

#include <windows.h>

namespace DEZE {
namespace {

const wchar_t kClsidFolder[] = L"CLSID\\";
const wchar_t kLocalServer[] = L"\\LocalServer32";
const wchar_t kAppIdValue[] = L"AppID";
const wchar_t kGroupSwitch[] = L" /G";
const wchar_t kGroupSeparator[] = L":";

// REG_SZ counted as the registry counts wide text, two bytes a character, without the NUL.
void setText(HKEY key, const wchar_t* name, const std::wstring& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(2 * text.size()));
}

} // namespace

bool WmiOOPCOMServer::Register(const COMRegistration& registration) {
    // Without a CLSID the keys would be "CLSID\" itself: nothing is written then.
    if (registration.clsid.empty())
        return true;
    const std::wstring classKey = kClsidFolder + registration.clsid;
    HKEY key = nullptr;
    if (RegCreateKeyW(HKEY_CLASSES_ROOT, classKey.c_str(), &key) == ERROR_SUCCESS) {
        setText(key, nullptr, registration.displayName);
        setText(key, kAppIdValue, registration.appId);
        RegCloseKey(key);
    }
    if (RegCreateKeyW(HKEY_CLASSES_ROOT, (classKey + kLocalServer).c_str(), &key) ==
        ERROR_SUCCESS) {
        setText(key, nullptr,
                registration.serverPath + kGroupSwitch + registration.clsid + kGroupSeparator +
                    registration.groupName);
        RegCloseKey(key);
    }
    return true;
}

bool WmiOOPCOMServer::UnRegister(const COMRegistration& registration) {
    // An empty CLSID would name "CLSID\" and "CLSID\\LocalServer32": the registry is left alone.
    if (registration.clsid.empty())
        return true;
    const std::wstring classKey = kClsidFolder + registration.clsid;
    // Only keys without subkeys can be deleted, so the subkey goes first.
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (classKey + kLocalServer).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str());
    return true;
}

} // namespace DEZE
