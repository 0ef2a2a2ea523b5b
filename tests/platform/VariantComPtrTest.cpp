// The COM support classes `_variant_t` and `_com_ptr_t`, as Windows code uses them. On the
// Windows build these are the toolchain's own, so both hosts run the same expectations.
#include <windows.h>
#include <comdef.h>

#include <gtest/gtest.h>

#include <utility>

#include "TestObject.h"

_COM_SMARTPTR_TYPEDEF(IUnknown, __uuidof(IUnknown));
_COM_SMARTPTR_TYPEDEF(IErrorInfo, __uuidof(IErrorInfo));

namespace {
VARTYPE typeOf(const _variant_t& v) {
    return V_VT(&v);
}
} // namespace

TEST(VariantT, ConstructorsPickWindowsTypes) {
    EXPECT_EQ(typeOf(_variant_t()), VT_EMPTY);
    EXPECT_EQ(typeOf(_variant_t(short(2))), VT_I2);
    EXPECT_EQ(typeOf(_variant_t(3L)), VT_I4);
    EXPECT_EQ(typeOf(_variant_t(3)), VT_INT);
    EXPECT_EQ(typeOf(_variant_t(3UL)), VT_UI4);
    EXPECT_EQ(typeOf(_variant_t(1.5f)), VT_R4);
    EXPECT_EQ(typeOf(_variant_t(1.5)), VT_R8);
    EXPECT_EQ(typeOf(_variant_t(true)), VT_BOOL);
    EXPECT_EQ(V_BOOL(&static_cast<const VARIANT&>(_variant_t(true))), VARIANT_TRUE);
    EXPECT_EQ(typeOf(_variant_t(BYTE(7))), VT_UI1);
    EXPECT_EQ(typeOf(_variant_t(static_cast<__int64>(7))), VT_I8);
    EXPECT_EQ(typeOf(_variant_t(L"text")), VT_BSTR);
    EXPECT_EQ(typeOf(_variant_t(_bstr_t(L"text"))), VT_BSTR);
    EXPECT_EQ(typeOf(_variant_t(-1L, VT_BOOL)), VT_BOOL);
    EXPECT_THROW(_variant_t(short(1), VT_R8), _com_error);
}

TEST(VariantT, CopiesAreDeepAndExtractorsConvert) {
    _variant_t text(L"42");
    _variant_t copy(text);
    EXPECT_NE(V_BSTR(&copy), V_BSTR(&text));
    EXPECT_EQ(static_cast<long>(copy), 42L);
    EXPECT_EQ(V_VT(&copy), VT_BSTR); // extracting leaves the variant alone
    EXPECT_EQ(_bstr_t(_variant_t(-5L)), _bstr_t(L"-5"));
    EXPECT_TRUE(static_cast<bool>(_variant_t(L"True")));
    try {
        static_cast<long>(_variant_t(L"nope"));
        FAIL() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DISP_E_TYPEMISMATCH);
    }

    _variant_t v;
    v = 7L;
    EXPECT_EQ(V_VT(&v), VT_I4);
    v = L"x";
    EXPECT_EQ(V_VT(&v), VT_BSTR);
    v.ChangeType(VT_BSTR);
    v = _variant_t(L"12");
    v.ChangeType(VT_UI4);
    EXPECT_EQ(V_VT(&v), VT_UI4);
    EXPECT_EQ(V_UI4(&v), 12u);
    v.Clear();
    EXPECT_EQ(V_VT(&v), VT_EMPTY);
    EXPECT_TRUE(_variant_t(L"a") == _variant_t(L"a"));
    EXPECT_TRUE(_variant_t(L"a") != _variant_t(L"b"));
}

TEST(VariantT, InterfacesAndDetach) {
    CountedObject object;
    {
        _variant_t held(static_cast<IUnknown*>(&object));
        EXPECT_EQ(object.references, 2u);
        _variant_t copy = held;
        EXPECT_EQ(object.references, 3u);
        IUnknown* out = held; // the extractor hands out a reference of its own
        EXPECT_EQ(object.references, 4u);
        out->Release();
        VARIANT raw = copy.Detach();
        EXPECT_EQ(V_VT(&copy), VT_EMPTY);
        EXPECT_EQ(object.references, 3u);
        VariantClear(&raw);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(ComPtr, CountsReferences) {
    CountedObject object;
    {
        IUnknownPtr first(&object);
        EXPECT_EQ(object.references, 2u);
        IUnknownPtr second = first;
        EXPECT_EQ(object.references, 3u);
        EXPECT_TRUE(first == second);
        second = nullptr;
        EXPECT_EQ(object.references, 2u);
        EXPECT_FALSE(second);
        IUnknownPtr taken;
        taken.Attach(&object, true);
        EXPECT_EQ(object.references, 3u);
        IUnknown* detached = taken.Detach();
        EXPECT_EQ(object.references, 3u);
        detached->Release();
        // Asking for an interface the object lacks leaves null without raising.
        IErrorInfoPtr none(first);
        EXPECT_FALSE(none);
        EXPECT_EQ(object.references, 2u);
        IUnknown** slot = &first;
        EXPECT_EQ(*slot, nullptr);
        EXPECT_EQ(object.references, 1u);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(ComPtr, MoveAssignmentHandsOverTheReference) {
#ifdef __MINGW32__
    GTEST_SKIP() << "mingw's _com_ptr_t has no move operations: a moved pointer is copied";
#endif
    CountedObject object;
    {
        IUnknownPtr target;
        target = IUnknownPtr(&object); // a temporary: the move assignment, not a copy
        EXPECT_EQ(object.references, 2u);
        IUnknownPtr source(&object);
        target = std::move(source);
        EXPECT_EQ(object.references, 2u);
        EXPECT_FALSE(source);
        IUnknownPtr& self = target;
        target = std::move(self);
        EXPECT_EQ(object.references, 2u);
        EXPECT_TRUE(target);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(ComPtr, FromVariantQueriesTheInterface) {
    CountedObject object;
    {
        _variant_t held(static_cast<IUnknown*>(&object));
        IUnknownPtr fromVariant(held);
        EXPECT_EQ(fromVariant.GetInterfacePtr(), static_cast<IUnknown*>(&object));
        EXPECT_EQ(object.references, 3u);
    }
    EXPECT_EQ(object.references, 1u);
}
