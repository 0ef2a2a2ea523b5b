#pragma once

#include <string>
#include <vector>

#include "zudava/Export.h"
#include "zudava/os/Mutex.h"

namespace DEZE {

// A new group's entry in the group configuration file.
struct ZUDAVA_API _configData {
    std::string groupName;               // the section name
    std::string clsid;                   // the value of "CLSID"
    std::vector<std::string> namespaces; // stored joined by ":" under "NAMESPACE"; may be empty
};

// The group configuration file "groupname.ini" in the common data folder: which provider group
// has which CLSID and which namespaces. Every call reads or rewrites the file, so processes see
// each other's changes at once; nothing is cached. Calls take no lock: callers that read, modify
// and write one group serialise themselves (the COM server registration does).
//
// Values are written only whole: a CLSID, a section line or a "NAMESPACE" value of 1024 characters
// or more does not fit the profile buffers and is refused with false, writing nothing. Without the
// data folder every write returns false; the folder is never created here.
class ZUDAVA_API GroupConfFile {
public:
    // The process's one object; null only when it cannot be allocated.
    static GroupConfFile* getInstance();

    // Creates (or replaces) the group's section with its CLSID and namespaces.
    bool AddEntry(const _configData& data);
    // Removes the group's section; false when there is none.
    bool DeleteEntry(std::string group);
    bool FindEntry(std::string group);
    // The group's CLSID; empty when the group or its CLSID is missing.
    std::string GetCLSID(std::string group);
    bool UpdateCLSIDForGroup(std::string group, std::string clsid);
    // Appends a namespace unless its text already occurs in the group's list (a substring test:
    // root\a counts as present in root\ab).
    bool AddNamespaceToGroup(std::string group, std::string ns);
    std::vector<std::string> GetNamespacesForGroup(std::string group);
    // The names of all sections in file order. The only operation that looks up the file's place
    // in the environment afresh.
    std::vector<std::string> GetAllGroups();

private:
    GroupConfFile();
    GroupConfFile(const GroupConfFile&);

    static GroupConfFile* pInstance;
    static Mutex _configMutex;
};

} // namespace DEZE
