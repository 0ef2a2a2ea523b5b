// Paths made from objects: the stored path when there is one, else class and keys.
#include "wmi_fake/Checks.h"

using checks::text;
using DEZE::WmiObjectPath;

namespace {

class PathFromObject : public checks::FakeTest {};

} // namespace

TEST_F(PathFromObject, StoredObjectsGiveTheirPath) {
    auto* stored = new fake::ClassObject(2, L"Disk", L"\\\\HOST\\root\\test:Disk.Name=\"C\"");
    stored->addProperty(L"Name", _variant_t(L"C"), CIM_STRING, true);
    DEZE::IWbemClassObjectPtr object(stored, false);
    const WmiObjectPath path(object);
    const WmiObjectPath parsed(L"\\\\HOST\\root\\test:Disk.Name=\"C\"");
    EXPECT_EQ(text(path.toString()), text(parsed.toString()));
    EXPECT_EQ(text(path.getNameSpace()), L"root\\test");
    EXPECT_EQ(text(path.getHostName()), L"HOST");
}

TEST_F(PathFromObject, NewObjectsGiveClassAndKeys) {
    auto* fresh = new fake::ClassObject(2, L"Disk");
    fresh->addProperty(L"Name", _variant_t(L"C"), CIM_STRING, true);
    fresh->addProperty(L"Size", _variant_t(L"1"), CIM_UINT64);
    fresh->addProperty(L"Bus", _variant_t(3L), CIM_SINT32, true);
    DEZE::IWbemClassObjectPtr object(fresh, false);
    fake::log().clear();
    const WmiObjectPath path(object);
    EXPECT_EQ(text(path.getClassName()), L"Disk");
    EXPECT_TRUE(text(path.getNameSpace()).empty());
    ASSERT_EQ(path.getKeyCount(), 2u);
    EXPECT_EQ(text(path.getKey(0).getName()), L"Name");
    EXPECT_EQ(text(path.getKey(1).getName()), L"Bus");
    EXPECT_EQ(path.getKey(1).getType(), CIM_SINT32);
    // The keys come from the key-only walk.
    EXPECT_EQ(fake::log().callsOf(L"IWbemClassObject::GetNames").front().flags,
              WBEM_FLAG_KEYS_ONLY);
    EXPECT_EQ(fake::log().callsOf(L"IWbemClassObject::BeginEnumeration").front().flags,
              WBEM_FLAG_KEYS_ONLY);
}

TEST_F(PathFromObject, Failures) {
    DEZE::IWbemClassObjectPtr none;
    EXPECT_RAISES(WmiObjectPath{none}, E_FAIL, L"Invalid argument");
    DEZE::IWbemClassObjectPtr object(new fake::ClassObject(2, L"Disk"), false);
    fake::log().failOn(L"IWbemClassObject::Get", WBEM_E_FAILED);
    EXPECT_RAISES(WmiObjectPath{object}, WBEM_E_FAILED, L"IWbemClassObject::Get() failed");
}
