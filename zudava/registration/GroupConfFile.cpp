#include "zudava/registration/GroupConfFile.h"

#include "zudava/os/MutexLock.h"
#include "zudava/registration/CommonDataFile.h"
#include "zudava/registration/IniFile.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace DEZE {
namespace {

const char kClsidKey[] = "CLSID";
const char kNamespaceKey[] = "NAMESPACE";

// Fixed when the library loads; GetAllGroups alone looks again.
const std::string g_groupFilePath = commonDataFile("groupname.ini");

// Splits at every ":"; an empty item between two separators stays, a trailing one does not.
std::vector<std::string> split(std::string text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const auto separator = text.find(kListSeparator);
        if (separator == std::string::npos) {
            items.push_back(text);
            break;
        }
        items.push_back(text.substr(0, separator));
        text.erase(0, separator + 1);
    }
    return items;
}

} // namespace

GroupConfFile* GroupConfFile::pInstance = nullptr;
Mutex GroupConfFile::_configMutex;

GroupConfFile::GroupConfFile() = default;

GroupConfFile::GroupConfFile(const GroupConfFile&) = default;

GroupConfFile* GroupConfFile::getInstance() {
    // Double-checked: the pointer is read without the mutex once it is set, so it is read and
    // published atomically.
    auto* const published = reinterpret_cast<std::atomic<GroupConfFile*>*>(&pInstance);
    GroupConfFile* instance = published->load(std::memory_order_acquire);
    if (instance)
        return instance;
    MutexLock lock(_configMutex);
    instance = published->load(std::memory_order_relaxed);
    if (!instance) {
        instance = new (std::nothrow) GroupConfFile;
        published->store(instance, std::memory_order_release);
    }
    return instance;
}

bool GroupConfFile::AddEntry(const _configData& data) {
    const IniFile file(g_groupFilePath);
    const std::string line = std::string(kClsidKey) + "=" + data.clsid;
    std::string joined;
    for (size_t i = 0; i < data.namespaces.size(); ++i) {
        if (i > 0)
            joined += kListSeparator;
        joined += data.namespaces[i];
    }
    // Both values are checked before the first write, so a refused entry leaves no trace.
    if (line.size() >= IniFile::kBufferSize || joined.size() >= IniFile::kBufferSize)
        return false;
    if (file.writeSection(data.groupName, line) != 0)
        return false;
    if (data.namespaces.empty())
        return true;
    if (file.writeKey(data.groupName, kNamespaceKey, joined) == 0)
        return true;
    file.deleteSection(data.groupName);
    return false;
}

bool GroupConfFile::DeleteEntry(std::string group) {
    const IniFile file(g_groupFilePath);
    if (!file.sectionExists(group))
        return false;
    return file.deleteSection(group) == 0;
}

bool GroupConfFile::FindEntry(std::string group) {
    return IniFile(g_groupFilePath).sectionExists(group);
}

std::string GroupConfFile::GetCLSID(std::string group) {
    std::string clsid;
    IniFile(g_groupFilePath).readKey(group, kClsidKey, clsid, IniFile::kBufferSize);
    return clsid;
}

bool GroupConfFile::UpdateCLSIDForGroup(std::string group, std::string clsid) {
    const IniFile file(g_groupFilePath);
    if (clsid.size() >= IniFile::kBufferSize || !file.sectionExists(group))
        return false;
    std::string current;
    file.readKey(group, kClsidKey, current, IniFile::kBufferSize);
    if (current == clsid)
        return true;
    return file.writeKey(group, kClsidKey, clsid) == 0;
}

bool GroupConfFile::AddNamespaceToGroup(std::string group, std::string ns) {
    const IniFile file(g_groupFilePath);
    if (!file.sectionExists(group))
        return false;
    std::string stored;
    const long length = file.readKey(group, kNamespaceKey, stored, IniFile::kBufferSize);
    // A full buffer may hold only the start of a longer value: writing it back would cut it.
    if (length < 0 || static_cast<unsigned long>(length) >= IniFile::kBufferSize - 1)
        return false;
    if (stored.find(ns) != std::string::npos)
        return false;
    const std::string value = stored.empty() ? ns : stored + kListSeparator + ns;
    if (value.size() >= IniFile::kBufferSize)
        return false;
    return file.writeKey(group, kNamespaceKey, value) == 0;
}

std::vector<std::string> GroupConfFile::GetNamespacesForGroup(std::string group) {
    std::string stored;
    IniFile(g_groupFilePath).readKey(group, kNamespaceKey, stored, IniFile::kBufferSize);
    return split(stored);
}

std::vector<std::string> GroupConfFile::GetAllGroups() {
    std::string names;
    IniFile(commonDataFile("groupname.ini")).sectionNames(names, IniFile::kBufferSize);
    return split(names);
}

} // namespace DEZE
