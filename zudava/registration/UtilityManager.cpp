#include "zudava/registration/UtilityManager.h"

#include <windows.h>

#include <objbase.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "zudava/registration/CommonDataFile.h"
#include "zudava/registration/GroupConfFile.h"
#include "zudava/registration/WmiOOPCOMServer.h"
#include "zudava/wmi/WmiConnectionFactory.h"

namespace DEZE {
namespace {

const char kInProcessMode[] = "IP";
const char kOutOfProcessMode[] = "OOP";
const char kAdapterIdentifier[] = "Talvo|Fennick|DodaVuzavareVizerod";
const char kSupportedNamespacesKey[] = "supportedNamespaces";
const char kNamespacePrefix[] = "root\\";
const char kAdapterNamespace[] = "root\\talvose";

const int kLineBufferSize = 1024;

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The namespaces that "supportedNamespaces=a,b" in "deze.properties" names, as root\a and root\b.
// Pieces are not trimmed, and empty ones (between two commas) are dropped. A file that cannot be
// read, and a key line without "=", give none. Lines longer than the buffer are read in pieces,
// each taken as a line of its own.
std::vector<std::string> readSupportedNamespaces() {
    std::vector<std::string> namespaces;
    FILE* file = nullptr;
    if (fopen_s(&file, commonDataFile("deze.properties").c_str(), "r") != 0 || !file)
        return namespaces;
    char buffer[kLineBufferSize];
    const size_t keyLength = std::strlen(kSupportedNamespacesKey);
    while (std::fgets(buffer, sizeof buffer, file)) {
        size_t end = std::strlen(buffer);
        while (end > 0 && isBlank(buffer[end - 1]))
            --end;
        buffer[end] = '\0';
        const char* line = buffer;
        while (isBlank(*line))
            ++line;
        if (*line == '\0' || *line == '#')
            continue;
        if (std::strncmp(line, kSupportedNamespacesKey, keyLength) != 0)
            continue;
        line += keyLength;
        while (isBlank(*line))
            ++line;
        if (*line == '=') {
            ++line;
            while (isBlank(*line))
                ++line;
            const std::string value(line);
            size_t start = 0;
            while (start <= value.size()) {
                size_t comma = value.find(',', start);
                if (comma == std::string::npos)
                    comma = value.size();
                if (comma > start)
                    namespaces.push_back(kNamespacePrefix + value.substr(start, comma - start));
                start = comma + 1;
            }
        }
        break;
    }
    std::fclose(file);
    return namespaces;
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& entry : names) {
        if (_stricmp(entry.c_str(), name.c_str()) == 0)
            return true;
    }
    return false;
}

// Without the group file's object there is no group to know of: it counts as an empty file.
std::vector<std::string> allGroups(GroupConfFile* file) {
    return file ? file->GetAllGroups() : std::vector<std::string>();
}

bool removeEveryGroup(GroupConfFile* file) {
    bool removed = false;
    for (const std::string& group : allGroups(file)) {
        const std::string clsid = file->GetCLSID(group);
        if (WmiOOPCOMServer::RemoveCOMServer(group.c_str(), clsid.c_str()))
            removed = true;
    }
    return removed;
}

bool unlinkSharedProvider(GroupConfFile* file) {
    std::vector<std::string> namespaces;
    const std::vector<std::string> groups = allGroups(file);
    if (!groups.empty()) {
        for (const std::string& group : groups) {
            for (const std::string& ns : file->GetNamespacesForGroup(group)) {
                if (!listed(namespaces, ns))
                    namespaces.push_back(ns);
            }
        }
    } else {
        namespaces = readSupportedNamespaces();
        if (!listed(namespaces, kAdapterNamespace))
            namespaces.push_back(kAdapterNamespace);
    }
    bool unlinked = false;
    for (const std::string& ns : namespaces)
        unlinked = WmiOOPCOMServer::UnlinkCPA2NS(ns.c_str(), kAdapterIdentifier);
    return unlinked;
}

} // namespace

bool UtilityManager::cleanUpRegistrationProvider(std::string mode) {
    // A thread or process set up before keeps its own settings. A thread already in another
    // apartment (RPC_E_CHANGED_MODE) was not initialised here, so it is not uninitialised either.
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    bool result = false;
    GroupConfFile* const file = GroupConfFile::getInstance();
    if (_stricmp(mode.c_str(), kInProcessMode) == 0)
        result = removeEveryGroup(file);
    else if (_stricmp(mode.c_str(), kOutOfProcessMode) == 0)
        result = unlinkSharedProvider(file);
    WmiConnectionFactory::reset();
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return result;
}

} // namespace DEZE
