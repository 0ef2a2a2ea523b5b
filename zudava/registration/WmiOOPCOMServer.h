#pragma once

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// The out-of-process COM server of each provider group: its registry entries under
// HKEY_CLASSES_ROOT\CLSID.
class ZUDAVA_API WmiOOPCOMServer {
public:
    // The registry data of one server.
    struct COMRegistration {
        std::wstring clsid;       // registry form, with braces
        std::wstring appId;       // the same form
        std::wstring serverPath;  // full path of the server executable
        std::wstring groupName;   // the provider group
        std::wstring displayName; // the CLSID key's default value; left empty by the library
    };

private:
    friend class WmiOOPCOMServerTest;

    // Writes the three values: the CLSID key's default value (displayName) and "AppID", and the
    // local-server command line `serverPath /G{clsid}:group`, unquoted. Text is REG_SZ with a
    // byte count of two per character and no NUL. A key that cannot be created has its values
    // skipped. Always true.
    static bool Register(const COMRegistration& registration);
    // Deletes "CLSID\{clsid}\LocalServer32", then "CLSID\{clsid}" with its values; failures are
    // not looked at. Always true.
    static bool UnRegister(const COMRegistration& registration);
};

} // namespace DEZE
