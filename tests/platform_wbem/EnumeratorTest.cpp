// IEnumWbemClassObject: counts, the end of an enumeration, Skip, and the Reset and Clone that
// only bidirectional enumerators allow.
#include "WbemTesting.h"

using namespace wbem_testing;

namespace {

class WbemEnumerator : public WbemTest {
protected:
    void SetUp() override {
        WbemTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(defineClass(L"Row", nullptr, {{L"Id", CIM_SINT32, true}}));
        for (long id = 1; id <= kRows; ++id) {
            IWbemClassObjectPtr row = spawn(L"Row");
            set(row, L"Id", _variant_t(id));
            ASSERT_EQ(S_OK, put(row));
        }
    }

    IEnumWbemClassObjectPtr rows(LONG flags = 0) {
        IEnumWbemClassObjectPtr enumerator;
        EXPECT_EQ(S_OK,
                  m_services->CreateInstanceEnum(_bstr_t(L"Row"), flags, nullptr, &enumerator));
        return enumerator;
    }

    // The ids of the next `count` rows, with Next's status.
    static std::pair<HRESULT, std::vector<long>> next(IEnumWbemClassObject* enumerator,
                                                      ULONG count) {
        std::vector<IWbemClassObject*> objects(count + 1, nullptr);
        ULONG returned = 12345;
        const HRESULT hr = enumerator->Next(kInfinite, count, objects.data(), &returned);
        std::vector<long> ids;
        for (ULONG i = 0; i < returned; ++i) {
            ids.push_back(get(objects[i], L"Id").lVal);
            objects[i]->Release();
        }
        EXPECT_EQ(nullptr, objects[count]) << "wrote past the count";
        return {hr, ids};
    }

    static constexpr long kRows = 600; // more than one batch
};

TEST_F(WbemEnumerator, NextGivesUpToCountAndSaysWhenTheEndCameFirst) {
    IEnumWbemClassObjectPtr enumerator = rows(WBEM_FLAG_FORWARD_ONLY);
    auto [first, ids] = next(enumerator, 3);
    EXPECT_EQ(S_OK, first);
    EXPECT_EQ((std::vector<long>{1, 2, 3}), ids);
    auto [big, many] = next(enumerator, 1000);
    EXPECT_EQ(status(WBEM_S_FALSE), big);
    ASSERT_EQ(static_cast<size_t>(kRows - 3), many.size());
    EXPECT_EQ(4, many.front());
    EXPECT_EQ(kRows, many.back());
    auto [end, none] = next(enumerator, 1);
    EXPECT_EQ(status(WBEM_S_FALSE), end);
    EXPECT_TRUE(none.empty());
    auto [zero, nothing] = next(enumerator, 0);
    EXPECT_EQ(S_OK, zero);
}

TEST_F(WbemEnumerator, NextRefusesBadArguments) {
    IEnumWbemClassObjectPtr enumerator = rows();
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Next(-2, 1, &object, &returned));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Next(0, 1, nullptr, &returned));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Next(0, 1, &object, nullptr));
    // A timeout of zero still gives what is ready.
    EXPECT_EQ(S_OK, enumerator->Next(0, 1, &object, &returned));
    ASSERT_EQ(1u, returned);
    object->Release();
}

TEST_F(WbemEnumerator, SkipMovesOnAndReportsTheEnd) {
    IEnumWbemClassObjectPtr enumerator = rows(WBEM_FLAG_FORWARD_ONLY);
    EXPECT_EQ(S_OK, enumerator->Skip(kInfinite, 299));
    EXPECT_EQ((std::vector<long>{300}), next(enumerator, 1).second);
    EXPECT_EQ(status(WBEM_S_FALSE), enumerator->Skip(kInfinite, 1000));
    EXPECT_EQ(status(WBEM_S_FALSE), next(enumerator, 1).first);
}

TEST_F(WbemEnumerator, ForwardOnlyEnumeratorsRefuseResetAndClone) {
    IEnumWbemClassObjectPtr enumerator = rows(WBEM_FLAG_FORWARD_ONLY);
    EXPECT_EQ(status(WBEM_E_INVALID_OPERATION), enumerator->Reset());
    IEnumWbemClassObject* copy = reinterpret_cast<IEnumWbemClassObject*>(0x1);
    EXPECT_EQ(status(WBEM_E_INVALID_OPERATION), enumerator->Clone(&copy));
    EXPECT_EQ(nullptr, copy);
}

TEST_F(WbemEnumerator, ResetRewindsAndCloneContinuesFromTheSamePlaceOnItsOwn) {
    IEnumWbemClassObjectPtr enumerator = rows();
    EXPECT_EQ((std::vector<long>{1, 2}), next(enumerator, 2).second);
    IEnumWbemClassObjectPtr copy;
    ASSERT_EQ(S_OK, enumerator->Clone(&copy));
    EXPECT_EQ((std::vector<long>{3}), next(copy, 1).second);
    EXPECT_EQ((std::vector<long>{3, 4}), next(enumerator, 2).second);
    EXPECT_EQ((std::vector<long>{4}), next(copy, 1).second);
    ASSERT_EQ(S_OK, enumerator->Reset());
    EXPECT_EQ((std::vector<long>{1}), next(enumerator, 1).second);
    // The whole extent again after a reset at the end.
    EXPECT_EQ(status(WBEM_S_FALSE), enumerator->Skip(0, 10000));
    ASSERT_EQ(S_OK, enumerator->Reset());
    EXPECT_EQ(static_cast<size_t>(kRows), next(enumerator, 10000).second.size());
}

TEST_F(WbemEnumerator, EachEnumerationHandsOutObjectsOfItsOwn) {
    IEnumWbemClassObjectPtr one = rows(), two = rows();
    IWbemClassObject* a = nullptr;
    IWbemClassObject* b = nullptr;
    ULONG returned = 0;
    ASSERT_EQ(S_OK, one->Next(kInfinite, 1, &a, &returned));
    ASSERT_EQ(S_OK, two->Next(kInfinite, 1, &b, &returned));
    IWbemClassObjectPtr ownedA(a, false), ownedB(b, false);
    EXPECT_NE(a, b);
    set(a, L"Id", _variant_t(99L));
    EXPECT_EQ(1, get(b, L"Id").lVal);
}

TEST_F(WbemEnumerator, ObjectsOutliveTheirEnumerator) {
    IWbemClassObject* kept = nullptr;
    {
        IEnumWbemClassObjectPtr enumerator = rows(WBEM_FLAG_FORWARD_ONLY);
        ULONG returned = 0;
        ASSERT_EQ(S_OK, enumerator->Next(kInfinite, 1, &kept, &returned));
    }
    EXPECT_EQ(1, get(kept, L"Id").lVal);
    kept->Release();
}

} // namespace
