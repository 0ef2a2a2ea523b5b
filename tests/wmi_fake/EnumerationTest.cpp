// Walking an enumerator one object at a time, and holding sinks.
#include "wmi_fake/Checks.h"

using checks::text;
using DEZE::WmiInstance;
using DEZE::WmiObjectEnumeration;
using DEZE::WmiObjectSink;

namespace {

class Enumerations : public checks::FakeTest {
protected:
    // An enumerator over instances of "A", "B" and "C".
    DEZE::IEnumWbemClassObjectPtr three() {
        std::vector<fake::ClassObject*> objects;
        for (const wchar_t* name : {L"A", L"B", L"C"})
            objects.push_back(new fake::ClassObject(2, name));
        DEZE::IEnumWbemClassObjectPtr enumerator(new fake::Enumerator(objects), false);
        for (fake::ClassObject* object : objects)
            object->Release();
        return enumerator;
    }
};

std::wstring classOf(const DEZE::WmiObject& object) {
    const _variant_t name = object.getProperty(L"__CLASS").getValue();
    return text(V_BSTR(&name));
}

} // namespace

TEST_F(Enumerations, HasNextFetchesOneObjectAtATime) {
    const WmiObjectEnumeration objects(three());
    std::vector<std::wstring> seen;
    while (objects.hasNext())
        seen.push_back(classOf(WmiInstance(objects.getNext())));
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"A", L"B", L"C"}));
    const std::vector<fake::Call> nexts = fake::log().callsOf(L"IEnumWbemClassObject::Next");
    ASSERT_EQ(nexts.size(), 4u);
    EXPECT_EQ(nexts[0].flags, -1); // WBEM_INFINITE
    EXPECT_EQ(nexts[0].text, L"1");
    // At the end it stays at the end.
    EXPECT_FALSE(objects.hasNext());
    EXPECT_RAISES(objects.getNext(), E_FAIL, L"No more objects");
}

TEST_F(Enumerations, GetNextHandsOutTheCurrentObjectUntilTheNextFetch) {
    const WmiObjectEnumeration objects(three());
    EXPECT_RAISES(objects.getNext(), E_FAIL, L"No more objects");
    ASSERT_TRUE(objects.hasNext());
    EXPECT_EQ(classOf(objects.getNext()), L"A");
    EXPECT_EQ(classOf(objects.getNext()), L"A");
    ASSERT_TRUE(objects.hasNext());
    ASSERT_TRUE(objects.hasNext()); // "B" was dropped unseen
    EXPECT_EQ(classOf(objects.getNext()), L"C");
}

TEST_F(Enumerations, CopiesShareTheEnumeratorButNotTheCurrentObject) {
    WmiObjectEnumeration objects(three());
    ASSERT_TRUE(objects.hasNext());
    const WmiObjectEnumeration copy = objects;
    EXPECT_EQ(classOf(copy.getNext()), L"A");
    ASSERT_TRUE(copy.hasNext());
    EXPECT_EQ(classOf(copy.getNext()), L"B");
    EXPECT_EQ(classOf(objects.getNext()), L"A");
    ASSERT_TRUE(objects.hasNext());
    EXPECT_EQ(classOf(objects.getNext()), L"C");
    objects = objects;
    objects = copy;
    EXPECT_EQ(classOf(objects.getNext()), L"B");
}

TEST_F(Enumerations, EmptyAndFailingEnumerators) {
    const WmiObjectEnumeration empty(
        DEZE::IEnumWbemClassObjectPtr(new fake::Enumerator({}), false));
    EXPECT_FALSE(empty.hasNext());
    const WmiObjectEnumeration objects(three());
    fake::log().failOn(L"IEnumWbemClassObject::Next", WBEM_E_TRANSPORT_FAILURE, 2);
    ASSERT_TRUE(objects.hasNext());
    EXPECT_RAISES(objects.hasNext(), WBEM_E_TRANSPORT_FAILURE,
                  L"IEnumWbemClassObject::Next() failed");
    EXPECT_RAISES(objects.getNext(), E_FAIL, L"No more objects");
    EXPECT_RAISES(WmiObjectEnumeration(DEZE::IEnumWbemClassObjectPtr()), E_FAIL,
                  L"Invalid argument");
}

TEST_F(Enumerations, SinksAreHeldAndShared) {
    EXPECT_RAISES(WmiObjectSink(DEZE::IWbemObjectSinkPtr()), E_FAIL, L"Invalid argument");
    WmiObjectSink none;
    {
        const WmiObjectSink held(DEZE::IWbemObjectSinkPtr(new fake::Sink, false));
        none = held;
        WmiObjectSink copy = held;
        copy = copy;
    }
    EXPECT_EQ(fake::liveObjects(), 1);
    none = WmiObjectSink();
}
