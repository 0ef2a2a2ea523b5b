#include "ProviderState.h"

#include "ToolSupport.h"

#include <zudava/zudava.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cwchar>

namespace tool {

const char* const kAdapterIdentifier = "Talvo|Fennick|DodaVuzavareVizerod";
const char* const kAdapterEventQuery = "SELECT * FROM DEZE_ExtrinsicEvent";

namespace {

const char* const kRegistrationClasses[] = {"__InstanceProviderRegistration",
                                            "__MethodProviderRegistration",
                                            "__EventProviderRegistration"};

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& item) { return sameName(item, name); });
}

std::string narrow(const wchar_t* text) {
    return text ? DEZE::w2a(text) : std::string();
}

// An open registry key, closed when it goes.
class RegistryKey {
public:
    RegistryKey(HKEY parent, const std::wstring& path) {
        if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~RegistryKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    explicit operator bool() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

    // A REG_SZ value; false when it is missing or of another type.
    bool text(const wchar_t* name, std::string& value) const {
        DWORD type = 0;
        DWORD size = 0;
        if (!m_key ||
            RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return false;
        // Sizes count UTF-16 bytes, two per unit, whatever the width of wchar_t.
        std::wstring buffer(size / 2 + 1, L'\0');
        size = static_cast<DWORD>(buffer.size() * 2);
        if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]),
                             &size) != ERROR_SUCCESS)
            return false;
        buffer.resize(std::wcslen(buffer.c_str()));
        value = DEZE::w2a(buffer);
        return true;
    }

private:
    HKEY m_key = nullptr;
};

// The WMI side, through the namespace's IWbemServices alone.
void check(HRESULT status, const char* call) {
    if (FAILED(status))
        throw DEZE::WmiException(status, _bstr_t(call));
}

std::string textProperty(IWbemClassObject* object, const wchar_t* name) {
    _variant_t value;
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr)) || value.vt != VT_BSTR)
        return std::string();
    return narrow(value.bstrVal);
}

std::vector<std::string> textArrayProperty(IWbemClassObject* object, const wchar_t* name) {
    std::vector<std::string> items;
    _variant_t value;
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr)) ||
        value.vt != (VT_ARRAY | VT_BSTR) || !value.parray)
        return items;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(value.parray, 1, &lower);
    SafeArrayGetUBound(value.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        BSTR item = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(value.parray, &i, &item))) {
            items.push_back(narrow(item));
            SysFreeString(item);
        }
    }
    return items;
}

// Calls `visit` with each instance of `className` (and of its subclasses unless shallow).
template <typename Visit>
void forEachInstance(const DEZE::IWbemServicesPtr& services, const wchar_t* className, bool shallow,
                     Visit visit) {
    DEZE::IEnumWbemClassObjectPtr enumerator;
    const long flags = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY |
                       (shallow ? WBEM_FLAG_SHALLOW : WBEM_FLAG_DEEP);
    check(services->CreateInstanceEnum(_bstr_t(className), flags, nullptr, &enumerator),
          "IWbemServices::CreateInstanceEnum() failed");
    for (;;) {
        IWbemClassObject* raw = nullptr;
        ULONG returned = 0;
        const HRESULT status =
            enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &raw, &returned);
        check(status, "IEnumWbemClassObject::Next() failed");
        if (returned != 1 || !raw)
            break;
        DEZE::IWbemClassObjectPtr object(raw, false);
        visit(object.GetInterfacePtr());
    }
}

// The Name key of a provider reference such as \\.\root\x:__Win32Provider.Name="G".
std::string providerNameOf(const std::string& reference) {
    try {
        DEZE::WmiObjectPath path{_bstr_t(reference.c_str())};
        const _variant_t value = path.getKey(_bstr_t(L"Name")).getValue();
        return value.vt == VT_BSTR ? narrow(value.bstrVal) : std::string();
    } catch (const DEZE::WmiException&) {
        return std::string();
    }
}

NamespaceEntry readNamespace(const std::string& name, const DEZE::IWbemServicesPtr& services) {
    NamespaceEntry entry;
    entry.name = name;
    forEachInstance(services, L"__Win32Provider", false, [&](IWbemClassObject* object) {
        entry.providers.push_back({textProperty(object, L"Name"), textProperty(object, L"CLSID")});
    });
    for (const char* className : kRegistrationClasses) {
        forEachInstance(
            services, DEZE::a2w(className).c_str(), false, [&](IWbemClassObject* object) {
                RegistrationEntry registration;
                registration.className = className;
                registration.provider = textProperty(object, L"Provider");
                registration.providerName = providerNameOf(registration.provider);
                registration.eventQueries = textArrayProperty(object, L"EventQueryList");
                entry.registrations.push_back(registration);
            });
    }
    return entry;
}

void collectNamespaces(const std::string& name, std::vector<NamespaceEntry>& out) {
    const DEZE::WmiConnection connection =
        DEZE::WmiConnectionFactory::create(_bstr_t(name.c_str()));
    const DEZE::IWbemServicesPtr& services = connection.getServices();
    out.push_back(readNamespace(name, services));
    std::vector<std::string> children;
    forEachInstance(services, L"__NAMESPACE", true, [&](IWbemClassObject* object) {
        children.push_back(textProperty(object, L"Name"));
    });
    for (const std::string& child : children)
        collectNamespaces(name + "\\" + child, out);
}

const NamespaceEntry* findNamespace(const MachineState& state, const std::string& name) {
    for (const NamespaceEntry& entry : state.namespaces)
        if (sameName(entry.name, name))
            return &entry;
    return nullptr;
}

const ProviderEntry* findProvider(const NamespaceEntry& ns, const std::string& name) {
    for (const ProviderEntry& provider : ns.providers)
        if (sameName(provider.name, name))
            return &provider;
    return nullptr;
}

const GroupEntry* findGroup(const MachineState& state, const std::string& name) {
    for (const GroupEntry& group : state.groups)
        if (sameName(group.name, name))
            return &group;
    return nullptr;
}

const ServerEntry* findServer(const MachineState& state, const std::string& clsid) {
    for (const ServerEntry& server : state.servers)
        if (sameName(server.clsid, clsid))
            return &server;
    return nullptr;
}

bool hasRegistration(const NamespaceEntry& ns, const char* className, const std::string& provider) {
    return std::any_of(ns.registrations.begin(), ns.registrations.end(),
                       [&](const RegistrationEntry& registration) {
                           return sameName(registration.className, className) &&
                                  sameName(registration.providerName, provider);
                       });
}

// A provider is the adapter's when a group, an adapter-style COM server or the adapter's event
// query points to it; other providers of the machine (Windows has hundreds) are left out.
bool isAdapterProvider(const MachineState& state, const NamespaceEntry& ns,
                       const ProviderEntry& provider) {
    if (findGroup(state, provider.name) || sameName(provider.name, kAdapterIdentifier))
        return true;
    for (const GroupEntry& group : state.groups)
        if (!group.clsid.empty() && sameName(group.clsid, provider.clsid))
            return true;
    if (const ServerEntry* server = findServer(state, provider.clsid))
        if (!groupOfCommandLine(server->commandLine, server->clsid).empty())
            return true;
    return std::any_of(ns.registrations.begin(), ns.registrations.end(),
                       [&](const RegistrationEntry& registration) {
                           return sameName(registration.providerName, provider.name) &&
                                  registration.eventQueries.size() == 1 &&
                                  registration.eventQueries[0] == kAdapterEventQuery;
                       });
}

void checkGroup(const MachineState& state, const GroupEntry& group,
                std::vector<std::string>& found) {
    const std::string head = "group " + group.name + ": ";
    if (group.clsid.empty()) {
        found.push_back(head + "the group file gives no CLSID");
    } else if (const ServerEntry* server = findServer(state, group.clsid)) {
        const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + group.clsid;
        if (!server->present) {
            found.push_back(head + "CLSID " + group.clsid + " is not registered (no " + key + ")");
        } else if (!server->hasCommandLine) {
            found.push_back(head + "CLSID " + group.clsid + " has no local server (no " + key +
                            "\\LocalServer32)");
        } else if (!sameName(groupOfCommandLine(server->commandLine, server->clsid), group.name)) {
            found.push_back(head + "the local server of " + group.clsid +
                            " is not started for this group: " + server->commandLine);
        }
    }
    for (const std::string& name : group.namespaces) {
        const std::string where = "namespace " + name + ": ";
        const NamespaceEntry* ns = findNamespace(state, name);
        if (!ns) {
            found.push_back(head + where + "does not exist");
            continue;
        }
        const ProviderEntry* provider = findProvider(*ns, group.name);
        if (!provider) {
            found.push_back(head + where + "no __Win32Provider named " + group.name);
            continue;
        }
        if (!group.clsid.empty() && !sameName(provider->clsid, group.clsid))
            found.push_back(head + where + "the __Win32Provider has CLSID " + provider->clsid +
                            ", the group file " + group.clsid);
        for (const char* className : kRegistrationClasses)
            if (!hasRegistration(*ns, className, group.name))
                found.push_back(head + where + "no " + className + " for the provider");
    }
}

void checkNamespace(const MachineState& state, const NamespaceEntry& ns,
                    std::vector<std::string>& found) {
    const std::string head = "namespace " + ns.name + ": ";
    for (const ProviderEntry& provider : ns.providers) {
        if (!isAdapterProvider(state, ns, provider))
            continue;
        if (const GroupEntry* group = findGroup(state, provider.name)) {
            if (!contains(group->namespaces, ns.name))
                found.push_back(head + "provider " + provider.name +
                                " is linked here, but the group file does not list this namespace");
        } else if (!sameName(provider.name, kAdapterIdentifier)) {
            found.push_back(head + "provider " + provider.name + " (CLSID " + provider.clsid +
                            ") has no group in the group file");
        }
    }
    for (const RegistrationEntry& registration : ns.registrations) {
        if (!registration.providerName.empty() && findProvider(ns, registration.providerName))
            continue;
        found.push_back(head + registration.className +
                        " refers to a provider that is not there: " + registration.provider);
    }
}

void checkServers(const MachineState& state, std::vector<std::string>& found) {
    for (const ServerEntry& server : state.servers) {
        const std::string group = groupOfCommandLine(server.commandLine, server.clsid);
        if (group.empty() || findGroup(state, group))
            continue;
        found.push_back("CLSID " + server.clsid + ": the COM server of group " + group +
                        " is registered, but the group file has no such group");
    }
}

} // namespace

std::vector<GroupEntry> readGroups() {
    std::vector<GroupEntry> groups;
    DEZE::GroupConfFile* file = DEZE::GroupConfFile::getInstance();
    if (!file)
        return groups;
    for (const std::string& name : file->GetAllGroups())
        groups.push_back({name, file->GetCLSID(name), file->GetNamespacesForGroup(name)});
    return groups;
}

ServerEntry readServer(const std::string& clsid) {
    ServerEntry entry;
    entry.clsid = clsid;
    if (clsid.empty())
        return entry;
    const std::wstring path = L"CLSID\\" + DEZE::a2w(clsid);
    RegistryKey key(HKEY_CLASSES_ROOT, path);
    entry.present = static_cast<bool>(key);
    if (!key)
        return entry;
    key.text(L"AppID", entry.appId);
    RegistryKey server(HKEY_CLASSES_ROOT, path + L"\\LocalServer32");
    entry.hasCommandLine = server.text(nullptr, entry.commandLine);
    return entry;
}

std::vector<ServerEntry> readAdapterServers() {
    std::vector<ServerEntry> servers;
    RegistryKey root(HKEY_CLASSES_ROOT, L"CLSID");
    if (!root)
        return servers;
    for (DWORD index = 0;; ++index) {
        wchar_t name[260];
        DWORD length = 260;
        const LSTATUS status =
            RegEnumKeyExW(root.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue; // no CLSID is that long
        if (status != ERROR_SUCCESS)
            break;
        ServerEntry entry = readServer(DEZE::w2a(std::wstring(name, length)));
        if (!groupOfCommandLine(entry.commandLine, entry.clsid).empty())
            servers.push_back(entry);
    }
    return servers;
}

std::vector<NamespaceEntry> readNamespaces(const std::string& root) {
    std::vector<NamespaceEntry> namespaces;
    collectNamespaces(root, namespaces);
    return namespaces;
}

MachineState readMachineState() {
    MachineState state;
    state.groups = readGroups();
    for (const GroupEntry& group : state.groups)
        if (!group.clsid.empty())
            state.servers.push_back(readServer(group.clsid));
    for (const ServerEntry& server : readAdapterServers())
        if (!findServer(state, server.clsid))
            state.servers.push_back(server);
    state.namespaces = readNamespaces("root");
    return state;
}

std::string groupOfCommandLine(const std::string& commandLine, const std::string& clsid) {
    if (clsid.empty())
        return std::string();
    const std::string switchText = " /G" + clsid + ":";
    // Case-insensitive search for the switch: the CLSID may be written in either case.
    std::string lowerLine = commandLine;
    std::string lowerSwitch = switchText;
    for (std::string* text : {&lowerLine, &lowerSwitch})
        std::transform(text->begin(), text->end(), text->begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const size_t at = lowerLine.rfind(lowerSwitch);
    if (at == std::string::npos)
        return std::string();
    return commandLine.substr(at + switchText.size());
}

std::vector<std::string> findInconsistencies(const MachineState& state) {
    std::vector<std::string> found;
    for (const GroupEntry& group : state.groups)
        checkGroup(state, group, found);
    for (const NamespaceEntry& ns : state.namespaces)
        checkNamespace(state, ns, found);
    checkServers(state, found);
    return found;
}

} // namespace tool
