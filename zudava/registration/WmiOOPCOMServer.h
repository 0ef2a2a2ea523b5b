#pragma once

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// The out-of-process COM server of each provider group and its provider registration in WMI.
//
// A group gets one CLSID, the registry entries that make the calling executable the local server
// of that CLSID (HKEY_CLASSES_ROOT\CLSID), and in each namespace it serves a `__Win32Provider`
// instance with its instance, method and event provider registrations. The group configuration
// file records which group has which CLSID and namespaces.
//
// Registrations and removals in one process run one at a time under the registration mutex. It is
// always taken before the connection factory's mutex and before the group file's singleton mutex,
// never after them. Between processes nothing is locked.
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

    // Links `group` into the namespace `ns` (root\cimv2). The first call for a group makes its
    // CLSID, links it, writes the registry entries and adds the group to the file; a later call
    // links the known CLSID into one more namespace and appends the namespace to the group's list.
    // A namespace the group lists already (in any letter case) changes nothing. True when the group
    // is linked there; false for a null argument, a group name or executable path too long for its
    // buffer, or no group file object. Raises WmiException when no GUID can be made or linking
    // fails; nothing is recorded then.
    static bool CreateNewCOMServer(const char* ns, const char* group);
    // Unlinks the group from every namespace it lists, in order, then deletes the registry
    // entries of `clsid` (null: the CLSID the file records) and the group's section. At the
    // first namespace that cannot be unlinked it stops with false and leaves the registry and the
    // file as they are. An empty CLSID leaves the registry alone. Never raises for WMI failures.
    static bool RemoveCOMServer(const char* group, const char* clsid);

    // Stores the provider `group` with `clsid` (text with braces) in `ns`: the `__Win32Provider`
    // instance, then its instance, method and event registrations, which refer to it with "." as
    // the machine name. Overwrites what is there already. Returns true; raises the connection
    // factory's exception when the namespace cannot be opened, and WmiException E_FAIL with a
    // message naming the failed step otherwise, after deleting whatever it may have stored.
    static bool LinkCPA2NS(const char* ns, const char* group, const char* clsid);
    // Deletes the three registrations of `group` from `ns`, then its `__Win32Provider` instance.
    // True when all four were deleted. Stops with false at the first one it cannot find or delete,
    // leaving the rest in place; never raises.
    static bool UnlinkCPA2NS(const char* ns, const char* group);

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
