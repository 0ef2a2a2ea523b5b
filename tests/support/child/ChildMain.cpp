// A child process for the tests of processes, the registry and profile files. It is started by
// CreateProcessA, so its arguments are what the command-line rules made of the parent's text.
//
//   exit N                 ends with exit code N
//   sleep MS               sleeps, then ends with 0
//   args FILE              writes its remaining arguments to FILE, one a line
//   regset KEY NAME TEXT   sets a REG_SZ value under HKEY_CLASSES_ROOT\KEY
//   regwriter KEY          rewrites two large values under HKEY_CLASSES_ROOT\KEY until killed
//   groupwriter            rewrites provider groups in the group configuration file until killed
//   iniwriter FILE         rewrites a 20,000-character key and a section of two 8,000-character
//                          lines in FILE until killed
//   indicate NS CLASS FIRST COUNT
//                          indicates COUNT events of CLASS in namespace NS, one call each, whose
//                          property Seq counts up from FIRST
//   consume NS QUERY COUNT READY OUT
//                          subscribes to QUERY, creates the file READY, writes COUNT events to OUT
//                          (class and Seq, or TargetInstance.Id, one a line), then ends with 3 if
//                          one more event comes within 300 ms, else 0
#include <windows.h>

#include <zudava/zudava.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int writeArguments(const char* file, int count, char** arguments) {
    FILE* out = std::fopen(file, "wb");
    if (!out)
        return 90;
    for (int i = 0; i < count; ++i)
        std::fprintf(out, "%s\n", arguments[i]);
    std::fclose(out);
    return 0;
}

std::wstring wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

int setValue(const char* key, const char* name, const char* text) {
    HKEY handle;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, key, &handle) != ERROR_SUCCESS)
        return 91;
    const LONG rc = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                   DWORD(std::strlen(text) + 1));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS ? 0 : 92;
}

// Each round writes a 256 KiB binary value and a 32,000-character text value whose every unit is
// the round's number: whoever reads either finds one round's value whole, or the call was lost.
int registryWriter(const char* key) {
    const std::wstring path = wide(key);
    std::vector<BYTE> blob(256 * 1024);
    std::wstring text(32000, L'a');
    for (unsigned round = 1;; ++round) {
        HKEY handle;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr) != ERROR_SUCCESS)
            return 93;
        std::memset(blob.data(), int(round & 0xFF), blob.size());
        text.assign(text.size(), wchar_t(L'a' + round % 26));
        RegSetValueExW(handle, L"Blob", 0, REG_BINARY, blob.data(), DWORD(blob.size()));
        RegSetValueExW(handle, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD(2 * text.size()));
        RegCloseKey(handle);
    }
}

int profileWriter(const char* file) {
    std::string value(20000, 'a');
    for (unsigned round = 1;; ++round) {
        value.assign(value.size(), char('a' + round % 26));
        if (!WritePrivateProfileStringA("Writer", "Value", value.c_str(), file))
            return 94;
        const std::string part = value.substr(0, 8000);
        std::string lines = "First=" + part;
        lines += '\0';
        lines += "Second=" + part;
        lines += '\0';
        if (!WritePrivateProfileSectionA("Whole", lines.c_str(), file))
            return 95;
    }
}

// Every round gives groups Group0 to Group4 a CLSID and two namespaces all naming the round, so a
// reader can tell a whole entry from a torn one.
int groupWriter() {
    DEZE::GroupConfFile* file = DEZE::GroupConfFile::getInstance();
    for (unsigned round = 1;; ++round) {
        const std::string tag = std::to_string(round);
        DEZE::_configData data;
        data.groupName = "Group" + std::to_string(round % 5);
        data.clsid = "{" + tag + "}";
        data.namespaces = {"root\\a" + tag, "root\\b" + tag};
        if (!file->AddEntry(data))
            return 96;
        file->UpdateCLSIDForGroup(data.groupName, data.clsid);
    }
}

using DEZE::IEnumWbemClassObjectPtr;
using DEZE::IWbemClassObjectPtr;
using DEZE::IWbemLocatorPtr;
using DEZE::IWbemObjectSinkPtr;
using DEZE::IWbemServicesPtr;

// COM and a connection for the event modes; null when either fails.
struct WmiSession {
    explicit WmiSession(const char* nameSpace) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
            return;
        com = true;
        IWbemLocatorPtr locator;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator, reinterpret_cast<void**>(&locator))))
            return;
        locator->ConnectServer(_bstr_t(nameSpace), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                               &services);
    }
    ~WmiSession() {
        services = nullptr;
        if (com)
            CoUninitialize();
    }
    bool com = false;
    IWbemServicesPtr services;
};

int indicate(const char* nameSpace, const char* className, long first, long count) {
    WmiSession session(nameSpace);
    if (!session.services)
        return 80;
    IWbemClassObjectPtr cls;
    if (FAILED(session.services->GetObject(_bstr_t(className), 0, nullptr, &cls, nullptr)))
        return 81;
    IWbemObjectSinkPtr sink;
    if (FAILED(session.services->QueryObjectSink(0, &sink)) || !sink)
        return 82;
    for (long seq = first; seq < first + count; ++seq) {
        IWbemClassObjectPtr event;
        if (FAILED(cls->SpawnInstance(0, &event)))
            return 83;
        _variant_t value(seq);
        event->Put(L"Seq", 0, &value, 0);
        IWbemClassObject* events[1] = {event};
        if (FAILED(sink->Indicate(1, events)))
            return 84;
    }
    return 0;
}

std::string describe(IWbemClassObject* event) {
    _variant_t cls, seq;
    event->Get(L"__CLASS", 0, &cls, nullptr, nullptr);
    if (FAILED(event->Get(L"Seq", 0, &seq, nullptr, nullptr))) {
        _variant_t target;
        event->Get(L"TargetInstance", 0, &target, nullptr, nullptr);
        if (target.vt == VT_UNKNOWN && target.punkVal) {
            IWbemClassObjectPtr instance(target.punkVal);
            instance->Get(L"Id", 0, &seq, nullptr, nullptr);
        }
    }
    seq.ChangeType(VT_BSTR);
    return std::string(static_cast<const char*>(_bstr_t(cls))) + " " +
           static_cast<const char*>(_bstr_t(seq));
}

int consume(const char* nameSpace, const char* query, long count, const char* ready,
            const char* out) {
    WmiSession session(nameSpace);
    if (!session.services)
        return 80;
    IEnumWbemClassObjectPtr events;
    if (FAILED(session.services->ExecNotificationQuery(
            _bstr_t(L"WQL"), _bstr_t(query), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
            nullptr, &events)))
        return 85;
    if (FILE* file = std::fopen(ready, "wb"))
        std::fclose(file);
    FILE* file = std::fopen(out, "wb");
    if (!file)
        return 86;
    int result = 0;
    for (long i = 0; i < count; ++i) {
        IWbemClassObject* event = nullptr;
        ULONG returned = 0;
        events->Next(10000, 1, &event, &returned);
        if (returned != 1) {
            result = 87;
            break;
        }
        std::fprintf(file, "%s\n", describe(event).c_str());
        event->Release();
    }
    if (result == 0) {
        IWbemClassObject* event = nullptr;
        ULONG returned = 0;
        events->Next(300, 1, &event, &returned);
        if (returned == 1) {
            std::fprintf(file, "extra %s\n", describe(event).c_str());
            event->Release();
            result = 3;
        }
    }
    std::fclose(file);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 99;
    const std::string mode = argv[1];
    if (mode == "exit" && argc == 3)
        return std::atoi(argv[2]);
    if (mode == "sleep" && argc == 3) {
        Sleep(DWORD(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "args" && argc >= 3)
        return writeArguments(argv[2], argc - 3, argv + 3);
    if (mode == "regset" && argc == 5)
        return setValue(argv[2], argv[3], argv[4]);
    if (mode == "regwriter" && argc == 3)
        return registryWriter(argv[2]);
    if (mode == "groupwriter")
        return groupWriter();
    if (mode == "iniwriter" && argc == 3)
        return profileWriter(argv[2]);
    if (mode == "indicate" && argc == 6)
        return indicate(argv[2], argv[3], std::atol(argv[4]), std::atol(argv[5]));
    if (mode == "consume" && argc == 7)
        return consume(argv[2], argv[3], std::atol(argv[4]), argv[5], argv[6]);
    return 98;
}
