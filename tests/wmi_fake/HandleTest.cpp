// The operations handle over the fake: every operation's call, flags and message, the query
// texts, the context handed to WMI, property values and indications. WmiString's re-reading.
#include "wmi_fake/Checks.h"

#include "support/Host.h"

#include <memory>

using checks::text;
using DEZE::WmiClass;
using DEZE::WmiContext;
using DEZE::WmiHandle;
using DEZE::WmiIndication;
using DEZE::WmiInstance;
using DEZE::WmiObjectPath;
using DEZE::WmiString;
using DEZE::WmiValue;

namespace {

class Handle : public checks::FakeTest {
protected:
    void SetUp() override {
        checks::FakeTest::SetUp();
        contextHolder = std::make_unique<WmiContext>();
        classPathHolder = std::make_unique<WmiObjectPath>(L"root\\test:Disk");
        instancePathHolder = std::make_unique<WmiObjectPath>(L"root\\test:Disk.Name=\"C\"");
        disk = new fake::ClassObject(1, L"Disk");
        disk->addProperty(L"Name", _variant_t(), CIM_STRING, true);
        instance = new fake::ClassObject(2, L"Disk", L"\\\\HOST\\root\\test:Disk.Name=\"C\"");
        instance->addProperty(L"Name", _variant_t(L"C"), CIM_STRING, true);
        instance->addProperty(L"Size", _variant_t(L"1024"), CIM_UINT64);
        services().add(L"Disk", disk);
        services().add(text(classPath().toString()), disk);
        services().add(text(instancePath().toString()), instance);
        services().setResults({instance});
        fake::log().clear();
    }
    void TearDown() override {
        disk->Release();
        instance->Release();
        contextHolder.reset();
        classPathHolder.reset();
        instancePathHolder.reset();
        checks::FakeTest::TearDown();
    }

    WmiContext& context() { return *contextHolder; }
    const WmiObjectPath& classPath() { return *classPathHolder; }
    const WmiObjectPath& instancePath() { return *instancePathHolder; }

    // The calls made on the services (and their objects), without the connecting.
    std::vector<std::wstring> operations() const {
        std::vector<std::wstring> result;
        for (const std::wstring& line : fake::log().lines()) {
            if (line.rfind(L"IWbemServices::", 0) == 0 || line.rfind(L"IWbemObjectSink", 0) == 0 ||
                line.rfind(L"IWbemClassObject::Put", 0) == 0)
                result.push_back(line);
        }
        return result;
    }

    fake::ClassObject* disk = nullptr;
    fake::ClassObject* instance = nullptr;
    WmiHandle handle;
    // Made in SetUp, once COM is up on the thread.
    std::unique_ptr<WmiContext> contextHolder;
    std::unique_ptr<WmiObjectPath> classPathHolder;
    std::unique_ptr<WmiObjectPath> instancePathHolder;
};

WmiString given(const wchar_t* text) {
    return WmiString(text, false);
}

const WmiString none(_bstr_t(), false);

} // namespace

TEST_F(Handle, ReadingClassesAndInstances) {
    const WmiClass klass = handle.getClass(context(), classPath());
    EXPECT_EQ(klass.getGenus(), 1u);
    const WmiInstance read = handle.getInstance(context(), instancePath());
    EXPECT_EQ(read.getPropertyCount(), 2u);
    EXPECT_EQ(operations(), (std::vector<std::wstring>{
                                L"IWbemServices::GetObject 0 Disk",
                                L"IWbemServices::GetObject 0 " + text(instancePath().toString()),
                            }));
    // Connected once, to the path's namespace.
    EXPECT_EQ(fake::log().callsOf(L"IWbemLocator::ConnectServer").front().text,
              L"\\\\.\\root\\test");
    EXPECT_EQ(services().lastContext, static_cast<IWbemContext*>(context().getContext()));

    // Every failure of GetObject raises, an invalid class too; the kinds are checked.
    fake::log().failOn(L"IWbemServices::GetObject", WBEM_E_INVALID_CLASS);
    EXPECT_RAISES(handle.getClass(context(), classPath()), WBEM_E_INVALID_CLASS,
                  L"IWbemServices::GetObject() failed");
    EXPECT_RAISES(handle.getInstance(context(), classPath()), E_FAIL, L"Invalid object type");
    // A class is read by its name alone: an instance path reads the instance's class.
    EXPECT_EQ(handle.getClass(context(), instancePath()).getGenus(), 1u);
}

TEST_F(Handle, Enumerating) {
    DEZE::WmiObjectEnumeration classes = handle.enumerateClasses(context(), classPath());
    DEZE::WmiObjectEnumeration instances = handle.enumerateInstances(context(), classPath());
    EXPECT_TRUE(instances.hasNext());
    EXPECT_EQ(operations(), (std::vector<std::wstring>{
                                L"IWbemServices::CreateClassEnum 48 Disk",
                                L"IWbemServices::CreateInstanceEnum 48 Disk",
                            }));
    fake::log().failOn(L"IWbemServices::CreateClassEnum", WBEM_E_INVALID_CLASS);
    EXPECT_RAISES(handle.enumerateClasses(context(), classPath()), WBEM_E_INVALID_CLASS,
                  L"IWbemServices::CreateClassEnum() failed");
    fake::log().failOn(L"IWbemServices::CreateInstanceEnum", WBEM_E_INVALID_CLASS);
    EXPECT_RAISES(handle.enumerateInstances(context(), classPath()), WBEM_E_INVALID_CLASS,
                  L"IWbemServices::CreateInstanceEnum() failed.");
}

TEST_F(Handle, StoringAndDeleting) {
    const WmiClass klass(disk);
    const WmiInstance stored(instance);
    const WmiObjectPath madeClass = handle.createClass(context(), classPath(), klass);
    handle.modifyClass(context(), classPath(), klass);
    const WmiObjectPath madeInstance = handle.createInstance(context(), classPath(), stored);
    handle.modifyInstance(context(), instancePath(), stored);
    handle.deleteInstance(context(), instancePath());
    handle.deleteClass(context(), instancePath()); // the keys are not sent
    EXPECT_EQ(operations(),
              (std::vector<std::wstring>{
                  L"IWbemServices::PutClass 2",
                  L"IWbemServices::PutClass 1",
                  L"IWbemServices::PutInstance 18 result",
                  L"IWbemServices::PutInstance 17 result",
                  L"IWbemServices::DeleteInstance 0 " + text(instancePath().toString()),
                  L"IWbemServices::DeleteClass 0 Disk",
              }));
    // The paths of what was stored.
    EXPECT_EQ(text(madeClass.getClassName()), L"Disk");
    EXPECT_EQ(text(madeClass.getNameSpace()), L"root\\test");
    EXPECT_EQ(text(madeInstance.getClassName()), L"Disk");

    const struct {
        const wchar_t* method;
        const wchar_t* message;
    } cases[] = {
        {L"IWbemServices::PutClass", L"IWbemServices::PutClass() failed"},
        {L"IWbemServices::PutInstance", L"IWbemServices::PutInstance() failed"},
        {L"IWbemServices::DeleteInstance", L"IWbemServices::DeleteInstance() failed"},
        {L"IWbemServices::DeleteClass", L"IWbemServices::DeleteClass() failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << text(c.method));
        const std::wstring method = c.method;
        fake::log().failOn(method, WBEM_E_ALREADY_EXISTS);
        EXPECT_RAISES(
            {
                if (method == L"IWbemServices::PutClass")
                    handle.createClass(context(), classPath(), klass);
                else if (method == L"IWbemServices::PutInstance")
                    handle.createInstance(context(), classPath(), stored);
                else if (method == L"IWbemServices::DeleteInstance")
                    handle.deleteInstance(context(), instancePath());
                else
                    handle.deleteClass(context(), classPath());
            },
            WBEM_E_ALREADY_EXISTS, c.message);
    }
    fake::log().failOn(L"IWbemServices::PutClass", WBEM_E_NOT_FOUND);
    EXPECT_RAISES(handle.modifyClass(context(), classPath(), klass), WBEM_E_NOT_FOUND,
                  L"IWbemServices::PutClass() failed");
    fake::log().failOn(L"IWbemServices::PutInstance", WBEM_E_NOT_FOUND);
    EXPECT_RAISES(handle.modifyInstance(context(), instancePath(), stored), WBEM_E_NOT_FOUND,
                  L"IWbemServices::PutInstance() failed");
}

TEST_F(Handle, QueryTextsAreBuiltAsTheyStand) {
    const std::wstring target = text(instancePath().toString());
    handle.associators(context(), instancePath(), none, none, none, none);
    handle.associators(context(), instancePath(), given(L"Link"), none, given(L"Owner"), none);
    handle.associators(context(), instancePath(), given(L"A"), given(L"B"), given(L"C"),
                       given(L"D"));
    handle.references(context(), instancePath(), none, none);
    handle.references(context(), instancePath(), none, given(L"Owner"));
    handle.references(context(), instancePath(), given(L"'Link'"), given(L"R"));
    EXPECT_EQ(
        operations(),
        (std::vector<std::wstring>{
            L"IWbemServices::ExecQuery 304 WQL ASSOCIATORS OF {" + target + L"}",
            L"IWbemServices::ExecQuery 304 WQL ASSOCIATORS OF {" + target +
                L"} WHERE AssocClass = Link Role = Owner",
            L"IWbemServices::ExecQuery 304 WQL ASSOCIATORS OF {" + target +
                L"} WHERE AssocClass = A ResultClass = B Role = C ResultRole = D",
            L"IWbemServices::ExecQuery 304 WQL REFERENCES OF {" + target + L"}",
            L"IWbemServices::ExecQuery 304 WQL REFERENCES OF {" + target + L"} WHERE Role = Owner",
            L"IWbemServices::ExecQuery 304 WQL REFERENCES OF {" + target +
                L"} WHERE ResultClass = 'Link' Role = R",
        }));
    fake::log().failOn(L"IWbemServices::ExecQuery", WBEM_E_INVALID_QUERY);
    EXPECT_RAISES(handle.references(context(), instancePath(), none, none), WBEM_E_INVALID_QUERY,
                  L"IWbemServices::ExecQuery() failed");
}

TEST_F(Handle, PropertyValues) {
    const WmiValue size = handle.getPropertyValue(context(), instancePath(), given(L"Size"));
    EXPECT_EQ(size.getType(), CIM_UINT64);
    EXPECT_EQ(text(size.toString()), L"1024");
    EXPECT_EQ(text(handle.getPropertyValue(context(), instancePath(), given(L"__PATH")).toString()),
              L"\\\\HOST\\root\\test:Disk.Name=\"C\"");
    EXPECT_RAISES(handle.getPropertyValue(context(), classPath(), given(L"Name")), E_FAIL,
                  L"Invalid object type");

    fake::log().clear();
    handle.setPropertyValue(context(), instancePath(), given(L"Size"),
                            WmiValue(_variant_t(L"2048"), CIM_SINT32));
    EXPECT_EQ(operations(), (std::vector<std::wstring>{
                                L"IWbemServices::GetObject 256 " + text(instancePath().toString()),
                                L"IWbemClassObject::Put 0 Size",
                                L"IWbemServices::PutInstance 1",
                            }));
    EXPECT_EQ(instance->find(L"Size")->type, CIM_UINT64);
    fake::log().failOn(L"IWbemClassObject::Put", WBEM_E_TYPE_MISMATCH);
    EXPECT_RAISES(handle.setPropertyValue(context(), instancePath(), given(L"Size"),
                                          WmiValue(_variant_t(1L), CIM_SINT32)),
                  WBEM_E_TYPE_MISMATCH, L"IWbemServices::Put() failed");
    fake::log().failOn(L"IWbemServices::PutInstance", WBEM_E_ACCESS_DENIED);
    EXPECT_RAISES(handle.setPropertyValue(context(), instancePath(), given(L"Size"),
                                          WmiValue(_variant_t(1L), CIM_SINT32)),
                  WBEM_E_ACCESS_DENIED, L"IWbemServices::PutInstance() failed");
    fake::log().failOn(L"IWbemServices::GetObject", WBEM_E_NOT_FOUND);
    EXPECT_RAISES(handle.getPropertyValue(context(), instancePath(), given(L"Size")),
                  WBEM_E_NOT_FOUND, L"IWbemServices::GetObject() failed");
}

TEST_F(Handle, IndicationsGoToTheNamespacesSink) {
    const WmiIndication event(instance);
    handle.deliverIndication(WmiContext(DEZE::IWbemContextPtr()), classPath(), event);
    EXPECT_EQ(operations(), (std::vector<std::wstring>{
                                L"IWbemServices::QueryObjectSink 0",
                                L"IWbemObjectSink::Indicate 1",
                            }));
    EXPECT_EQ(services().sink->indicated, (std::vector<std::wstring>{L"Disk"}));
    fake::log().failOn(L"IWbemObjectSink::Indicate", WBEM_E_FAILED);
    EXPECT_RAISES(handle.deliverIndication(context(), classPath(), event), WBEM_E_FAILED,
                  L"IWbemObjectSink::Indicate() failed");
    fake::log().failOn(L"IWbemServices::QueryObjectSink", WBEM_E_ACCESS_DENIED);
    EXPECT_RAISES(handle.deliverIndication(context(), classPath(), event), WBEM_E_ACCESS_DENIED,
                  L"IWbemServices::QueryObjectSink() failed");
    // A namespace without a sink takes nothing and says nothing.
    services().giveSink = false;
    fake::log().clear();
    handle.deliverIndication(context(), classPath(), event);
    EXPECT_EQ(operations(), (std::vector<std::wstring>{L"IWbemServices::QueryObjectSink 0"}));
}

TEST_F(Handle, Utf8NamesAreReReadInTheAnsiCodePage) {
    // WmiString has no accessor: its text shows in the query it goes into.
    const std::wstring target = text(instancePath().toString());
    handle.references(context(), instancePath(), WmiString(L"caf\u00e9", true),
                      WmiString(_bstr_t(), true));
    handle.references(context(), instancePath(), WmiString(L"Plain", true), WmiString(L"", true));
    const std::wstring reread = testing_support::ansiIsUtf8() ? std::wstring(L"caf\u00e9")
                                                              : std::wstring(L"caf\u00c3\u00a9");
    EXPECT_EQ(operations(), (std::vector<std::wstring>{
                                L"IWbemServices::ExecQuery 304 WQL REFERENCES OF {" + target +
                                    L"} WHERE ResultClass = " + reread,
                                L"IWbemServices::ExecQuery 304 WQL REFERENCES OF {" + target +
                                    L"} WHERE ResultClass = Plain",
                            }));
    WmiString copy(L"abc", false);
    copy = copy;
}
