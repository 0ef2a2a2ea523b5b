// WmiContext over the platform's call context, and over a context whose calls fail.
#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <objbase.h>

#include <functional>
#include <string>
#include <thread>

#include "support/Host.h"

using namespace DEZE;
using testing_support::underWine;

namespace {

constexpr HRESULT status(long code) {
    return static_cast<HRESULT>(code);
}

// Runs `body` and gives the WmiException it raised (code, message); fails when none is raised.
std::pair<long, std::wstring> raised(const std::function<void()>& body) {
    try {
        body();
    } catch (const WmiException& e) {
        return {e.getCode(), std::wstring(static_cast<const wchar_t*>(e.getMessage()))};
    }
    ADD_FAILURE() << "no WmiException";
    return {0, L""};
}

using Raised = std::pair<long, std::wstring>;

void skipWithoutEnumeration() {
    if (underWine())
        GTEST_SKIP() << "Wine's IWbemContext does not implement the enumeration "
                        "(BeginEnumeration, Next, EndEnumeration)";
}

_variant_t booleanVariant(VARIANT_BOOL value) {
    _variant_t result;
    V_VT(&result) = VT_BOOL;
    V_BOOL(&result) = value;
    return result;
}

class WmiContextTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { CoUninitialize(); }

    // The platform value under `name`, straight from the context.
    static _variant_t raw(const WmiContext& context, const wchar_t* name) {
        _variant_t value;
        context.getContext()->GetValue(name, 0, &value);
        return value;
    }
};

// An IWbemContext whose every call fails with one status, and which counts its references.
class FailingContext : public IWbemContext {
public:
    explicit FailingContext(HRESULT failure) : m_failure(failure) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IWbemContext) {
            *object = static_cast<IWbemContext*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE Clone(IWbemContext**) override { return m_failure; }
    HRESULT STDMETHODCALLTYPE GetNames(LONG, SAFEARRAY**) override { return m_failure; }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return beginResult; }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*) override { return m_failure; }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override {
        ++ends;
        return endResult;
    }
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR, LONG, VARIANT*) override { return m_failure; }
    HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR, LONG, VARIANT*) override { return m_failure; }
    HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR, LONG) override { return m_failure; }
    HRESULT STDMETHODCALLTYPE DeleteAll() override { return m_failure; }

    ULONG references = 1;
    HRESULT beginResult = S_OK;
    HRESULT endResult = S_OK;
    int ends = 0;

private:
    HRESULT m_failure;
};

} // namespace

TEST_F(WmiContextTest, FreshContextReadsFalseAndHoldsNothing) {
    WmiContext context;
    ASSERT_TRUE(context.getContext());
    EXPECT_FALSE(context.getLocalOnly());
    EXPECT_FALSE(context.getIncludeQualifiers());
    EXPECT_FALSE(context.getIncludeClassOrigin());
    EXPECT_FALSE(context.getExcludeSystemProperties());
    EXPECT_EQ(0u, context.getPropertyCount());
}

TEST_F(WmiContextTest, OptionsAreBooleansUnderTheirFixedNames) {
    WmiContext context;
    context.setLocalOnly(true);
    context.setIncludeQualifiers(false);
    context.setIncludeClassOrigin(true);
    context.setExcludeSystemProperties(true);
    EXPECT_TRUE(context.getLocalOnly());
    EXPECT_FALSE(context.getIncludeQualifiers());
    EXPECT_TRUE(context.getIncludeClassOrigin());
    EXPECT_TRUE(context.getExcludeSystemProperties());
    EXPECT_EQ(4u, context.getPropertyCount());

    for (const wchar_t* name :
         {L"LocalOnly", L"ClassOrigin", L"ExcludeSystemProperties", L"IncludeQualifiers"}) {
        const _variant_t value = raw(context, name);
        ASSERT_EQ(VT_BOOL, V_VT(&value)) << name;
        EXPECT_EQ(std::wstring(name) == L"IncludeQualifiers" ? VARIANT_FALSE : VARIANT_TRUE,
                  V_BOOL(&value))
            << name;
    }
    // The class-origin option has no value of its operations' name.
    const WmiProperty origin = context.getProperty(_bstr_t(L"ClassOrigin"));
    EXPECT_STREQ(L"ClassOrigin", static_cast<const wchar_t*>(origin.getName()));
    EXPECT_EQ(static_cast<long>(CIM_BOOLEAN), origin.getType());
    EXPECT_EQ(Raised(status(WBEM_E_NOT_FOUND), L"IWbemClassObject::Get() failed"),
              raised([&] { context.getProperty(_bstr_t(L"IncludeClassOrigin")); }));

    context.setLocalOnly(false);
    EXPECT_FALSE(context.getLocalOnly());
    EXPECT_EQ(4u, context.getPropertyCount());
}

TEST_F(WmiContextTest, OptionsReadOtherTypesAsBooleans) {
    WmiContext context;
    context.setProperty(WmiProperty(L"LocalOnly", booleanVariant(1), CIM_BOOLEAN, nullptr));
    EXPECT_TRUE(context.getLocalOnly());
    context.setProperty(WmiProperty(L"LocalOnly", _variant_t(0L), CIM_SINT32, nullptr));
    EXPECT_FALSE(context.getLocalOnly());
    context.setProperty(WmiProperty(L"LocalOnly", _variant_t(5L), CIM_SINT32, nullptr));
    EXPECT_TRUE(context.getLocalOnly());
    context.setProperty(WmiProperty(L"LocalOnly", _variant_t(L"no boolean"), CIM_STRING, nullptr));
    try {
        context.getLocalOnly();
        ADD_FAILURE() << "no _com_error";
    } catch (const _com_error& e) {
        EXPECT_EQ(DISP_E_TYPEMISMATCH, e.Error());
    }
}

TEST_F(WmiContextTest, CopiesShareOnePlatformContext) {
    WmiContext original;
    const WmiContext copy(original);
    WmiContext assigned;
    assigned = original;
    original.setIncludeQualifiers(true);
    EXPECT_TRUE(copy.getIncludeQualifiers());
    EXPECT_TRUE(assigned.getIncludeQualifiers());
    EXPECT_EQ(original.getContext(), assigned.getContext());
    assigned = assigned;
    EXPECT_TRUE(assigned.getIncludeQualifiers());
    EXPECT_FALSE(WmiContext().getIncludeQualifiers());
}

TEST_F(WmiContextTest, PropertiesByNameCarryTheValuesOwnType) {
    WmiContext context;
    context.setProperty(WmiProperty(L"Depth", _variant_t(7L), CIM_UINT32, nullptr));
    context.setProperty(WmiProperty(L"Label", _variant_t(L"x"), CIM_DATETIME, nullptr));
    const WmiProperty depth = context.getProperty(_bstr_t(L"DEPTH"));
    EXPECT_STREQ(L"DEPTH", static_cast<const wchar_t*>(depth.getName()));
    EXPECT_EQ(static_cast<long>(CIM_SINT32), depth.getType());
    const _variant_t depthValue = depth.getValue();
    EXPECT_EQ(7, V_I4(&depthValue));
    EXPECT_EQ(static_cast<long>(CIM_STRING), context.getProperty(_bstr_t(L"Label")).getType());
    EXPECT_EQ(0u, depth.getQualifierCount());
    EXPECT_EQ(2u, context.getPropertyCount());
    EXPECT_EQ(Raised(status(WBEM_E_NOT_FOUND), L"IWbemClassObject::Get() failed"),
              raised([&] { context.getProperty(_bstr_t(L"Never")); }));
}

TEST_F(WmiContextTest, PropertiesByPositionFollowTheEnumeration) {
    skipWithoutEnumeration();
    WmiContext context;
    EXPECT_EQ(Raised(WBEM_S_NO_MORE_DATA, L"Index out of bounds"),
              raised([&] { context.getProperty(0ul); }));
    context.setLocalOnly(true);
    context.setProperty(WmiProperty(L"Second", _variant_t(2L), CIM_SINT32, nullptr));
    const WmiProperty first = context.getProperty(0ul);
    EXPECT_STREQ(L"LocalOnly", static_cast<const wchar_t*>(first.getName()));
    EXPECT_EQ(static_cast<long>(CIM_BOOLEAN), first.getType());
    const _variant_t firstValue = first.getValue();
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&firstValue));
    EXPECT_STREQ(L"Second", static_cast<const wchar_t*>(context.getProperty(1ul).getName()));
    EXPECT_EQ(Raised(WBEM_S_NO_MORE_DATA, L"Index out of bounds"),
              raised([&] { context.getProperty(2ul); }));
    EXPECT_EQ(Raised(WBEM_S_NO_MORE_DATA, L"Index out of bounds"),
              raised([&] { context.getProperty(1000ul); }));
    // Every lookup ended its enumeration, failed ones included.
    EXPECT_EQ(status(WBEM_E_UNEXPECTED), context.getContext()->Next(0, nullptr, nullptr));
}

TEST_F(WmiContextTest, PropertyListIsACopyOfTheStringArray) {
    WmiContext context;
    WmiArray empty = context.getPropertyList();
    EXPECT_EQ(static_cast<long>(CIM_STRING), empty.getType());
    EXPECT_EQ(0u, empty.getElementCount());

    WmiArray names(nullptr, CIM_STRING);
    names.addElement(_variant_t(L"Name"));
    names.addElement(_variant_t(L"Size"));
    _variant_t list;
    V_VT(&list) = VT_ARRAY | VT_BSTR;
    SafeArrayCopy(names, &V_ARRAY(&list));
    ASSERT_EQ(WBEM_S_NO_ERROR, context.getContext()->SetValue(L"__PUT_EXT_PROPERTIES", 0, &list));

    WmiArray read = context.getPropertyList();
    EXPECT_STREQ(L"Name, Size", static_cast<const wchar_t*>(read.toString()));
    read.addElement(_variant_t(L"Extra"));
    EXPECT_EQ(2u, context.getPropertyList().getElementCount());

    // Setting a list leaves the context as it was.
    context.setPropertyList(read);
    EXPECT_EQ(2u, context.getPropertyList().getElementCount());
    EXPECT_EQ(1u, context.getPropertyCount());

    // What is not an array of strings is no list.
    _variant_t notAList(3L);
    context.getContext()->SetValue(L"__PUT_EXT_PROPERTIES", 0, &notAList);
    EXPECT_EQ(0u, context.getPropertyList().getElementCount());
}

TEST_F(WmiContextTest, NullContextHoldsNothingAndRefusesValueAccess) {
    WmiContext context{IWbemContextPtr()};
    EXPECT_FALSE(context.getContext());
    context.setLocalOnly(true);
    EXPECT_FALSE(context.getLocalOnly());
    EXPECT_EQ(0u, context.getPropertyCount());
    EXPECT_EQ(0u, context.getPropertyList().getElementCount());
    const Raised outOfBounds(E_FAIL, L"Index out of bounds");
    EXPECT_EQ(outOfBounds, raised([&] { context.getProperty(0ul); }));
    EXPECT_EQ(outOfBounds, raised([&] { context.getProperty(_bstr_t(L"LocalOnly")); }));
    EXPECT_EQ(outOfBounds, raised([&] {
                  context.setProperty(WmiProperty(L"A", _variant_t(1L), CIM_SINT32, nullptr));
              }));
}

TEST_F(WmiContextTest, PlatformFailuresNameTheFailedCall) {
    FailingContext failing(status(WBEM_E_OUT_OF_MEMORY));
    {
        WmiContext context{IWbemContextPtr(&failing)};
        EXPECT_EQ(2u, failing.references);
        const long code = status(WBEM_E_OUT_OF_MEMORY);
        EXPECT_EQ(Raised(code, L"IWbemClassObject::GetNames() failed"),
                  raised([&] { context.getPropertyCount(); }));
        EXPECT_EQ(Raised(code, L"IWbemClassObject::Get() failed"),
                  raised([&] { context.getProperty(_bstr_t(L"A")); }));
        EXPECT_EQ(Raised(code, L"IWbemClassObject::Put() failed"), raised([&] {
                      context.setProperty(WmiProperty(L"A", _variant_t(1L), CIM_SINT32, nullptr));
                  }));
        // Skipping meets the failure first; fetching meets it at position 0.
        EXPECT_EQ(Raised(code, L"IWbemClassObject::Next() failed"),
                  raised([&] { context.getProperty(3ul); }));
        EXPECT_EQ(Raised(code, L"Index out of bounds"), raised([&] { context.getProperty(0ul); }));
        EXPECT_EQ(2, failing.ends);
        failing.beginResult = status(WBEM_E_FAILED);
        EXPECT_EQ(Raised(status(WBEM_E_FAILED), L"IWbemClassObject::BeginEnumeration() failed"),
                  raised([&] { context.getProperty(0ul); }));
        EXPECT_EQ(2, failing.ends);
        // Option writes report nothing; option reads see an empty value.
        context.setExcludeSystemProperties(true);
        EXPECT_FALSE(context.getExcludeSystemProperties());
    }
    EXPECT_EQ(1u, failing.references);
}

TEST_F(WmiContextTest, FailingEndOfEnumerationIsReported) {
    skipWithoutEnumeration();
    // A real context to fetch from, wrapped so that its end of enumeration fails.
    class EndFails : public FailingContext {
    public:
        explicit EndFails(IWbemContext* inner) : FailingContext(S_OK), m_inner(inner) {}
        HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override {
            return m_inner->BeginEnumeration(flags);
        }
        HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value) override {
            return m_inner->Next(flags, name, value);
        }
        HRESULT STDMETHODCALLTYPE EndEnumeration() override {
            m_inner->EndEnumeration();
            return status(WBEM_E_CRITICAL_ERROR);
        }

    private:
        IWbemContext* m_inner;
    };
    WmiContext real;
    real.setLocalOnly(true);
    EndFails wrapper(real.getContext());
    WmiContext context{IWbemContextPtr(&wrapper)};
    EXPECT_EQ(Raised(status(WBEM_E_CRITICAL_ERROR), L"IWbemClassObject::EndEnumeration() failed"),
              raised([&] { context.getProperty(0ul); }));
}

TEST(WmiContext, CreationWithoutComRaisesTheCreationStatus) {
    std::thread([] {
        try {
            WmiContext context;
            ADD_FAILURE() << "no _com_error";
        } catch (const _com_error& e) {
            EXPECT_EQ(CO_E_NOTINITIALIZED, e.Error());
        }
    }).join();
}
