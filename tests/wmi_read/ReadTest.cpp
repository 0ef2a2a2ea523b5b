// The read operations of the object model against the machine's own WMI service and its built-in
// classes (Windows, and Wine's service under Wine).
#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include "support/Host.h"

#include <memory>
#include <string>

using DEZE::WmiClass;
using DEZE::WmiConnectionFactory;
using DEZE::WmiContext;
using DEZE::WmiException;
using DEZE::WmiHandle;
using DEZE::WmiInstance;
using DEZE::WmiObjectEnumeration;
using DEZE::WmiObjectPath;
using DEZE::WmiString;

namespace {

std::wstring text(const _bstr_t& value) {
    return !value ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
}

class MachineWmi : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        context = std::make_unique<WmiContext>();
    }
    void TearDown() override {
        context.reset();
        WmiConnectionFactory::reset();
        CoUninitialize();
    }

    std::unique_ptr<WmiContext> context;
    WmiHandle handle;
};

} // namespace

TEST_F(MachineWmi, ReadsTheOperatingSystemClass) {
    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's service does not give its class objects the class genus (1)";
    const WmiClass os =
        handle.getClass(*context, WmiObjectPath(L"root\\cimv2:Win32_OperatingSystem"));
    EXPECT_EQ(os.getGenus(), 1u);
    EXPECT_GT(os.getPropertyCount(), 0u);
    const DEZE::WmiProperty caption = os.getProperty(L"Caption");
    EXPECT_EQ(caption.getType(), CIM_STRING);
    EXPECT_EQ(text(os.getProperty(0u).getName()).empty(), false);
    EXPECT_EQ(WmiClass(L"root\\cimv2", L"Win32_OperatingSystem").getGenus(), 1u);
}

TEST_F(MachineWmi, EnumeratesAndReadsTheOperatingSystem) {
    const WmiObjectEnumeration systems =
        handle.enumerateInstances(*context, WmiObjectPath(L"root\\cimv2:Win32_OperatingSystem"));
    ASSERT_TRUE(systems.hasNext());
    const WmiInstance os(systems.getNext());
    EXPECT_EQ(os.getGenus(), 2u);
    const _variant_t name = os.getProperty(L"Name").getValue();
    EXPECT_EQ(V_VT(&name), VT_BSTR);
    // The instance's own path reads it again.
    const WmiObjectPath path = os.getPath();
    EXPECT_EQ(text(path.getClassName()), L"Win32_OperatingSystem");
    const WmiInstance again = handle.getInstance(*context, path);
    EXPECT_EQ(again.getGenus(), 2u);
    EXPECT_FALSE(
        text(handle.getPropertyValue(*context, path, WmiString(L"__CLASS", false)).toString())
            .empty());
}

TEST_F(MachineWmi, MissingClassesRaiseTheServicesStatus) {
    try {
        handle.getClass(*context, WmiObjectPath(L"root\\cimv2:Zv_NoSuchClass"));
        ADD_FAILURE() << "no WmiException";
    } catch (const WmiException& e) {
        EXPECT_LT(e.getCode(), 0);
        EXPECT_EQ(text(e.getMessage()), L"IWbemServices::GetObject() failed");
    }
}
