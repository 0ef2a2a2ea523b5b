// zudava provider link, unlink and remove: the registration library's operations, with
// the group file checked before and after so that a person learns what happened.
#include "ProviderCommands.h"

#include "ProviderState.h"
#include "Commands.h"
#include "ToolSupport.h"

#include <algorithm>
#include <ostream>

namespace tool {

namespace {

bool lists(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& item) { return sameName(item, name); });
}

DEZE::GroupConfFile& groupFile() {
    DEZE::GroupConfFile* file = DEZE::GroupConfFile::getInstance();
    if (!file)
        throw DEZE::WmiException(E_OUTOFMEMORY, _bstr_t(L"the group file cannot be read"));
    return *file;
}

// Rewrites the group's section with its CLSID and the namespaces but `dropped`. The group file
// has no call that removes one namespace, and a section is always written whole.
bool dropNamespace(DEZE::GroupConfFile& file, const std::string& group,
                   const std::string& dropped) {
    DEZE::_configData data;
    data.groupName = group;
    data.clsid = file.GetCLSID(group);
    for (const std::string& ns : file.GetNamespacesForGroup(group))
        if (!sameName(ns, dropped))
            data.namespaces.push_back(ns);
    return file.AddEntry(data);
}

} // namespace

int providerLink(Tool& tool, const ProviderOptions& options) {
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    tool.initialiseCom();
    DEZE::GroupConfFile& file = groupFile();
    if (file.FindEntry(options.group) &&
        lists(file.GetNamespacesForGroup(options.group), options.nameSpace)) {
        out << "group " << options.group << " is linked into " << options.nameSpace << " already\n";
        return kSuccess;
    }
    if (!DEZE::WmiOOPCOMServer::CreateNewCOMServer(options.nameSpace.c_str(),
                                                   options.group.c_str())) {
        err << "zudava provider link: group " << options.group << " cannot be registered\n";
        return kFailure;
    }
    // The library does not look at the group file's writes: a missing data folder loses them.
    if (!lists(file.GetNamespacesForGroup(options.group), options.nameSpace)) {
        err << "zudava provider link: group " << options.group << " is linked into "
            << options.nameSpace << ", but the group file could not be written\n";
        return kFailure;
    }
    out << "linked group " << options.group << " into " << options.nameSpace << " (CLSID "
        << file.GetCLSID(options.group) << ")\n";
    return kSuccess;
}

int providerUnlink(Tool& tool, const ProviderOptions& options) {
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    tool.initialiseCom();
    DEZE::GroupConfFile& file = groupFile();
    const bool listed = file.FindEntry(options.group) &&
                        lists(file.GetNamespacesForGroup(options.group), options.nameSpace);
    const bool unlinked =
        DEZE::WmiOOPCOMServer::UnlinkCPA2NS(options.nameSpace.c_str(), options.group.c_str());
    if (!unlinked && !(options.force && listed)) {
        err << "zudava provider unlink: group " << options.group << " is not linked into "
            << options.nameSpace << " (no complete provider registration there)"
            << (listed ? "; --force drops the namespace from the group file anyway" : "") << '\n';
        return kFailure;
    }
    if (listed && !dropNamespace(file, options.group, options.nameSpace)) {
        err << "zudava provider unlink: the group file could not be written\n";
        return kFailure;
    }
    if (unlinked)
        out << "unlinked group " << options.group << " from " << options.nameSpace << '\n';
    else
        out << "dropped " << options.nameSpace << " from group " << options.group
            << " (no complete provider registration was there)\n";
    return kSuccess;
}

int providerRemove(Tool& tool, const ProviderOptions& options) {
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    tool.initialiseCom();
    DEZE::GroupConfFile& file = groupFile();
    if (!file.FindEntry(options.group)) {
        err << "zudava provider remove: there is no group " << options.group
            << " in the group file\n";
        return kFailure;
    }
    const std::string clsid = file.GetCLSID(options.group);
    const std::vector<std::string> namespaces = file.GetNamespacesForGroup(options.group);
    if (!DEZE::WmiOOPCOMServer::RemoveCOMServer(options.group.c_str(), nullptr)) {
        if (!options.force) {
            err << "zudava provider remove: group " << options.group
                << " cannot be unlinked from all its namespaces; nothing else was changed (see "
                   "zudava provider check; --force removes it anyway)\n";
            return kFailure;
        }
        // Unlink what is there, forget the namespaces, and let the library do the rest.
        for (const std::string& ns : namespaces)
            DEZE::WmiOOPCOMServer::UnlinkCPA2NS(ns.c_str(), options.group.c_str());
        DEZE::_configData data;
        data.groupName = options.group;
        data.clsid = clsid;
        if (!file.AddEntry(data) ||
            !DEZE::WmiOOPCOMServer::RemoveCOMServer(options.group.c_str(), nullptr)) {
            err << "zudava provider remove: the group file could not be written\n";
            return kFailure;
        }
    }
    if (file.FindEntry(options.group)) {
        err << "zudava provider remove: group " << options.group
            << " is unlinked, but the group file could not be written\n";
        return kFailure;
    }
    out << "removed group " << options.group << " (CLSID " << (clsid.empty() ? "(none)" : clsid)
        << "; " << namespaces.size()
        << (namespaces.size() == 1 ? " namespace)\n" : " namespaces)\n");
    return kSuccess;
}

} // namespace tool
