// WQL queries against the machine's own WMI service and its built-in classes: the same SELECT and
// ASSOCIATORS OF texts that the embedded service answers, as Windows (and Wine) answer them.
#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include "support/Host.h"

#include <string>
#include <vector>

namespace {

_COM_SMARTPTR_TYPEDEF(IWbemLocator, __uuidof(IWbemLocator));
_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IEnumWbemClassObject, __uuidof(IEnumWbemClassObject));

constexpr LONG kFlags = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY;

template <class Code>
constexpr HRESULT status(Code code) {
    return static_cast<HRESULT>(code);
}

class MachineQuery : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        IWbemLocatorPtr locator;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWbemLocator, reinterpret_cast<void**>(&locator)));
        ASSERT_EQ(S_OK, locator->ConnectServer(_bstr_t(L"root\\cimv2"), nullptr, nullptr, nullptr,
                                               0, nullptr, nullptr, &m_services));
    }
    void TearDown() override {
        m_services = nullptr;
        CoUninitialize();
    }

    HRESULT query(const wchar_t* text, std::vector<IWbemClassObjectPtr>& objects,
                  LONG flags = kFlags, const wchar_t* language = L"WQL") {
        objects.clear();
        IEnumWbemClassObjectPtr enumerator;
        const HRESULT hr =
            m_services->ExecQuery(_bstr_t(language), _bstr_t(text), flags, nullptr, &enumerator);
        if (FAILED(hr))
            return hr;
        // A semisynchronous query may report its failure at the first Next.
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            const HRESULT next =
                enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
            if (FAILED(next))
                return next;
            if (returned == 0)
                return hr;
            objects.push_back(IWbemClassObjectPtr(object, false));
        }
    }

    static std::wstring text(IWbemClassObject* object, const wchar_t* name) {
        _variant_t value;
        if (FAILED(object->Get(name, 0, &value, nullptr, nullptr)))
            return L"<missing>";
        return value.vt == VT_BSTR ? std::wstring(value.bstrVal) : L"<not text>";
    }

    IWbemServicesPtr m_services;
};

} // namespace

TEST_F(MachineQuery, SelectFindsTheOperatingSystemAndFiltersByValue) {
    std::vector<IWbemClassObjectPtr> all;
    ASSERT_EQ(S_OK, query(L"SELECT * FROM Win32_OperatingSystem", all));
    ASSERT_EQ(1u, all.size());
    const std::wstring name = text(all[0], L"Name");
    const std::wstring caption = text(all[0], L"Caption");

    std::vector<IWbemClassObjectPtr> found;
    ASSERT_EQ(
        S_OK,
        query((L"SELECT * FROM Win32_OperatingSystem WHERE Caption = \"" + caption + L"\"").c_str(),
              found));
    EXPECT_EQ(1u, found.size());
    ASSERT_EQ(S_OK, query(L"SELECT * FROM Win32_OperatingSystem WHERE Caption = 'no such system'",
                          found));
    EXPECT_EQ(0u, found.size());
    ASSERT_EQ(S_OK,
              query(L"SELECT Caption FROM Win32_OperatingSystem WHERE Caption LIKE '%'", found));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(caption, text(found[0], L"Caption"));
    EXPECT_EQ(L"Win32_OperatingSystem", text(found[0], L"__CLASS"));
}

TEST_F(MachineQuery, ConditionsCombineOverTheProcessList) {
    std::vector<IWbemClassObjectPtr> all, some;
    ASSERT_EQ(S_OK, query(L"SELECT * FROM Win32_Process", all));
    ASSERT_FALSE(all.empty());
    const std::wstring first = text(all[0], L"Handle");
    ASSERT_EQ(S_OK, query((L"SELECT * FROM Win32_Process WHERE Handle = '" + first + L"'").c_str(),
                          some));
    ASSERT_EQ(1u, some.size());
    EXPECT_EQ(first, text(some[0], L"Handle"));
    ASSERT_EQ(S_OK, query((L"SELECT * FROM Win32_Process WHERE NOT (Handle = '" + first +
                           L"') OR Handle = '" + first + L"'")
                              .c_str(),
                          some));
    EXPECT_EQ(all.size(), some.size());
}

TEST_F(MachineQuery, RefusesOtherLanguagesAndMalformedQueries) {
    std::vector<IWbemClassObjectPtr> objects;
    EXPECT_EQ(status(WBEM_E_INVALID_QUERY_TYPE),
              query(L"SELECT * FROM Win32_OperatingSystem", objects, kFlags, L"SQL"));
    EXPECT_EQ(status(WBEM_E_INVALID_QUERY), query(L"SELECT * Win32_OperatingSystem", objects));
    const HRESULT unknown = query(L"SELECT * FROM Zv_NoSuchClass", objects);
    if (testing_support::underWine() && unknown != status(WBEM_E_INVALID_CLASS))
        GTEST_SKIP() << "Wine's WMI answers an unknown class with 0x" << std::hex
                     << static_cast<unsigned long>(unknown) << ", not WBEM_E_INVALID_CLASS";
    EXPECT_EQ(status(WBEM_E_INVALID_CLASS), unknown);
}

TEST_F(MachineQuery, APropertyListLimitsWhatTheObjectsCarry) {
    std::vector<IWbemClassObjectPtr> found;
    ASSERT_EQ(S_OK, query(L"SELECT Caption FROM Win32_OperatingSystem", found));
    ASSERT_EQ(1u, found.size());
    _variant_t value;
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), found[0]->Get(L"Name", 0, &value, nullptr, nullptr));
    ASSERT_EQ(S_OK, found[0]->Get(L"__RELPATH", 0, &value, nullptr, nullptr));
    EXPECT_EQ(VT_NULL, value.vt);
    EXPECT_NE(L"<missing>", text(found[0], L"Caption"));
}

// A logical disk and the partition it lives on, through the association between the two.
TEST_F(MachineQuery, AssociatorsFollowTheDiskToItsPartition) {
    std::vector<IWbemClassObjectPtr> links;
    ASSERT_EQ(S_OK, query(L"SELECT * FROM Win32_LogicalDiskToPartition", links));
    if (links.empty())
        GTEST_SKIP() << "this machine reports no logical disk on a partition";
    // The references are full paths; the query names the disk by its relative path.
    const auto relative = [](const std::wstring& path) { return path.substr(path.find(L':') + 1); };
    const std::wstring disk = relative(text(links[0], L"Dependent"));
    const std::wstring partition = relative(text(links[0], L"Antecedent"));
    const auto sameText = [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(a.c_str(), b.c_str()) == 0;
    };
    const auto holdsPartition = [&](const std::vector<IWbemClassObjectPtr>& objects) {
        for (const auto& object : objects) {
            if (sameText(text(object, L"__RELPATH"), partition))
                return true;
        }
        return false;
    };
    std::vector<IWbemClassObjectPtr> related;
    const std::wstring of = L"ASSOCIATORS OF {" + disk + L"}";
    for (const std::wstring& where :
         {std::wstring(), std::wstring(L" WHERE AssocClass = Win32_LogicalDiskToPartition"),
          std::wstring(L" WHERE AssocClass = Win32_LogicalDiskToPartition Role = Dependent"),
          std::wstring(L" WHERE ResultClass = Win32_DiskPartition"),
          std::wstring(L" WHERE ResultRole = Antecedent")}) {
        ASSERT_EQ(S_OK, query((of + where).c_str(), related, kFlags | WBEM_FLAG_ENSURE_LOCATABLE))
            << static_cast<const char*>(_bstr_t(where.c_str()));
        EXPECT_TRUE(holdsPartition(related)) << static_cast<const char*>(_bstr_t(where.c_str()));
    }
    // Keywords that rule the partition out leave nothing.
    for (const wchar_t* where :
         {L" WHERE ResultClass = Win32_Process", L" WHERE Role = Antecedent"}) {
        const HRESULT hr = query((of + where).c_str(), related);
        if (testing_support::underWine() && (FAILED(hr) || !related.empty()))
            GTEST_SKIP() << "Wine's WMI does not narrow ASSOCIATORS OF by ResultClass or Role";
        EXPECT_EQ(S_OK, hr) << static_cast<const char*>(_bstr_t(where));
        EXPECT_TRUE(related.empty()) << static_cast<const char*>(_bstr_t(where));
    }
}

// The operations handle sends its own query text for the same association.
TEST_F(MachineQuery, TheHandleFindsThePartitionOfADisk) {
    std::vector<IWbemClassObjectPtr> links;
    ASSERT_EQ(S_OK, query(L"SELECT * FROM Win32_LogicalDiskToPartition", links));
    if (links.empty())
        GTEST_SKIP() << "this machine reports no logical disk on a partition";
    const std::wstring dependent = text(links[0], L"Dependent");
    const std::wstring disk = L"root\\cimv2:" + dependent.substr(dependent.find(L':') + 1);
    DEZE::WmiContext context;
    DEZE::WmiHandle handle;
    const DEZE::WmiString none(_bstr_t(), false);
    try {
        const DEZE::WmiObjectEnumeration found =
            handle.associators(context, DEZE::WmiObjectPath(_bstr_t(disk.c_str())),
                               DEZE::WmiString(_bstr_t(L"Win32_LogicalDiskToPartition"), false),
                               none, DEZE::WmiString(_bstr_t(L"Dependent"), false), none);
        ASSERT_TRUE(found.hasNext());
        const DEZE::WmiInstance partition(found.getNext());
        const _variant_t className = partition.getProperty(L"__CLASS").getValue();
        EXPECT_EQ(std::wstring(L"Win32_DiskPartition"), V_BSTR(&className));
    } catch (const DEZE::WmiException& e) {
        if (testing_support::underWine())
            GTEST_SKIP() << "under Wine the handle's associators fail with 0x" << std::hex
                         << static_cast<unsigned long>(e.getCode()) << " ("
                         << static_cast<const char*>(e.getMessage()) << ")";
        throw;
    }
    DEZE::WmiConnectionFactory::reset();
}
