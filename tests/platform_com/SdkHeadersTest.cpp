// The SDK declarations the library compiles against: identifiers and constants with Windows'
// values, whichever headers the host provides.
#include "ComTesting.h"

#include <string>

namespace {

std::wstring textOf(REFGUID guid) {
    wchar_t text[39] = {};
    return StringFromGUID2(guid, text, 39) == 39 ? std::wstring(text) : std::wstring();
}

constexpr uint32_t bits(long long value) {
    return static_cast<uint32_t>(value);
}

} // namespace

TEST(SdkHeaders, InterfaceAndClassIdentifiers) {
    EXPECT_EQ(L"{DC12A687-737F-11CF-884D-00AA004B2E24}", textOf(IID_IWbemLocator));
    EXPECT_EQ(L"{9556DC99-828C-11CF-A37E-00AA003240C7}", textOf(IID_IWbemServices));
    EXPECT_EQ(L"{DC12A681-737F-11CF-884D-00AA004B2E24}", textOf(IID_IWbemClassObject));
    EXPECT_EQ(L"{DC12A680-737F-11CF-884D-00AA004B2E24}", textOf(IID_IWbemQualifierSet));
    EXPECT_EQ(L"{44ACA674-E8FC-11D0-A07C-00C04FB68820}", textOf(IID_IWbemContext));
    EXPECT_EQ(L"{027947E1-D731-11CE-A357-000000000001}", textOf(IID_IEnumWbemClassObject));
    EXPECT_EQ(L"{7C857801-7381-11CF-884D-00AA004B2E24}", textOf(IID_IWbemObjectSink));
    EXPECT_EQ(L"{44ACA675-E8FC-11D0-A07C-00C04FB68820}", textOf(IID_IWbemCallResult));
    EXPECT_EQ(L"{BFBF883A-CAD7-11D3-A11B-00105A1F515A}", textOf(IID_IWbemObjectTextSrc));
    EXPECT_EQ(L"{4590F811-1D3A-11D0-891F-00AA004B2E24}", textOf(CLSID_WbemLocator));
    EXPECT_EQ(L"{674B6698-EE92-11D0-AD71-00C04FD8FDFF}", textOf(CLSID_WbemContext));
    EXPECT_EQ(L"{8D1C559D-84F0-4BB3-A7D5-56A7435A9BA6}", textOf(CLSID_WbemObjectTextSrc));
    // __uuidof gives the same identifiers as the named constants.
    EXPECT_TRUE(IsEqualGUID(IID_IWbemServices, __uuidof(IWbemServices)));
    EXPECT_TRUE(IsEqualGUID(IID_IWbemContext, __uuidof(IWbemContext*)));
    EXPECT_TRUE(IsEqualGUID(CLSID_WbemLocator, __uuidof(WbemLocator)));
    EXPECT_TRUE(IsEqualGUID(CLSID_WbemContext, __uuidof(WbemContext)));
}

TEST(SdkHeaders, ConstantsHaveWindowsValues) {
    static_assert(CIM_SINT32 == 3 && CIM_STRING == 8 && CIM_BOOLEAN == 11 && CIM_OBJECT == 13,
                  "CIM types");
    static_assert(CIM_SINT8 == 16 && CIM_UINT64 == 21 && CIM_DATETIME == 101 &&
                      CIM_REFERENCE == 102 && CIM_CHAR16 == 103 && CIM_ILLEGAL == 0xFFF &&
                      CIM_FLAG_ARRAY == 0x2000,
                  "CIM types");
    static_assert(bits(WBEM_E_NOT_FOUND) == 0x80041002u &&
                      bits(WBEM_E_INVALID_PARAMETER) == 0x80041008u &&
                      bits(WBEM_E_UNEXPECTED) == 0x8004101Du &&
                      bits(WBEM_E_BUFFER_TOO_SMALL) == 0x8004103Cu &&
                      bits(WBEM_E_INVALID_OBJECT_PATH) == 0x8004103Au &&
                      WBEM_S_NO_MORE_DATA == 0x40005 && WBEM_S_FALSE == 1,
                  "WMI status codes");
    static_assert(WBEM_FLAG_RETURN_IMMEDIATELY == 0x10 && WBEM_FLAG_FORWARD_ONLY == 0x20 &&
                      WBEM_FLAG_USE_AMENDED_QUALIFIERS == 0x20000 && WBEM_FLAG_SHALLOW == 1 &&
                      WBEM_FLAG_LOCAL_ONLY == 0x10 && WBEM_FLAG_NONSYSTEM_ONLY == 0x40 &&
                      WBEM_FLAG_CREATE_ONLY == 2 && WBEM_FLAG_UPDATE_ONLY == 1 &&
                      WBEM_FLAG_NO_FLAVORS == 1 && WBEM_FLAG_IGNORE_CASE == 0x10,
                  "WMI flags");
    static_assert(WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE == 1 &&
                      WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS == 2 &&
                      WBEM_FLAVOR_NOT_OVERRIDABLE == 0x10 &&
                      WBEM_FLAVOR_ORIGIN_PROPAGATED == 0x20 && WBEM_FLAVOR_AMENDED == 0x80,
                  "flavors");
    static_assert(WBEM_GENUS_CLASS == 1 && WBEM_GENUS_INSTANCE == 2 && WBEM_NO_WAIT == 0 &&
                      bits(WBEM_INFINITE) == 0xFFFFFFFFu && WBEM_STATUS_COMPLETE == 0 &&
                      WMI_OBJ_TEXT_CIM_DTD_2_0 == 1 && WMI_OBJ_TEXT_WMI_DTD_2_0 == 2,
                  "WMI enumerations");
    static_assert(
        CLSCTX_INPROC_SERVER == 1 && COINIT_MULTITHREADED == 0 && COINIT_APARTMENTTHREADED == 2 &&
            RPC_C_AUTHN_WINNT == 10 && RPC_C_AUTHZ_NONE == 0 && RPC_C_AUTHN_LEVEL_CALL == 3 &&
            RPC_C_AUTHN_LEVEL_CONNECT == 2 && RPC_C_IMP_LEVEL_IMPERSONATE == 3 && EOAC_NONE == 0,
        "COM security");
    SUCCEED();
}
