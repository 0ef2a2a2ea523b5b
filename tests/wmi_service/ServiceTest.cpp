// The object model against the embedded WMI service: classes, derived classes and instances made,
// read, changed, enumerated and removed through the library alone.
#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using DEZE::WmiClass;
using DEZE::WmiConnectionFactory;
using DEZE::WmiContext;
using DEZE::WmiException;
using DEZE::WmiHandle;
using DEZE::WmiInstance;
using DEZE::WmiObjectEnumeration;
using DEZE::WmiObjectPath;
using DEZE::WmiProperty;
using DEZE::WmiQualifier;
using DEZE::WmiString;
using DEZE::WmiValue;

namespace {

std::wstring text(const _bstr_t& value) {
    return !value ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
}

template <typename Action>
WmiException raised(Action action) {
    try {
        action();
    } catch (const WmiException& e) {
        return e;
    }
    ADD_FAILURE() << "no WmiException";
    return WmiException(0, _bstr_t());
}

std::wstring messageOf(const WmiException& e) {
    return text(e.getMessage());
}

const wchar_t kNameSpace[] = L"root\\default";

class Service : public testing::Test {
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

    static WmiObjectPath path(const std::wstring& relative) {
        return WmiObjectPath(_bstr_t((std::wstring(kNameSpace) + L":" + relative).c_str()));
    }

    // Stores a class `name` with the string key "Name" and the uint32 "Size" (a sub-class of
    // `superClass` when one is given, inheriting both).
    void defineDisk(const wchar_t* name, const wchar_t* superClass = L"") {
        WmiClass disk(kNameSpace, name, superClass);
        if (!*superClass) {
            disk.setProperty(WmiProperty(L"Name", _variant_t(L""), CIM_STRING, nullptr));
            disk.setProperty(WmiProperty(L"Size", _variant_t(0L), CIM_SINT32, nullptr));
            disk.getProperty(L"Name").setQualifier(WmiQualifier(L"key", _variant_t(true), 0));
        }
        handle.createClass(*context, path(name), disk);
    }

    WmiInstance newDisk(const wchar_t* className, const wchar_t* name, long size) {
        WmiInstance disk(kNameSpace, className);
        disk.setProperty(WmiProperty(L"Name", _variant_t(name), CIM_STRING, nullptr));
        disk.setProperty(WmiProperty(L"Size", _variant_t(size), CIM_SINT32, nullptr));
        return disk;
    }

    std::unique_ptr<WmiContext> context;
    WmiHandle handle;
};

std::vector<std::wstring> names(const WmiObjectEnumeration& objects, const wchar_t* property) {
    std::vector<std::wstring> result;
    while (objects.hasNext()) {
        const _variant_t value = objects.getNext().getProperty(property).getValue();
        result.push_back(V_VT(&value) == VT_BSTR ? text(V_BSTR(&value)) : L"?");
    }
    return result;
}

} // namespace

TEST_F(Service, ConnectionsAreCachedPerNamespaceWhateverItsCase) {
    const auto first = WmiConnectionFactory::create(L"ROOT\\Default");
    const auto second = WmiConnectionFactory::create(L"root\\default");
    EXPECT_EQ(first.getServices(), second.getServices());
    const WmiException missing = raised([] { WmiConnectionFactory::create(L"root\\nowhere"); });
    EXPECT_EQ(missing.getCode(), static_cast<long>(WBEM_E_INVALID_NAMESPACE));
    EXPECT_EQ(messageOf(missing), L"IWbemLocator::ConnectServer() failed");
}

TEST_F(Service, ClassesAreDefinedStoredAndReadBack) {
    defineDisk(L"Zv_Disk");
    const WmiClass disk = handle.getClass(*context, path(L"Zv_Disk"));
    EXPECT_EQ(disk.getGenus(), 1u);
    EXPECT_EQ(disk.getPropertyCount(), 2u);
    EXPECT_EQ(text(disk.getProperty(0u).getName()), L"Name");
    const WmiQualifier key = disk.getProperty(L"Name").getQualifier(L"key");
    const _variant_t keyValue = key.getValue();
    EXPECT_EQ(V_BOOL(&keyValue), VARIANT_TRUE);
    EXPECT_EQ(disk.getProperty(L"Size").getType(), CIM_SINT32);
    // The same class, loaded by name.
    EXPECT_EQ(WmiClass(kNameSpace, L"Zv_Disk").getPropertyCount(), 2u);

    // Storing it again is refused: it exists.
    const WmiException again = raised([&] { defineDisk(L"Zv_Disk"); });
    EXPECT_EQ(again.getCode(), static_cast<long>(WBEM_E_ALREADY_EXISTS));
    EXPECT_EQ(messageOf(again), L"IWbemServices::PutClass() failed");

    defineDisk(L"Zv_BigDisk", L"Zv_Disk");
    EXPECT_EQ(handle.getClass(*context, path(L"Zv_BigDisk")).getPropertyCount(), 2u);
    EXPECT_EQ(names(handle.enumerateClasses(*context, path(L"Zv_Disk")), L"__CLASS"),
              (std::vector<std::wstring>{L"Zv_BigDisk"}));

    handle.deleteClass(*context, path(L"Zv_BigDisk"));
    const WmiException gone = raised([&] { handle.getClass(*context, path(L"Zv_BigDisk")); });
    EXPECT_EQ(gone.getCode(), static_cast<long>(WBEM_E_NOT_FOUND));
    EXPECT_EQ(messageOf(gone), L"IWbemServices::GetObject() failed");
}

TEST_F(Service, CreateClassReturnsTheStoredClassesPath) {
    WmiClass fresh(kNameSpace, L"Zv_Fresh", L"");
    const WmiObjectPath stored = handle.createClass(*context, path(L"Zv_Fresh"), fresh);
    EXPECT_EQ(text(stored.getClassName()), L"Zv_Fresh");
    EXPECT_EQ(text(stored.getNameSpace()), L"root\\default");
    EXPECT_EQ(handle.getClass(*context, stored).getGenus(), 1u);
}

TEST_F(Service, InstancesLiveAndDie) {
    defineDisk(L"Zv_Volume");
    const WmiObjectPath made =
        handle.createInstance(*context, path(L"Zv_Volume"), newDisk(L"Zv_Volume", L"C", 10));
    handle.createInstance(*context, path(L"Zv_Volume"), newDisk(L"Zv_Volume", L"D", 20));
    EXPECT_EQ(text(made.getClassName()), L"Zv_Volume");
    EXPECT_EQ(made.getKeyCount(), 1u);

    const WmiObjectPath c = path(L"Zv_Volume.Name=\"C\"");
    const WmiInstance read = handle.getInstance(*context, made);
    EXPECT_EQ(read.getGenus(), 2u);
    EXPECT_EQ(text(handle.getPropertyValue(*context, c, WmiString(L"Size", false)).toString()),
              L"10");
    EXPECT_EQ(text(handle.getPropertyValue(*context, c, WmiString(L"__CLASS", false)).toString()),
              L"Zv_Volume");
    // The stored instance's own path names it again.
    const WmiObjectPath own = read.getPath();
    EXPECT_EQ(text(own.getClassName()), L"Zv_Volume");
    EXPECT_EQ(text(own.getKey(L"name").getName()), L"Name");

    handle.setPropertyValue(*context, c, WmiString(L"Size", false),
                            WmiValue(_variant_t(11L), CIM_SINT32));
    EXPECT_EQ(text(handle.getPropertyValue(*context, c, WmiString(L"Size", false)).toString()),
              L"11");
    WmiInstance changed = handle.getInstance(*context, c);
    changed.setProperty(WmiProperty(L"Size", _variant_t(12L), CIM_SINT32, nullptr));
    handle.modifyInstance(*context, c, changed);
    EXPECT_EQ(text(handle.getPropertyValue(*context, c, WmiString(L"Size", false)).toString()),
              L"12");

    EXPECT_EQ(names(handle.enumerateInstances(*context, path(L"Zv_Volume")), L"Name"),
              (std::vector<std::wstring>{L"C", L"D"}));
    // A second instance of the same key: the put returns once accepted, and its refusal stays in
    // the call result, which is not read. The stored instance is unchanged.
    handle.createInstance(*context, path(L"Zv_Volume"), newDisk(L"Zv_Volume", L"C", 1));
    EXPECT_EQ(text(handle.getPropertyValue(*context, c, WmiString(L"Size", false)).toString()),
              L"12");

    handle.deleteInstance(*context, c);
    const WmiException gone = raised([&] { handle.getInstance(*context, c); });
    EXPECT_EQ(gone.getCode(), static_cast<long>(WBEM_E_NOT_FOUND));
    EXPECT_EQ(messageOf(gone), L"IWbemServices::GetObject() failed");
    EXPECT_EQ(names(handle.enumerateInstances(*context, path(L"Zv_Volume")), L"Name"),
              (std::vector<std::wstring>{L"D"}));
}

TEST_F(Service, KindsAreChecked) {
    defineDisk(L"Zv_Kind");
    handle.createInstance(*context, path(L"Zv_Kind"), newDisk(L"Zv_Kind", L"X", 1));
    const WmiException notInstance =
        raised([&] { handle.getInstance(*context, path(L"Zv_Kind")); });
    EXPECT_EQ(notInstance.getCode(), static_cast<long>(E_FAIL));
    EXPECT_EQ(messageOf(notInstance), L"Invalid object type");
    const WmiInstance instance = handle.getInstance(*context, path(L"Zv_Kind.Name=\"X\""));
    const WmiException notClass =
        raised([&] { WmiClass(static_cast<const DEZE::IWbemClassObjectPtr&>(instance)); });
    EXPECT_EQ(messageOf(notClass), L"Invalid object type");
}
