// The call context object (IWbemContext) as WMI documents it.
#include "ComTesting.h"

#include <comdef.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/TestObject.h"

using com_testing::ComScope;
using com_testing::status;
using testing_support::underWine;

namespace {

class WbemContextTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWbemContext, reinterpret_cast<void**>(&context)));
    }
    void TearDown() override {
        if (context)
            context->Release();
    }

    HRESULT set(IWbemContext* target, const wchar_t* name, const _variant_t& value) {
        return target->SetValue(name, 0, const_cast<VARIANT*>(static_cast<const VARIANT*>(&value)));
    }
    HRESULT set(const wchar_t* name, const _variant_t& value) { return set(context, name, value); }

    // The value under `name`, or VT_ERROR holding the failure.
    _variant_t get(IWbemContext* source, const wchar_t* name) {
        VARIANT value;
        VariantInit(&value);
        const HRESULT hr = source->GetValue(name, 0, &value);
        if (FAILED(hr))
            return _variant_t(static_cast<long>(hr), VT_ERROR);
        return _variant_t(value, false);
    }
    _variant_t get(const wchar_t* name) { return get(context, name); }

    std::vector<std::wstring> names(IWbemContext* source) {
        SAFEARRAY* array = nullptr;
        EXPECT_EQ(WBEM_S_NO_ERROR, source->GetNames(0, &array));
        std::vector<std::wstring> result;
        if (!array)
            return result;
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(array, &vt);
        EXPECT_EQ(VT_BSTR, vt);
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        EXPECT_EQ(0, lower);
        for (LONG i = lower; i <= upper; ++i) {
            BSTR name = nullptr;
            SafeArrayGetElement(array, &i, &name);
            result.emplace_back(name ? name : L"");
            SysFreeString(name);
        }
        SafeArrayDestroy(array);
        return result;
    }
    std::vector<std::wstring> names() { return names(context); }

    ComScope com;
    IWbemContext* context = nullptr;
};

using Names = std::vector<std::wstring>;

long i4(const _variant_t& value) {
    return V_VT(&value) == VT_I4 ? V_I4(&value) : -1;
}

HRESULT errorOf(const _variant_t& value) {
    return V_VT(&value) == VT_ERROR ? V_ERROR(&value) : S_OK;
}

// Wine's IWbemContext implements SetValue and GetValue only; the tests of the rest run on Linux
// and Windows.
#define SKIP_WHERE_WINE_LACKS(what)                                                                \
    if (underWine())                                                                               \
    GTEST_SKIP() << "Wine's IWbemContext does not implement " what

} // namespace

TEST_F(WbemContextTest, StoresCopiesOfValuesUnderNamesIgnoringCase) {
    EXPECT_EQ(WBEM_S_NO_ERROR, set(L"LocalOnly", _variant_t(true)));
    EXPECT_EQ(WBEM_S_NO_ERROR, set(L"Depth", _variant_t(7L)));
    _bstr_t text(L"a text");
    EXPECT_EQ(WBEM_S_NO_ERROR, set(L"Label", _variant_t(text)));

    const _variant_t flag = get(L"LOCALONLY");
    EXPECT_EQ(VT_BOOL, V_VT(&flag));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&flag));
    EXPECT_EQ(7, i4(get(L"depth")));
    const _variant_t label = get(L"label");
    ASSERT_EQ(VT_BSTR, V_VT(&label));
    EXPECT_STREQ(L"a text", V_BSTR(&label));
    EXPECT_NE(static_cast<const wchar_t*>(text), V_BSTR(&label));

    // Setting a known name again changes only its value.
    EXPECT_EQ(WBEM_S_NO_ERROR, set(L"DEPTH", _variant_t(8L)));
    EXPECT_EQ(8, i4(get(L"Depth")));
}

TEST_F(WbemContextTest, AbsentNamesAreNotFoundAndLeaveTheOutputAlone) {
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), context->GetValue(L"Missing", 0, &value));
    EXPECT_EQ(VT_EMPTY, V_VT(&value));
    set(L"Present", _variant_t(1L));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), context->GetValue(L"Presen", 0, &value));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), context->GetValue(L"Present2", 0, &value));
    EXPECT_EQ(VT_EMPTY, V_VT(&value));
}

TEST_F(WbemContextTest, NamesKeepTheirOrderAndFirstSpelling) {
    SKIP_WHERE_WINE_LACKS("GetNames");
    EXPECT_EQ(Names{}, names());
    set(L"Zeta", _variant_t(1L));
    set(L"alpha", _variant_t(2L));
    set(L"Mid", _variant_t(3L));
    set(L"ZETA", _variant_t(4L));
    EXPECT_EQ((Names{L"Zeta", L"alpha", L"Mid"}), names());
}

TEST_F(WbemContextTest, DeletesOneValueOrAll) {
    SKIP_WHERE_WINE_LACKS("DeleteValue, DeleteAll and GetNames");
    set(L"One", _variant_t(1L));
    set(L"Two", _variant_t(2L));
    set(L"Three", _variant_t(3L));
    EXPECT_EQ(WBEM_S_NO_ERROR, context->DeleteValue(L"two", 0));
    EXPECT_EQ((Names{L"One", L"Three"}), names());
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), errorOf(get(L"Two")));
    EXPECT_EQ(WBEM_S_NO_ERROR, context->DeleteAll());
    EXPECT_EQ(Names{}, names());
    EXPECT_EQ(WBEM_S_NO_ERROR, set(L"One", _variant_t(5L)));
    EXPECT_EQ(5, i4(get(L"One")));
}

TEST_F(WbemContextTest, BadArgumentsAreRefusedAndChangeNothing) {
    SKIP_WHERE_WINE_LACKS("checks of its arguments");
    _variant_t one(1L);
    VARIANT* value = &one;
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->SetValue(nullptr, 0, value));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->SetValue(L"Name", 0, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->GetValue(nullptr, 0, value));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->GetValue(L"Name", 0, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->DeleteValue(nullptr, 0));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->Clone(nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->GetNames(0, nullptr));
    EXPECT_EQ(Names{}, names());
}

TEST_F(WbemContextTest, FlagsOtherThanZeroAreRefused) {
    SKIP_WHERE_WINE_LACKS("checks of the reserved flags");
    _variant_t one(1L);
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->SetValue(L"Name", 1, &one));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->GetValue(L"Name", 1, &one));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->DeleteValue(L"Name", 1));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->GetNames(1, &array));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->BeginEnumeration(1));
    EXPECT_EQ(Names{}, names());
}

TEST_F(WbemContextTest, CloneIsIndependent) {
    set(L"Shared", _variant_t(1L));
    IWbemContext* copy = nullptr;
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Clone(&copy));
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(context, copy);
    set(copy, L"OnlyInCopy", _variant_t(2L));
    set(L"Shared", _variant_t(3L));
    EXPECT_EQ(1, i4(get(copy, L"Shared")));
    EXPECT_EQ(2, i4(get(copy, L"OnlyInCopy")));
    EXPECT_EQ(3, i4(get(L"Shared")));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), errorOf(get(L"OnlyInCopy")));
    copy->Release();
}

TEST_F(WbemContextTest, EnumerationVisitsEveryValueOnce) {
    SKIP_WHERE_WINE_LACKS("the enumeration (BeginEnumeration, Next, EndEnumeration)");
    BSTR name = nullptr;
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(status(WBEM_E_UNEXPECTED), context->Next(0, &name, &value));
    set(L"First", _variant_t(1L));
    set(L"Second", _variant_t(2L));
    EXPECT_EQ(status(WBEM_E_UNEXPECTED), context->Next(0, &name, &value));

    ASSERT_EQ(WBEM_S_NO_ERROR, context->BeginEnumeration(0));
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Next(0, &name, &value));
    EXPECT_STREQ(L"First", name);
    EXPECT_EQ(1, V_I4(&value));
    SysFreeString(name);
    VariantClear(&value);
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Next(0, nullptr, &value));
    EXPECT_EQ(2, V_I4(&value));
    VariantClear(&value);
    name = nullptr;
    EXPECT_EQ(WBEM_S_NO_MORE_DATA, context->Next(0, &name, &value));
    EXPECT_EQ(WBEM_S_NO_MORE_DATA, context->Next(0, &name, &value));
    EXPECT_EQ(nullptr, name);

    // A new beginning starts over; the end of an enumeration ends it.
    ASSERT_EQ(WBEM_S_NO_ERROR, context->BeginEnumeration(0));
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Next(0, &name, nullptr));
    EXPECT_STREQ(L"First", name);
    SysFreeString(name);
    EXPECT_EQ(WBEM_S_NO_ERROR, context->EndEnumeration());
    EXPECT_EQ(status(WBEM_E_UNEXPECTED), context->Next(0, nullptr, &value));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), context->Next(1, nullptr, &value));
}

TEST_F(WbemContextTest, EnumerationGoesOnPastADeletedValue) {
    SKIP_WHERE_WINE_LACKS("the enumeration (BeginEnumeration, Next, EndEnumeration)");
    set(L"A", _variant_t(1L));
    set(L"B", _variant_t(2L));
    set(L"C", _variant_t(3L));
    ASSERT_EQ(WBEM_S_NO_ERROR, context->BeginEnumeration(0));
    BSTR name = nullptr;
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Next(0, &name, nullptr));
    SysFreeString(name);
    context->DeleteValue(L"A", 0);
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Next(0, &name, nullptr));
    EXPECT_STREQ(L"B", name);
    SysFreeString(name);
    context->EndEnumeration();
}

TEST_F(WbemContextTest, HoldsItsOwnReferenceOnObjectValues) {
    CountedObject object;
    {
        _variant_t value(static_cast<IUnknown*>(&object));
        EXPECT_EQ(2u, object.references);
        EXPECT_EQ(WBEM_S_NO_ERROR, set(L"Object", value));
        EXPECT_EQ(3u, object.references);
    }
    EXPECT_EQ(2u, object.references);
    // Replacing the value releases the object; releasing the context releases what it holds.
    set(L"Object", _variant_t(0L));
    EXPECT_EQ(1u, object.references);
    set(L"Object", _variant_t(static_cast<IUnknown*>(&object)));
    EXPECT_EQ(2u, object.references);
    context->Release();
    context = nullptr;
    EXPECT_EQ(1u, object.references);
}

TEST_F(WbemContextTest, ClonesAndDeletionsTakeAndReleaseObjectReferences) {
    SKIP_WHERE_WINE_LACKS("DeleteAll");
    CountedObject object;
    set(L"Object", _variant_t(static_cast<IUnknown*>(&object)));
    EXPECT_EQ(2u, object.references);
    IWbemContext* copy = nullptr;
    ASSERT_EQ(WBEM_S_NO_ERROR, context->Clone(&copy));
    EXPECT_EQ(3u, object.references);
    copy->Release();
    EXPECT_EQ(2u, object.references);
    context->DeleteAll();
    EXPECT_EQ(1u, object.references);
}

TEST_F(WbemContextTest, SharedBetweenThreads) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            const std::wstring mine = L"Thread" + std::to_wstring(t);
            for (int i = 0; i < kRounds; ++i) {
                EXPECT_EQ(WBEM_S_NO_ERROR, set(mine.c_str(), _variant_t(static_cast<long>(i))));
                EXPECT_EQ(i, i4(get(mine.c_str())));
                EXPECT_EQ(WBEM_S_NO_ERROR, set(L"Shared", _variant_t(static_cast<long>(t))));
                // Deleting and listing go on beside the others where they exist.
                if (!underWine() && i % 2 == 0) {
                    EXPECT_EQ(WBEM_S_NO_ERROR, context->DeleteValue(mine.c_str(), 0));
                    names();
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const long shared = i4(get(L"shared"));
    EXPECT_TRUE(shared >= 0 && shared < kThreads);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(kRounds - 1, i4(get((L"thread" + std::to_wstring(t)).c_str())));
}
