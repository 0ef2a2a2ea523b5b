// What the provider registration tests share: a clean machine per test (no provider instances in
// the namespaces used, no CLSID keys, no group file) and a look at a namespace's instances through
// the WMI client interfaces themselves.
#pragma once

#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Child.h"

namespace registration_test {

using DEZE::IEnumWbemClassObjectPtr;
using DEZE::IWbemClassObjectPtr;
using DEZE::IWbemLocatorPtr;
using DEZE::IWbemServicesPtr;

const wchar_t* const kRegistrationClasses[] = {L"__InstanceProviderRegistration",
                                               L"__MethodProviderRegistration",
                                               L"__EventProviderRegistration"};

inline std::wstring textOf(const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_BSTR:
        return V_BSTR(&value) ? V_BSTR(&value) : L"";
    case VT_BOOL:
        return V_BOOL(&value) ? L"true" : L"false";
    case VT_I4:
        return std::to_wstring(V_I4(&value));
    case VT_NULL:
    case VT_EMPTY:
        return L"<null>";
    default:
        return L"?";
    }
}

// One namespace of the machine's WMI service, read and cleaned without the library.
class Namespace {
public:
    explicit Namespace(const std::wstring& name) {
        IWbemLocatorPtr locator;
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<void**>(&locator)),
                  S_OK);
        if (locator)
            locator->ConnectServer(_bstr_t((L"\\\\.\\" + name).c_str()), nullptr, nullptr, nullptr,
                                   0, nullptr, nullptr, &m_services);
        EXPECT_TRUE(m_services) << "no namespace " << std::string(name.begin(), name.end());
    }

    std::vector<IWbemClassObjectPtr> instances(const wchar_t* className) const {
        std::vector<IWbemClassObjectPtr> result;
        IEnumWbemClassObjectPtr enumeration;
        if (!m_services || FAILED(m_services->CreateInstanceEnum(
                               _bstr_t(className), WBEM_FLAG_SHALLOW | WBEM_FLAG_FORWARD_ONLY,
                               nullptr, &enumeration)))
            return result;
        for (;;) {
            IWbemClassObjectPtr object;
            ULONG returned = 0;
            if (enumeration->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned) !=
                    S_OK ||
                returned == 0)
                break;
            result.push_back(object);
        }
        return result;
    }

    size_t count(const wchar_t* className) const { return instances(className).size(); }

    static std::wstring value(IWbemClassObject* object, const wchar_t* property) {
        _variant_t value;
        if (FAILED(object->Get(property, 0, &value, nullptr, nullptr)))
            return L"<missing>";
        return textOf(value);
    }

    // A property of the class's only instance.
    std::wstring text(const wchar_t* className, const wchar_t* property) const {
        const auto all = instances(className);
        return all.size() == 1 ? value(all.front(), property)
                               : L"<" + std::to_wstring(all.size()) + L" instances>";
    }

    // The provider instance `name`: its non-null own properties as "Name=value", sorted.
    std::wstring provider(const std::wstring& name) const {
        IWbemClassObjectPtr object;
        if (!m_services || FAILED(m_services->GetObject(
                               _bstr_t((L"__Win32Provider.Name=\"" + name + L"\"").c_str()), 0,
                               nullptr, &object, nullptr)))
            return L"<none>";
        std::vector<std::wstring> items;
        object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
        for (;;) {
            BSTR property = nullptr;
            _variant_t content;
            if (object->Next(0, &property, &content, nullptr, nullptr) != S_OK)
                break;
            if (V_VT(&content) != VT_NULL)
                items.push_back(std::wstring(property) + L"=" + textOf(content));
            SysFreeString(property);
        }
        object->EndEnumeration();
        std::sort(items.begin(), items.end());
        std::wstring joined;
        for (const std::wstring& item : items)
            joined += (joined.empty() ? L"" : L" ") + item;
        return joined;
    }

    // "class provider-reference" of every registration, the three classes in order.
    std::vector<std::wstring> registrations() const {
        std::vector<std::wstring> result;
        for (const wchar_t* className : kRegistrationClasses) {
            for (const IWbemClassObjectPtr& object : instances(className))
                result.push_back(std::wstring(className) + L" " + value(object, L"Provider"));
        }
        return result;
    }

    std::vector<std::wstring> eventQueries() const {
        std::vector<std::wstring> result;
        for (const IWbemClassObjectPtr& object : instances(L"__EventProviderRegistration")) {
            _variant_t list;
            object->Get(L"EventQueryList", 0, &list, nullptr, nullptr);
            if (V_VT(&list) != (VT_ARRAY | VT_BSTR))
                continue;
            LONG lower = 0;
            LONG upper = -1;
            SafeArrayGetLBound(V_ARRAY(&list), 1, &lower);
            SafeArrayGetUBound(V_ARRAY(&list), 1, &upper);
            for (LONG i = lower; i <= upper; ++i) {
                BSTR query = nullptr;
                SafeArrayGetElement(V_ARRAY(&list), &i, &query);
                result.push_back(query ? query : L"");
                SysFreeString(query);
            }
        }
        return result;
    }

    void deleteAll(const wchar_t* className) {
        for (const IWbemClassObjectPtr& object : instances(className)) {
            const std::wstring path = value(object, L"__RELPATH");
            m_services->DeleteInstance(_bstr_t(path.c_str()), 0, nullptr, nullptr);
        }
    }

    // Every provider and registration: what a test leaves must not reach the next one.
    void clear() {
        for (const wchar_t* className : kRegistrationClasses)
            deleteAll(className);
        deleteAll(L"__Win32Provider");
    }

private:
    IWbemServicesPtr m_services;
};

// Per test: COM on the thread, the two namespaces without providers, no CLSID keys, and the
// common data folder without its files.
class ServiceTest : public testing::Test {
protected:
    void SetUp() override {
        const char* common = std::getenv("CommonProgramFiles");
        if (!common)
            GTEST_SKIP() << "CommonProgramFiles is not set (ctest sets it)";
        dataFolder = std::string(common) + "\\Talvo\\tlx\\vedav\\data";
        std::filesystem::create_directories(zudava_test::hostPath(dataFolder));
        std::filesystem::remove(zudava_test::hostPath(groupFile()));
        std::filesystem::remove(zudava_test::hostPath(dataFolder + "\\deze.properties"));
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        initialised = true;
        clean();
    }
    void TearDown() override {
        if (!initialised)
            return;
        clean();
        DEZE::WmiConnectionFactory::reset();
        CoUninitialize();
    }

    void clean() {
        for (const wchar_t* name : {L"root\\default", L"root\\cimv2"})
            Namespace(name).clear();
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID");
    }

    std::string groupFile() const { return dataFolder + "\\groupname.ini"; }

    std::string groupFileText() const {
        std::ifstream in(zudava_test::hostPath(groupFile()), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void writeProperties(const std::string& text) const {
        std::ofstream out(zudava_test::hostPath(dataFolder + "\\deze.properties"),
                          std::ios::binary);
        out << text;
    }

    std::string dataFolder;
    bool initialised = false;
};

} // namespace registration_test
