// IWbemServices::GetObject and IWbemClassObject's read calls on a service's classes and instances:
// names, types, system properties, the paths objects carry, and the statuses of bad paths.
#include "ReadTesting.h"

using namespace wbem_read;

namespace {

constexpr const char* kWineClassGenus =
    "Wine's service hands out a class as its first instance (genus 2, an instance path)";

class WbemReadObjects : public WbemRead {};

TEST_F(WbemReadObjects, AClassKnowsItsNameLocationAndPropertyTypes) {
    IWbemClassObjectPtr cls = object(L"win32_service");
    ASSERT_TRUE(cls);
    EXPECT_EQ(L"Win32_Service", text(cls, L"__CLASS"));
    EXPECT_TRUE(sameText(L"root\\cimv2", text(cls, L"__NAMESPACE")))
        << narrow(text(cls, L"__NAMESPACE"));
    EXPECT_FALSE(text(cls, L"__SERVER").empty());
    struct Expected {
        const wchar_t* name;
        CIMTYPE type;
    };
    for (const Expected& e : {Expected{L"Name", CIM_STRING}, Expected{L"ProcessID", CIM_UINT32},
                              Expected{L"AcceptStop", CIM_BOOLEAN}}) {
        CIMTYPE type = 0;
        get(cls, e.name, &type);
        EXPECT_EQ(e.type, type) << narrow(e.name);
    }
    CIMTYPE type = 0;
    LONG flavor = -1;
    _variant_t count;
    ASSERT_EQ(S_OK, cls->Get(L"__PROPERTY_COUNT", 0, &count, &type, &flavor));
    EXPECT_EQ(CIM_SINT32, type);
    EXPECT_EQ(WBEM_FLAVOR_ORIGIN_SYSTEM, flavor);
    EXPECT_GE(count.lVal, 5);
    _variant_t missing;
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), cls->Get(L"NoSuchProperty", 0, &missing, nullptr, nullptr));
    EXPECT_EQ(VT_EMPTY, missing.vt);

    if (testing_support::underWine())
        GTEST_SKIP() << kWineClassGenus;
    EXPECT_EQ(WBEM_GENUS_CLASS, get(cls, L"__GENUS").lVal);
    EXPECT_EQ(L"Win32_Service", text(cls, L"__RELPATH"));
    EXPECT_TRUE(sameText(L"\\\\" + text(cls, L"__SERVER") + L"\\root\\cimv2:Win32_Service",
                         text(cls, L"__PATH")))
        << narrow(text(cls, L"__PATH"));
}

TEST_F(WbemReadObjects, GetNamesSelectsSystemAndOwnPropertiesAndKeys) {
    IWbemClassObjectPtr cls = object(L"Win32_Service");
    ASSERT_TRUE(cls);
    SAFEARRAY* array = nullptr;
    ASSERT_EQ(S_OK, cls->GetNames(nullptr, WBEM_FLAG_SYSTEM_ONLY, nullptr, &array));
    const std::vector<std::wstring> system = takeNames(array);
    for (const wchar_t* name : {L"__GENUS", L"__CLASS", L"__RELPATH", L"__PROPERTY_COUNT",
                                L"__DERIVATION", L"__SERVER", L"__NAMESPACE", L"__PATH"})
        EXPECT_TRUE(contains(system, name)) << narrow(name);
    for (const std::wstring& name : system)
        EXPECT_EQ(0u, name.rfind(L"__", 0)) << narrow(name);
    ASSERT_EQ(S_OK, cls->GetNames(nullptr, WBEM_FLAG_NONSYSTEM_ONLY, nullptr, &array));
    const std::vector<std::wstring> own = takeNames(array);
    for (const wchar_t* name : {L"AcceptStop", L"DisplayName", L"Name", L"ProcessID", L"State"})
        EXPECT_TRUE(contains(own, name)) << narrow(name);
    for (const std::wstring& name : own)
        EXPECT_NE(0u, name.rfind(L"__", 0)) << narrow(name);
    // All names: the system ones first, then the class's own.
    ASSERT_EQ(S_OK, cls->GetNames(nullptr, 0, nullptr, &array));
    std::vector<std::wstring> expected = system;
    expected.insert(expected.end(), own.begin(), own.end());
    EXPECT_EQ(expected, takeNames(array));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              cls->GetNames(nullptr, WBEM_FLAG_SYSTEM_ONLY, nullptr, nullptr));

    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's GetNames does not implement WBEM_FLAG_KEYS_ONLY";
    ASSERT_EQ(S_OK, cls->GetNames(nullptr, WBEM_FLAG_KEYS_ONLY, nullptr, &array));
    EXPECT_EQ(std::vector<std::wstring>{L"Name"}, takeNames(array));
}

TEST_F(WbemReadObjects, InstancesReadBackThroughThePathsTheyCarry) {
    if (isWindows() && !servicesHoldStill())
        GTEST_SKIP() << "this machine's service list changes between two enumerations";
    struct Seen {
        std::wstring name, display, relpath, path;
    };
    // The whole enumeration is read before the paths are: Wine's enumerators and objects read the
    // service's current table, which any new call on the class refills.
    std::vector<Seen> seen;
    {
        IEnumWbemClassObjectPtr enumerator = services();
        for (;;) {
            IWbemClassObject* raw = nullptr;
            ULONG returned = 0;
            enumerator->Next(kInfinite, 1, &raw, &returned);
            if (returned == 0)
                break;
            IWbemClassObjectPtr instance(raw, false);
            EXPECT_EQ(WBEM_GENUS_INSTANCE, get(instance, L"__GENUS").lVal);
            EXPECT_EQ(L"Win32_Service", text(instance, L"__CLASS"));
            Seen one{text(instance, L"Name"), text(instance, L"DisplayName"),
                     text(instance, L"__RELPATH"), text(instance, L"__PATH")};
            EXPECT_EQ(L"Win32_Service.Name=\"" + one.name + L"\"", one.relpath);
            EXPECT_EQ(L"\\\\" + text(instance, L"__SERVER") + L"\\" +
                          text(instance, L"__NAMESPACE") + L":" + one.relpath,
                      one.path);
            seen.push_back(one);
        }
    }
    EXPECT_GE(seen.size(), 5u);
    for (const Seen& one : seen) {
        for (const std::wstring& again : {one.relpath, one.path}) {
            IWbemClassObjectPtr found = object(again.c_str());
            ASSERT_TRUE(found) << narrow(again);
            EXPECT_EQ(one.name, text(found, L"Name"));
            EXPECT_EQ(one.display, text(found, L"DisplayName"));
        }
    }
}

TEST_F(WbemReadObjects, GetObjectReportsWhatIsWrongWithAPath) {
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"NoSuchClass"));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), getStatus(L"Win32_Service.Name=\"NoSuchService\""));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_services->GetObject(_bstr_t(L"Win32_Service"), 0, nullptr, nullptr, nullptr));

    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's service fails malformed paths with WBEM_E_INVALID_QUERY, reads a "
                        "class with keys as missing and a trailing dot as the class, and fails a "
                        "wrong key name with WBEM_E_FAILED";
    for (const wchar_t* bad :
         {L"Win32_Service.Name=", L"=1", L".Name=\"BITS\"", L"Win32_Service.Name=\"BITS\" junk",
          L"Win32_Service=@x", L"Win32_Service.", L"Win32_Service.Nope=\"BITS\""})
        EXPECT_EQ(status(WBEM_E_INVALID_OBJECT_PATH), getStatus(bad)) << narrow(bad);
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS), getStatus(L"NoSuchClass.Id=1"));
}

TEST_F(WbemReadObjects, ClassEnumerationsFindTheClasses) {
    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's service fails every CreateClassEnum with WBEM_E_FAILED";
    IEnumWbemClassObjectPtr enumerator;
    ASSERT_EQ(S_OK, m_services->CreateClassEnum(nullptr, WBEM_FLAG_DEEP, nullptr, &enumerator));
    std::vector<std::wstring> names;
    for (;;) {
        IWbemClassObject* raw = nullptr;
        ULONG returned = 0;
        const HRESULT hr = enumerator->Next(kInfinite, 1, &raw, &returned);
        if (returned == 0) {
            EXPECT_EQ(status(WBEM_S_FALSE), hr);
            break;
        }
        IWbemClassObjectPtr cls(raw, false);
        EXPECT_EQ(WBEM_GENUS_CLASS, get(cls, L"__GENUS").lVal);
        names.push_back(text(cls, L"__CLASS"));
    }
    for (const wchar_t* name : {L"Win32_Service", L"Win32_Process", L"__NAMESPACE"})
        EXPECT_TRUE(contains(names, name)) << narrow(name);
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS),
              m_services->CreateClassEnum(_bstr_t(L"NoSuchClass"), 0, nullptr, &enumerator));
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS),
              m_services->CreateInstanceEnum(_bstr_t(L"NoSuchClass"), 0, nullptr, &enumerator));
}

} // namespace
