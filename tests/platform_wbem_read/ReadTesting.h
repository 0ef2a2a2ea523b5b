// What the read conformance tests share. They read two classes of root\cimv2 that Windows and
// Wine build in: Win32_Service (keyed by Name, a stable set of instances) and Win32_Process (its
// Create method). On our platform the test program stores both first, in the same shape, so that
// one set of assertions runs against every service. Where Wine's service answers differently from
// Windows' documentation, the test checks what the two share and then skips with the reason.
#pragma once

#include "platform_wbem/WbemTesting.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace wbem_read {

using namespace wbem_testing;

inline bool contains(const std::vector<std::wstring>& names, const wchar_t* name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::wstring& n) { return _wcsicmp(n.c_str(), name) == 0; });
}

inline bool sameText(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

class WbemRead : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, m_com.result());
        m_locator.Attach(makeLocator().Detach());
        ASSERT_TRUE(m_locator);
        ASSERT_EQ(S_OK, connect(m_locator, L"root\\cimv2", m_services));
        if (!isWindows())
            storeOurClasses();
    }

    static bool isWindows() {
#ifdef _WIN32
        return true;
#else
        return false;
#endif
    }

    IWbemClassObjectPtr object(const wchar_t* path) {
        IWbemClassObjectPtr found;
        EXPECT_EQ(S_OK, m_services->GetObject(_bstr_t(path), 0, nullptr, &found, nullptr))
            << "GetObject " << narrow(path);
        return found;
    }

    HRESULT getStatus(const wchar_t* path) {
        IWbemClassObjectPtr found;
        return m_services->GetObject(_bstr_t(path), 0, nullptr, &found, nullptr);
    }

    IEnumWbemClassObjectPtr services(LONG flags = 0) {
        IEnumWbemClassObjectPtr enumerator;
        EXPECT_EQ(S_OK, m_services->CreateInstanceEnum(_bstr_t(L"Win32_Service"), flags, nullptr,
                                                       &enumerator));
        return enumerator;
    }

    // The Name of each of the next `count` objects, with Next's status.
    static std::pair<HRESULT, std::vector<std::wstring>>
    next(IEnumWbemClassObject* enumerator, ULONG count, LONG timeout = kInfinite) {
        std::vector<IWbemClassObject*> objects(count + 1, nullptr);
        ULONG returned = 12345;
        const HRESULT hr = enumerator->Next(timeout, count, objects.data(), &returned);
        std::vector<std::wstring> names;
        for (ULONG i = 0; i < returned && i < count; ++i) {
            names.push_back(text(objects[i], L"Name"));
            objects[i]->Release();
        }
        EXPECT_LE(returned, count);
        EXPECT_EQ(nullptr, objects[count]) << "wrote past the count";
        return {hr, names};
    }

    // Every service's Name, in the service's order.
    std::vector<std::wstring> allServices() {
        IEnumWbemClassObjectPtr enumerator = services();
        auto [hr, names] = next(enumerator, 10000);
        EXPECT_EQ(status(WBEM_S_FALSE), hr);
        return names;
    }

    // Whether two enumerations a moment apart give the same services in the same order. In a
    // fresh Wine prefix they often do not: driver hosts start and stop, and the order and the
    // letter case of names change from call to call. Tests that compare one enumeration with
    // another skip there when this fails.
    bool servicesHoldStill() {
        const std::vector<std::wstring> first = allServices();
        return first == allServices();
    }

    ComScope m_com;
    IWbemLocatorPtr m_locator;
    IWbemServicesPtr m_services;

private:
    // The two classes, as Windows shapes the parts the tests read, stored once per program run
    // (each run has a repository of its own).
    void storeOurClasses() {
        if (getStatus(L"Win32_Service") == S_OK)
            return;
        IWbemClassObjectPtr service = newClass(nullptr, L"Win32_Service");
        ASSERT_TRUE(service);
        for (const auto& [name, type] :
             {std::pair{L"AcceptStop", CIM_BOOLEAN}, std::pair{L"DisplayName", CIM_STRING},
              std::pair{L"Name", CIM_STRING}, std::pair{L"ProcessID", CIM_UINT32},
              std::pair{L"State", CIM_STRING}})
            ASSERT_EQ(S_OK, service->Put(name, 0, nullptr, type));
        putQualifier(service, L"Name", L"key", _variant_t(true));
        ASSERT_EQ(S_OK, m_services->PutClass(service, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
        service = object(L"Win32_Service");
        struct Row {
            const wchar_t* name;
            const wchar_t* display;
            const wchar_t* state;
            long process;
        };
        for (const Row& row : {Row{L"BITS", L"BITS Service", L"Stopped", 0},
                               Row{L"Eventlog", L"Event Log", L"Running", 12},
                               Row{L"PlugPlay", L"Plug and Play Service", L"Running", 16},
                               Row{L"RpcSs", L"Remote Procedure Call", L"Running", 20},
                               Row{L"Spooler", L"Print Spooler", L"Stopped", 0}}) {
            IWbemClassObjectPtr instance;
            ASSERT_EQ(S_OK, service->SpawnInstance(0, &instance));
            set(instance, L"Name", _variant_t(row.name));
            set(instance, L"DisplayName", _variant_t(row.display));
            set(instance, L"State", _variant_t(row.state));
            set(instance, L"ProcessID", _variant_t(row.process));
            set(instance, L"AcceptStop", _variant_t(row.process != 0));
            ASSERT_EQ(S_OK,
                      m_services->PutInstance(instance, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
        }

        // Win32_Process.Create(CommandLine, CurrentDirectory) -> ProcessId, ReturnValue: each
        // signature a copy of the system class __PARAMETERS.
        IWbemClassObjectPtr process = newClass(nullptr, L"Win32_Process");
        ASSERT_TRUE(process);
        ASSERT_EQ(S_OK, process->Put(L"Handle", 0, nullptr, CIM_STRING));
        putQualifier(process, L"Handle", L"key", _variant_t(true));
        IWbemClassObjectPtr in = object(L"__PARAMETERS");
        ASSERT_TRUE(in);
        IWbemClassObjectPtr out;
        ASSERT_EQ(S_OK, in->Clone(&out));
        parameter(in, L"CommandLine", CIM_STRING, 0, L"In");
        parameter(in, L"CurrentDirectory", CIM_STRING, 1, L"In");
        parameter(out, L"ProcessId", CIM_UINT32, 2, L"Out");
        ASSERT_EQ(S_OK, out->Put(L"ReturnValue", 0, nullptr, CIM_UINT32));
        ASSERT_EQ(S_OK, process->PutMethod(L"Create", 0, in, out));
        ASSERT_EQ(S_OK, m_services->PutClass(process, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
    }

    IWbemClassObjectPtr newClass(const wchar_t* superclass, const wchar_t* name) {
        IWbemClassObjectPtr cls;
        EXPECT_EQ(S_OK, m_services->GetObject(_bstr_t(superclass ? superclass : L""), 0, nullptr,
                                              &cls, nullptr));
        if (cls)
            set(cls, L"__CLASS", _variant_t(name));
        return cls;
    }

    static void putQualifier(IWbemClassObject* object, const wchar_t* property, const wchar_t* name,
                             _variant_t value) {
        IWbemQualifierSetPtr qualifiers;
        ASSERT_EQ(S_OK, object->GetPropertyQualifierSet(property, &qualifiers));
        ASSERT_EQ(S_OK, qualifiers->Put(name, &value, 0));
    }

    static void parameter(IWbemClassObject* signature, const wchar_t* name, CIMTYPE type, long id,
                          const wchar_t* direction) {
        ASSERT_EQ(S_OK, signature->Put(name, 0, nullptr, type));
        putQualifier(signature, name, L"ID", _variant_t(id));
        putQualifier(signature, name, direction, _variant_t(true));
    }
};

} // namespace wbem_read
