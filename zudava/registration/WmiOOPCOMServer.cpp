#include "zudava/registration/WmiOOPCOMServer.h"

#include <windows.h>

#include <comdef.h>
#include <wbemidl.h>

#include <cctype>
#include <string>
#include <vector>

#include "zudava/foundation/Raise.h"
#include "zudava/foundation/Text.h"
#include "zudava/os/Mutex.h"
#include "zudava/os/MutexLock.h"
#include "zudava/registration/GroupConfFile.h"
#include "zudava/wmi/WmiConnection.h"
#include "zudava/wmi/WmiConnectionFactory.h"

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

// ---- Namespace linking

namespace {

const wchar_t kProviderClass[] = L"__Win32Provider";
const wchar_t* const kRegistrationClasses[] = {L"__InstanceProviderRegistration",
                                               L"__MethodProviderRegistration",
                                               L"__EventProviderRegistration"};
const wchar_t kEventQuery[] = L"SELECT * FROM DEZE_ExtrinsicEvent";

// Linking is a step of the registration, whose name its messages carry.
[[noreturn]] void raiseStep(const wchar_t* step) {
    throwLibraryError((std::wstring(L"WmiOOPCOMServer::CreateNewCOMServer: ") + step).c_str());
}

// From the moment something may have been stored, a failure deletes what it finds first.
[[noreturn]] void undoAndRaise(const char* ns, const char* group, const wchar_t* step) {
    WmiOOPCOMServer::UnlinkCPA2NS(ns, group);
    raiseStep(step);
}

std::wstring wide(const char* text) {
    return text ? a2w(text) : std::wstring();
}

// The provider instance's own path: the group name between quotes, as it stands.
_bstr_t providerPath(const std::wstring& group) {
    return _bstr_t((std::wstring(kProviderClass) + L".Name=\"" + group + L"\"").c_str());
}

// A registration's path: its key "provider" holds the provider's reference, escaped.
std::string registrationPath(const wchar_t* className, const std::string& reference) {
    return w2a(className) + ".provider=\"" + Escaping(reference) + "\"";
}

// A VARIANT owned for the length of one call.
class Value {
public:
    Value() { VariantInit(&m_value); }
    ~Value() { VariantClear(&m_value); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    VARIANT* get() { return &m_value; }
    VARIANT* reset() {
        VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

// The individual Put calls are not checked: a property the class lacks shows when the instance
// is stored.
void putText(IWbemClassObject* object, const wchar_t* name, const std::wstring& text,
             CIMTYPE type) {
    Value value;
    V_VT(value.get()) = VT_BSTR;
    V_BSTR(value.get()) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    object->Put(name, 0, value.get(), type);
}

void putInteger(IWbemClassObject* object, const wchar_t* name, LONG number) {
    Value value;
    V_VT(value.get()) = VT_I4;
    V_I4(value.get()) = number;
    object->Put(name, 0, value.get(), CIM_SINT32);
}

void putFlag(IWbemClassObject* object, const wchar_t* name, bool flag) {
    Value value;
    V_VT(value.get()) = VT_BOOL;
    V_BOOL(value.get()) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    object->Put(name, 0, value.get(), CIM_BOOLEAN);
}

// The object at `path`, or null when WMI has none there.
IWbemClassObjectPtr fetch(IWbemServices* services, const _bstr_t& path) {
    IWbemClassObjectPtr object;
    if (FAILED(services->GetObject(path, 0, nullptr, &object, nullptr)))
        return nullptr;
    return object;
}

// A text property; false when it cannot be read or is not text.
bool readText(IWbemClassObject* object, const wchar_t* name, std::string& text) {
    Value value;
    if (FAILED(object->Get(name, 0, value.get(), nullptr, nullptr)) || V_VT(value.get()) != VT_BSTR)
        return false;
    text = b2a(V_BSTR(value.get()));
    return true;
}

// The provider's path with the machine's name, its first occurrence, replaced by ".": the form in
// which the registrations refer to it, so that they stay valid under another machine name.
std::string localReference(std::string path, const std::string& server) {
    const auto at = server.empty() ? std::string::npos : path.find(server);
    if (at != std::string::npos)
        path.replace(at, server.size(), ".");
    return path;
}

bool containsIgnoringCase(const std::string& text, const std::string& part) {
    const auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

// Deletes the registration of `className` that refers to the provider at `providerPath`. It is
// looked for under the reference as WMI gives it, then under the "." form that linking stores.
bool deleteRegistration(IWbemServices* services, const wchar_t* className,
                        const std::string& providerPath, const std::string& server,
                        const std::string& group) {
    std::string path = registrationPath(className, providerPath);
    IWbemClassObjectPtr registration = fetch(services, _bstr_t(a2w(path).c_str()));
    if (!registration) {
        if (!containsIgnoringCase(path, group))
            return false;
        const std::string escapedServer = Escaping(server);
        const auto at = escapedServer.empty() ? std::string::npos : path.find(escapedServer);
        if (at == std::string::npos)
            return false;
        path.replace(at, escapedServer.size(), ".");
        registration = fetch(services, _bstr_t(a2w(path).c_str()));
        if (!registration)
            return false;
    }
    std::string storedPath;
    if (!readText(registration, L"__PATH", storedPath))
        return false;
    registration = nullptr;
    return SUCCEEDED(
        services->DeleteInstance(_bstr_t(a2w(storedPath).c_str()), 0, nullptr, nullptr));
}

// A new instance of the registration class `className`; a failure undoes the link and names the
// class in its message.
IWbemClassObjectPtr spawnRegistration(IWbemServices* services, const char* ns, const char* group,
                                      const std::wstring& className) {
    IWbemClassObjectPtr registrationClass = fetch(services, _bstr_t(className.c_str()));
    if (!registrationClass)
        undoAndRaise(ns, group, (L"Error in GetClass " + className).c_str());
    IWbemClassObjectPtr registration;
    if (FAILED(registrationClass->SpawnInstance(0, &registration)) || !registration)
        undoAndRaise(ns, group, (L"Error in SpawnInstance for " + className).c_str());
    return registration;
}

void putRegistration(IWbemServices* services, const char* ns, const char* group,
                     IWbemClassObjectPtr& registration, const std::wstring& className) {
    if (FAILED(services->PutInstance(registration, 0, nullptr, nullptr)))
        undoAndRaise(ns, group, (L"Error in PutInstance for " + className).c_str());
    registration = nullptr;
}

} // namespace

bool WmiOOPCOMServer::LinkCPA2NS(const char* ns, const char* group, const char* clsid) {
    const WmiConnection connection = WmiConnectionFactory::create(_bstr_t(ns));
    IWbemServices* const services = connection.getServices();
    const std::wstring groupName = wide(group);

    IWbemClassObjectPtr providerClass = fetch(services, _bstr_t(kProviderClass));
    if (!providerClass)
        raiseStep(L"Error in GetObject __Win32Provider");
    IWbemClassObjectPtr provider;
    if (FAILED(providerClass->SpawnInstance(0, &provider)) || !provider)
        raiseStep(L"Error in SpawnInstance for __Win32Provider");
    providerClass = nullptr;

    putText(provider, L"Name", groupName, CIM_STRING);
    putText(provider, L"CLSID", wide(clsid), CIM_STRING);
    putInteger(provider, L"InitializationReentrancy", 2);
    putFlag(provider, L"Pure", true);
    putInteger(provider, L"ImpersonationLevel", 0);
    putFlag(provider, L"InitializeAsAdminFirst", false);
    putFlag(provider, L"PerLocaleInitialization", false);
    putFlag(provider, L"PerUserInitialization", false);
    if (FAILED(services->PutInstance(provider, 0, nullptr, nullptr)))
        undoAndRaise(ns, group, L"Error in PutInstance for  __Win32Provider");
    provider = nullptr;

    IWbemClassObjectPtr stored = fetch(services, providerPath(groupName));
    if (!stored)
        undoAndRaise(ns, group, L"Error in GetObject __Win32Provider.__PATH");
    std::string path;
    std::string server;
    if (!readText(stored, L"__PATH", path) || !readText(stored, L"__SERVER", server))
        undoAndRaise(ns, group, L"Error in Get  __Win32Provider.__PATH");
    stored = nullptr;
    const std::wstring reference = a2w(localReference(path, server));

    IWbemClassObjectPtr registration =
        spawnRegistration(services, ns, group, L"__InstanceProviderRegistration");
    putText(registration, L"Provider", reference, CIM_REFERENCE);
    putInteger(registration, L"InteractionType", 0);
    putFlag(registration, L"SupportsGet", true);
    putFlag(registration, L"SupportsPut", true);
    putFlag(registration, L"SupportsDelete", true);
    putFlag(registration, L"SupportsEnumeration", true);
    putRegistration(services, ns, group, registration, L"__InstanceProviderRegistration");

    registration = spawnRegistration(services, ns, group, L"__MethodProviderRegistration");
    putText(registration, L"Provider", reference, CIM_REFERENCE);
    putRegistration(services, ns, group, registration, L"__MethodProviderRegistration");

    registration = spawnRegistration(services, ns, group, L"__EventProviderRegistration");
    putText(registration, L"Provider", reference, CIM_REFERENCE);
    Value queries;
    SAFEARRAY* const list = SafeArrayCreateVector(VT_BSTR, 0, 1);
    if (!list)
        undoAndRaise(ns, group, L"Error in SafeArrayCreateVector for __EventProviderRegistration");
    V_VT(queries.get()) = VT_ARRAY | VT_BSTR;
    V_ARRAY(queries.get()) = list; // the VARIANT owns the array from here
    BSTR query = SysAllocString(kEventQuery);
    LONG first = 0;
    SafeArrayPutElement(list, &first, query);
    SysFreeString(query);
    registration->Put(L"EventQueryList", 0, queries.get(), CIM_STRING | CIM_FLAG_ARRAY);
    putRegistration(services, ns, group, registration, L"__EventProviderRegistration");
    return true;
}

bool WmiOOPCOMServer::UnlinkCPA2NS(const char* ns, const char* group) {
    try {
        const WmiConnection connection = WmiConnectionFactory::create(_bstr_t(ns));
        IWbemServices* const services = connection.getServices();
        const std::wstring groupName = wide(group);
        IWbemClassObjectPtr provider = fetch(services, providerPath(groupName));
        if (!provider)
            return false;
        std::string path;
        std::string server;
        if (!readText(provider, L"__PATH", path) || !readText(provider, L"__SERVER", server))
            return false;
        provider = nullptr;
        // The registrations first: they refer to the provider.
        for (const wchar_t* className : kRegistrationClasses) {
            if (!deleteRegistration(services, className, path, server, w2a(groupName)))
                return false;
        }
        provider = fetch(services, providerPath(groupName));
        if (!provider || !readText(provider, L"__PATH", path))
            return false;
        provider = nullptr;
        return SUCCEEDED(services->DeleteInstance(_bstr_t(a2w(path).c_str()), 0, nullptr, nullptr));
    } catch (...) {
        return false;
    }
}

// ---- Registration of a group

namespace {

// Registrations and removals of this process, one at a time. Taken before the connection
// factory's mutex (linking connects) and before the group file's singleton mutex.
Mutex g_registrationMutex;

// Every server the library registers runs under the one AppID.
const GUID kAppId = {0x5C3E9D17, 0x42B8, 0x4F0A, {0x9E, 0x61, 0x7D, 0x2A, 0x0B, 0x4C, 0x8E, 0x35}};

const UINT kGuidTextLength = 41;
const DWORD kPathBufferLength = 261;
const int kGroupBufferLength = 260;

// The registry text form of a GUID, braces included; false when the string cannot be had.
bool guidText(const GUID& guid, std::wstring& text) {
    BSTR buffer = SysAllocStringLen(nullptr, kGuidTextLength);
    if (!buffer)
        return false;
    const _bstr_t owner(buffer, false);
    if (StringFromGUID2(guid, buffer, static_cast<int>(SysStringLen(buffer))) == 0)
        return false;
    text = buffer; // up to the NUL StringFromGUID2 wrote
    return true;
}

} // namespace

bool WmiOOPCOMServer::CreateNewCOMServer(const char* ns, const char* group) {
    if (!ns || !group)
        return false;
    COMRegistration registration;
    MutexLock lock(g_registrationMutex);
    GroupConfFile* const file = GroupConfFile::getInstance();
    if (!file)
        return false;

    if (file->FindEntry(group)) {
        for (const std::string& linked : file->GetNamespacesForGroup(group)) {
            if (_stricmp(linked.c_str(), ns) == 0)
                return true;
        }
        LinkCPA2NS(ns, group, file->GetCLSID(group).c_str());
        file->AddNamespaceToGroup(group, ns);
        return true;
    }

    GUID clsid;
    if (FAILED(CoCreateGuid(&clsid)))
        throwLibraryError(L"WmiOOPCOMServer::CreateNewCOMServer: Create GUID for CLSID failed");
    std::wstring clsidText;
    if (!guidText(clsid, clsidText))
        return false;
    const std::string clsidNarrow = w2a(clsidText);

    // A cut executable path or group name would register a server that does not exist: both are
    // refused before anything is written.
    wchar_t serverPath[kPathBufferLength] = {};
    const DWORD pathLength = GetModuleFileNameW(nullptr, serverPath, kPathBufferLength);
    if (pathLength == 0 || pathLength >= kPathBufferLength)
        return false;
    registration.serverPath = serverPath;
    if (!guidText(kAppId, registration.appId))
        return false;
    registration.clsid = a2w(clsidNarrow);
    wchar_t groupName[kGroupBufferLength] = {};
    if (MultiByteToWideChar(CP_ACP, 0, group, -1, groupName, kGroupBufferLength) == 0)
        return false;
    registration.groupName = groupName;

    // Linking raises before the registry and the file are touched.
    LinkCPA2NS(ns, group, clsidNarrow.c_str());
    Register(registration);
    _configData entry;
    entry.groupName = w2a(registration.groupName);
    entry.clsid = w2a(registration.clsid);
    entry.namespaces.push_back(ns);
    file->AddEntry(entry);
    return true;
}

bool WmiOOPCOMServer::RemoveCOMServer(const char* group, const char* clsid) {
    if (!group)
        return false;
    GroupConfFile* const file = GroupConfFile::getInstance();
    if (!file)
        return false;
    const std::vector<std::string> namespaces = file->GetNamespacesForGroup(group);
    MutexLock lock(g_registrationMutex);
    for (const std::string& ns : namespaces) {
        if (!UnlinkCPA2NS(ns.c_str(), group))
            return false;
    }
    const std::string clsidText = clsid ? std::string(clsid) : file->GetCLSID(group);
    if (!clsidText.empty()) {
        COMRegistration registration;
        registration.clsid = a2w(clsidText);
        UnRegister(registration);
    }
    file->DeleteEntry(group);
    return true;
}

} // namespace DEZE
