// Classes, instances and indications over the fake: genus checks, the three ways to make them,
// the property, qualifier and method conversations through them, and the XML rendering.
#include "wmi_fake/Checks.h"

using checks::text;
using DEZE::WmiClass;
using DEZE::WmiIndication;
using DEZE::WmiInstance;
using DEZE::WmiObject;
using DEZE::WmiProperty;
using DEZE::WmiQualifier;

namespace {

class Objects : public checks::FakeTest {};

// Owns one reference to a fake object for the length of a test.
template <typename Object>
class Held {
public:
    explicit Held(Object* object) : m_object(object) {}
    ~Held() { m_object->Release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Object* operator->() const { return m_object; }
    Object* get() const { return m_object; }
    DEZE::IWbemClassObjectPtr pointer() const { return DEZE::IWbemClassObjectPtr(m_object); }

private:
    Object* m_object;
};

// A class "Disk" with the key "Name", "Size", the qualifier "dynamic" and the methods "Format"
// (with an in-signature) and "Reset" (without signatures).
fake::ClassObject* diskClass() {
    auto* disk = new fake::ClassObject(1, L"Disk");
    disk->addProperty(L"Name", _variant_t(), CIM_STRING, true);
    disk->addProperty(L"Size", _variant_t(), CIM_UINT64);
    disk->qualifiers()->add(L"dynamic", _variant_t(true));
    auto* in = new fake::ClassObject(1, L"__PARAMETERS");
    in->addProperty(L"Quick", _variant_t(false), CIM_BOOLEAN);
    disk->addMethod(L"Format", in, nullptr).qualifiers->add(L"Implemented", _variant_t(true));
    disk->addMethod(L"Reset", nullptr, nullptr);
    return disk;
}

fake::ClassObject* diskInstance() {
    auto* disk = new fake::ClassObject(2, L"Disk", L"\\\\HOST\\root\\test:Disk.Name=\"C\"");
    disk->addProperty(L"Name", _variant_t(L"C"), CIM_STRING, true);
    disk->addProperty(L"Size", _variant_t(L"1024"), CIM_UINT64);
    return disk;
}

} // namespace

TEST_F(Objects, WrappersCheckTheGenus) {
    Held<fake::ClassObject> disk(diskClass());
    Held<fake::ClassObject> instance(diskInstance());
    EXPECT_EQ(WmiClass(disk.pointer()).getGenus(), 1u);
    EXPECT_EQ(WmiInstance(instance.pointer()).getGenus(), 2u);
    EXPECT_EQ(WmiIndication(instance.pointer()).getGenus(), 2u);
    EXPECT_RAISES(WmiClass(instance.pointer()), E_FAIL, L"Invalid object type");
    EXPECT_RAISES(WmiInstance(disk.pointer()), E_FAIL, L"Invalid object type");
    EXPECT_RAISES(WmiIndication(disk.pointer()), E_FAIL, L"Invalid object type");
    EXPECT_RAISES(WmiClass(DEZE::IWbemClassObjectPtr()), E_FAIL, L"Invalid argument");
    EXPECT_RAISES(WmiInstance(DEZE::IWbemClassObjectPtr()), E_FAIL, L"Invalid argument");
    EXPECT_RAISES(WmiIndication(DEZE::IWbemClassObjectPtr()), E_FAIL, L"Invalid argument");
    fake::log().failOn(L"IWbemClassObject::Get", WBEM_E_FAILED);
    EXPECT_RAISES(WmiInstance(instance.pointer()), WBEM_E_FAILED,
                  L"IWbemClassObject::Get() failed");
    // A plain object takes anything, null included, and assignment checks nothing.
    WmiObject any(DEZE::IWbemClassObjectPtr{});
    EXPECT_EQ(any.getPropertyCount(), 0u);
    WmiInstance copy(instance.pointer());
    WmiClass klass(disk.pointer());
    static_cast<WmiObject&>(copy) = klass;
    EXPECT_EQ(copy.getGenus(), 1u);
}

TEST_F(Objects, PropertiesAreTheNonSystemOnesWhileNamesReachSystemOnes) {
    Held<fake::ClassObject> disk(diskInstance());
    WmiInstance instance(disk.pointer());
    fake::log().clear();
    EXPECT_EQ(instance.getPropertyCount(), 2u);
    EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{L"IWbemClassObject::GetNames 64"}));
    fake::log().clear();
    const WmiProperty size = instance.getProperty(1);
    EXPECT_EQ(text(size.getName()), L"Size");
    EXPECT_EQ(size.getType(), CIM_UINT64);
    EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                       L"IWbemClassObject::BeginEnumeration 64",
                                       L"IWbemClassObject::Next 0 skip",
                                       L"IWbemClassObject::Next 0 fetch",
                                       L"IWbemClassObject::EndEnumeration 0",
                                       L"IWbemClassObject::GetPropertyQualifierSet 0 Size",
                                   }));
    const WmiProperty path = instance.getProperty(L"__PATH");
    EXPECT_EQ(path.getQualifierCount(), 0u);
    EXPECT_EQ(instance.getProperty(L"name").getQualifierCount(), 1u);
    EXPECT_RAISES(instance.getProperty(2), WBEM_S_NO_MORE_DATA, L"Index out of bounds");
    EXPECT_RAISES(instance.getProperty(L"Missing"), WBEM_E_NOT_FOUND,
                  L"IWbemClassObject::Get() failed");
    fake::log().failOn(L"IWbemClassObject::GetPropertyQualifierSet", WBEM_E_FAILED);
    EXPECT_RAISES(instance.getProperty(L"Size"), WBEM_E_FAILED,
                  L"IWbemClassObject::GetPropertyQualifierSet() failed");
}

TEST_F(Objects, NullObjectsHaveNothingToRead) {
    const WmiObject none(DEZE::IWbemClassObjectPtr{});
    EXPECT_EQ(none.getPropertyCount(), 0u);
    EXPECT_RAISES(none.getProperty(0), E_FAIL, L"GetInterfacePtr failed.");
    EXPECT_RAISES(none.getProperty(L"Name"), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(WmiObject(DEZE::IWbemClassObjectPtr{})
                      .setProperty(WmiProperty(L"Name", _variant_t(L"x"), CIM_STRING, nullptr)),
                  E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(none.getQualifierCount(), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(none.getGenus(), E_FAIL, L"Index out of bounds");
    EXPECT_TRUE(fake::log().calls().empty());
}

TEST_F(Objects, PropertyWalkFailuresEndTheEnumeration) {
    Held<fake::ClassObject> disk(diskInstance());
    const WmiInstance instance(disk.pointer());
    const struct {
        const wchar_t* method;
        int occurrence;
        const wchar_t* message;
    } cases[] = {
        {L"IWbemClassObject::BeginEnumeration", 1, L"IWbemClassObject::BeginEnumeration() failed"},
        {L"IWbemClassObject::Next", 1, L"IWbemClassObject::Next() failed"},
        {L"IWbemClassObject::Next", 2, L"Index out of bounds"},
        {L"IWbemClassObject::EndEnumeration", 1, L"IWbemClassObject::EndEnumeration() failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << text(c.method));
        fake::log().clear();
        fake::log().failOn(c.method, WBEM_E_PROVIDER_FAILURE, c.occurrence);
        EXPECT_RAISES(instance.getProperty(1), WBEM_E_PROVIDER_FAILURE, c.message);
        const bool begun = std::wstring(c.method) != L"IWbemClassObject::BeginEnumeration";
        EXPECT_EQ(fake::log().callsOf(L"IWbemClassObject::EndEnumeration").size(), begun ? 1u : 0u);
    }
}

TEST_F(Objects, SetPropertyWritesNameAndValueAndCopiesSeeIt) {
    Held<fake::ClassObject> disk(diskInstance());
    WmiInstance instance(disk.pointer());
    const WmiInstance copy = instance;
    instance.setProperty(WmiProperty(L"Size", _variant_t(L"2048"), CIM_STRING, nullptr));
    const std::vector<fake::Call> puts = fake::log().callsOf(L"IWbemClassObject::Put");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].flags, 0);
    EXPECT_EQ(disk->find(L"Size")->type, CIM_UINT64); // the type was not passed
    const _variant_t value = copy.getProperty(L"Size").getValue();
    EXPECT_EQ(text(V_BSTR(&value)), L"2048");
    fake::log().failOn(L"IWbemClassObject::Put", WBEM_E_TYPE_MISMATCH);
    EXPECT_RAISES(instance.setProperty(WmiProperty(L"Size", _variant_t(1L), CIM_SINT32, nullptr)),
                  WBEM_E_TYPE_MISMATCH, L"IWbemClassObject::Put() failed");
}

TEST_F(Objects, ObjectQualifiers) {
    Held<fake::ClassObject> disk(diskClass());
    WmiClass klass(disk.pointer());
    EXPECT_EQ(klass.getQualifierCount(), 1u);
    EXPECT_EQ(text(klass.getQualifier(0).getName()), L"dynamic");
    klass.setQualifier(WmiQualifier(L"provider", _variant_t(L"P"), 0));
    EXPECT_EQ(text(klass.getQualifier(L"PROVIDER").getName()), L"PROVIDER");
    fake::log().failOn(L"IWbemClassObject::GetQualifierSet", WBEM_E_FAILED);
    EXPECT_RAISES(klass.getQualifier(0), WBEM_E_FAILED,
                  L"IWbemObjectObject::GetQualifierSet() failed");
}

TEST_F(Objects, MethodsWalkTheMethodEnumeration) {
    Held<fake::ClassObject> disk(diskClass());
    const WmiClass klass(disk.pointer());
    fake::log().clear();
    EXPECT_EQ(klass.getMethodCount(), 2u);
    EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                       L"IWbemClassObject::BeginMethodEnumeration 0",
                                       L"IWbemClassObject::NextMethod 0 skip",
                                       L"IWbemClassObject::NextMethod 0 skip",
                                       L"IWbemClassObject::NextMethod 0 skip",
                                       L"IWbemClassObject::EndMethodEnumeration 0",
                                   }));
    fake::log().clear();
    const DEZE::WmiMethod reset = klass.getMethod(1);
    EXPECT_EQ(text(reset.getName()), L"Reset");
    EXPECT_EQ(reset.getInParameterCount(), 0u);
    EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                       L"IWbemClassObject::BeginMethodEnumeration 0",
                                       L"IWbemClassObject::NextMethod 0 skip",
                                       L"IWbemClassObject::NextMethod 0 fetch",
                                       L"IWbemClassObject::EndMethodEnumeration 0",
                                       L"IWbemClassObject::GetMethodQualifierSet 0 Reset",
                                   }));
    const DEZE::WmiMethod format = klass.getMethod(L"format");
    EXPECT_EQ(format.getInParameterCount(), 1u);
    EXPECT_EQ(text(format.getInParameter(0).getName()), L"Quick");
    EXPECT_EQ(text(format.getQualifier(0).getName()), L"Implemented");
    EXPECT_RAISES(klass.getMethod(2), WBEM_S_NO_MORE_DATA, L"Index out of bounds");
    EXPECT_RAISES(klass.getMethod(L"Missing"), WBEM_E_NOT_FOUND, L"IWbemClassObject::Get() failed");
}

TEST_F(Objects, MethodWalkFailures) {
    Held<fake::ClassObject> disk(diskClass());
    const WmiClass klass(disk.pointer());
    const struct {
        const wchar_t* method;
        int occurrence;
        const wchar_t* message;
        bool count;
    } cases[] = {
        {L"IWbemClassObject::BeginMethodEnumeration", 1,
         L"IWbemClassObject::BeginMethodEnumeration() failed", true},
        {L"IWbemClassObject::NextMethod", 2, L"IWbemClassObject::Next() failed", true},
        {L"IWbemClassObject::EndMethodEnumeration", 1,
         L"IWbemClassObject::EndMethodEnumeration() failed", true},
        {L"IWbemClassObject::NextMethod", 1, L"IWbemClassObject::Next() failed", false},
        {L"IWbemClassObject::NextMethod", 2, L"Index out of bounds", false},
        {L"IWbemClassObject::EndMethodEnumeration", 1,
         L"IWbemClassObject::EndMethodEnumeration() failed", false},
        {L"IWbemClassObject::GetMethodQualifierSet", 1,
         L"IWbemClassObject::GetMethodQualifierSet() failed", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << text(c.method) << " " << c.occurrence << " "
                                        << (c.count ? "count" : "get"));
        fake::log().clear();
        fake::log().failOn(c.method, WBEM_E_OUT_OF_MEMORY, c.occurrence);
        if (c.count)
            EXPECT_RAISES(klass.getMethodCount(), WBEM_E_OUT_OF_MEMORY, c.message);
        else
            EXPECT_RAISES(klass.getMethod(1), WBEM_E_OUT_OF_MEMORY, c.message);
        const bool begun = std::wstring(c.method) != L"IWbemClassObject::BeginMethodEnumeration";
        EXPECT_EQ(fake::log().callsOf(L"IWbemClassObject::EndMethodEnumeration").size(),
                  begun ? 1u : 0u);
    }
    fake::log().failOn(L"IWbemClassObject::GetMethodQualifierSet", WBEM_E_FAILED);
    EXPECT_RAISES(klass.getMethod(L"Reset"), WBEM_E_FAILED,
                  L"IWbemClassObject::GetMethodQualifierSet() failed");
}

TEST_F(Objects, LoadingAClass) {
    Held<fake::ClassObject> disk(diskClass());
    services().add(L"Disk", disk.get());
    const WmiClass loaded(L"root\\test", L"Disk");
    EXPECT_EQ(loaded.getMethodCount(), 2u);
    EXPECT_EQ(fake::log().callsOf(L"IWbemServices::GetObject").front().text, L"Disk");
    // A class WMI calls invalid is an empty class object.
    fake::log().failOn(L"IWbemServices::GetObject", WBEM_E_INVALID_CLASS);
    const WmiClass empty(L"root\\test", L"Disk");
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.getPropertyCount(), 0u);
    EXPECT_EQ(empty.getMethodCount(), 0u);
    EXPECT_RAISES(empty.getMethod(0), E_FAIL, L"Index out of bounds");
    EXPECT_RAISES(WmiClass(L"root\\test", L"Missing"), WBEM_E_NOT_FOUND,
                  L"IWbemServices::GetObject() failed");
}

TEST_F(Objects, DefiningAClass) {
    Held<fake::ClassObject> disk(diskClass());
    services().add(L"Disk", disk.get());
    fake::log().clear();
    const WmiClass derived(L"root\\test", L"BigDisk", L"Disk");
    EXPECT_EQ(fake::log().lines(), (std::vector<std::wstring>{
                                       L"CoCreateInstance 1 WbemLocator",
                                       L"IWbemLocator::ConnectServer 0 \\\\.\\root\\test",
                                       L"CoSetProxyBlanket 0",
                                       L"IWbemServices::GetObject 0 Disk",
                                       L"IWbemClassObject::SpawnDerivedClass 0",
                                       L"IWbemClassObject::Put 0 __CLASS",
                                   }));
    const _variant_t name = derived.getProperty(L"__CLASS").getValue();
    EXPECT_EQ(text(V_BSTR(&name)), L"BigDisk");
    fake::log().clear();
    const WmiClass top(L"root\\test", L"Top", L"");
    EXPECT_EQ(fake::log().callsOf(L"IWbemServices::GetObject").front().text, L"<null>");
    const _variant_t topName = top.getProperty(L"__CLASS").getValue();
    EXPECT_EQ(text(V_BSTR(&topName)), L"Top");

    EXPECT_RAISES(WmiClass(L"root\\test", L"X", L"Missing"), WBEM_E_NOT_FOUND,
                  L"IWbemClassObject::GetObject() failed");
    fake::log().failOn(L"IWbemClassObject::SpawnDerivedClass", WBEM_E_FAILED);
    EXPECT_RAISES(WmiClass(L"root\\test", L"X", L"Disk"), WBEM_E_FAILED,
                  L"IWbemClassObject::SpawnDerivedClass() failed");
    fake::log().failOn(L"IWbemServices::GetObject", WBEM_E_ACCESS_DENIED);
    EXPECT_RAISES(WmiClass(L"root\\test", L"X", _bstr_t()), WBEM_E_ACCESS_DENIED,
                  L"IWbemServices::GetObject() failed");
    fake::log().failOn(L"IWbemClassObject::Put", WBEM_E_INVALID_PARAMETER);
    EXPECT_RAISES(WmiClass(L"root\\test", L"X", L"Disk"), WBEM_E_INVALID_PARAMETER,
                  L"IWbemClassObject::Put() failed");
}

TEST_F(Objects, MakingInstancesAndIndications) {
    Held<fake::ClassObject> disk(diskClass());
    services().add(L"Disk", disk.get());
    const WmiInstance instance(L"root\\test", L"Disk");
    EXPECT_EQ(instance.getGenus(), 2u);
    EXPECT_EQ(instance.getPropertyCount(), 2u);
    EXPECT_EQ(WmiIndication(L"root\\test", L"Disk").getGenus(), 2u);
    EXPECT_EQ(fake::log().callsOf(L"IWbemClassObject::SpawnInstance").size(), 2u);

    fake::log().clear();
    EXPECT_RAISES(WmiInstance(L"", _bstr_t()), E_FAIL, L"Invalid argument");
    EXPECT_RAISES(WmiIndication(_bstr_t(), L""), E_FAIL, L"Invalid argument");
    EXPECT_TRUE(fake::log().calls().empty());
    // One empty name is WMI's to judge.
    EXPECT_RAISES(WmiInstance(L"", L"Missing"), WBEM_E_NOT_FOUND,
                  L"IWbemServices::GetObject() failed");
    fake::log().failOn(L"IWbemClassObject::SpawnInstance", WBEM_E_FAILED);
    EXPECT_RAISES(WmiInstance(L"root\\test", L"Disk"), WBEM_E_FAILED,
                  L"IWbemClassObject::SpawnInstance() failed");
}

TEST_F(Objects, XmlComesFromTheTextSourceWithFixedOptions) {
    Held<fake::ClassObject> disk(diskInstance());
    const WmiInstance instance(disk.pointer());
    EXPECT_EQ(text(instance.toXml()), L"<CLASS NAME=\"Disk\"/>");
    EXPECT_EQ(fake::log().callsOf(L"IWbemObjectTextSrc::GetText").front().text, L"1");
    EXPECT_EQ(
        fake::world().textContext,
        (std::vector<std::wstring>{L"LocalOnly=false", L"ClassOrigin=false",
                                   L"IncludeQualifiers=false", L"ExcludeSystemProperties=true"}));
    fake::log().failOn(L"IWbemObjectTextSrc::GetText", WBEM_E_INVALID_PARAMETER);
    EXPECT_RAISES(instance.toXml(), WBEM_E_INVALID_PARAMETER,
                  L"IWbemObjectTextSrc::GetText() failed");
    fake::world().createFailing = CLSID_WbemObjectTextSrc;
    fake::world().createStatus = REGDB_E_CLASSNOTREG;
    try {
        instance.toXml();
        ADD_FAILURE() << "no _com_error";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), REGDB_E_CLASSNOTREG);
    }
    fake::world().createStatus = E_NOINTERFACE;
    try {
        instance.toXml();
        ADD_FAILURE() << "no _com_error";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }
}

TEST_F(Objects, EmbeddedObjectValuesAreTheirXml) {
    Held<fake::ClassObject> a(new fake::ClassObject(2, L"A"));
    Held<fake::ClassObject> b(new fake::ClassObject(2, L"B"));
    const DEZE::WmiValue one(_variant_t(static_cast<IUnknown*>(a.get())), CIM_OBJECT);
    EXPECT_EQ(text(one.toString()), L"<CLASS NAME=\"A\"/>");
    const DEZE::WmiValue none(_variant_t(static_cast<IUnknown*>(nullptr)), CIM_OBJECT);
    EXPECT_EQ(text(none.toString()), L"");

    DEZE::WmiArray objects(nullptr, CIM_OBJECT | CIM_FLAG_ARRAY);
    objects.addElement(_variant_t(static_cast<IUnknown*>(a.get())));
    objects.addElement(_variant_t(static_cast<IUnknown*>(b.get())));
    objects.addElement(_variant_t(static_cast<IUnknown*>(nullptr)));
    EXPECT_EQ(text(objects.toString()), L"<CLASS NAME=\"A\"/>, <CLASS NAME=\"B\"/>, ");
    _variant_t array;
    V_VT(&array) = VT_ARRAY | VT_UNKNOWN;
    V_ARRAY(&array) = nullptr;
    ASSERT_EQ(SafeArrayCopy(objects, &V_ARRAY(&array)), S_OK);
    EXPECT_EQ(text(DEZE::WmiValue(array, CIM_OBJECT | CIM_FLAG_ARRAY).toString()),
              L"<CLASS NAME=\"A\"/>, <CLASS NAME=\"B\"/>, ");
    // A value whose VARIANT holds no interface renders as a null object.
    EXPECT_EQ(text(DEZE::WmiValue(_variant_t(5L), CIM_OBJECT).toString()), L"");
    fake::log().failOn(L"IWbemObjectTextSrc::GetText", WBEM_E_FAILED);
    EXPECT_RAISES(one.toString(), WBEM_E_FAILED, L"IWbemObjectTextSrc::GetText() failed");
}
