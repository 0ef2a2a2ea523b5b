// The WMI path parser: IWbemPath and IWbemPathKeyList, served by the class WbemDefPath, with the
// names, values, identifiers and method order of the Windows SDK (a method's place in its
// interface is part of the binary contract).
#pragma once

#include "objbase.h"
#include "oleauto.h"

// What IWbemPath::GetInfo and IWbemPathKeyList::GetInfo report about a path.
typedef enum tag_WBEM_PATH_STATUS_FLAG {
    WBEMPATH_INFO_ANON_LOCAL_MACHINE = 0x1,
    WBEMPATH_INFO_HAS_MACHINE_NAME = 0x2,
    WBEMPATH_INFO_IS_CLASS_REF = 0x4,
    WBEMPATH_INFO_IS_INST_REF = 0x8,
    WBEMPATH_INFO_HAS_SUBSCOPES = 0x10,
    WBEMPATH_INFO_IS_COMPOUND = 0x20,
    WBEMPATH_INFO_HAS_V2_REF_PATHS = 0x40,
    WBEMPATH_INFO_HAS_IMPLIED_KEY = 0x80,
    WBEMPATH_INFO_CONTAINS_SINGLETON = 0x100,
    WBEMPATH_INFO_V1_COMPLIANT = 0x200,
    WBEMPATH_INFO_V2_COMPLIANT = 0x400,
    WBEMPATH_INFO_CIM_COMPLIANT = 0x800,
    WBEMPATH_INFO_IS_SINGLETON = 0x1000,
    WBEMPATH_INFO_IS_PARENT = 0x2000,
    WBEMPATH_INFO_SERVER_NAMESPACE_ONLY = 0x4000,
    WBEMPATH_INFO_NATIVE_PATH = 0x8000,
    WBEMPATH_INFO_WMI_PATH = 0x10000,
    WBEMPATH_INFO_PATH_HAD_SERVER = 0x20000
} tag_WBEM_PATH_STATUS_FLAG;

// The modes of IWbemPath::SetText.
typedef enum tag_WBEM_PATH_CREATE_FLAG {
    WBEMPATH_CREATE_ACCEPT_RELATIVE = 0x1,
    WBEMPATH_CREATE_ACCEPT_ABSOLUTE = 0x2,
    WBEMPATH_CREATE_ACCEPT_ALL = 0x4,
    WBEMPATH_TREAT_SINGLE_IDENT_AS_NS = 0x8
} tag_WBEM_PATH_CREATE_FLAG;

// The forms of IWbemPath::GetText.
typedef enum tag_WBEM_GET_TEXT_FLAGS {
    WBEMPATH_COMPRESSED = 0x1,
    WBEMPATH_GET_RELATIVE_ONLY = 0x2,
    WBEMPATH_GET_SERVER_TOO = 0x4,
    WBEMPATH_GET_SERVER_AND_NAMESPACE_ONLY = 0x8,
    WBEMPATH_GET_NAMESPACE_ONLY = 0x10,
    WBEMPATH_GET_ORIGINAL = 0x20
} tag_WBEM_GET_TEXT_FLAGS;

// The forms of a key value (IWbemPathKeyList::GetKey and GetText).
typedef enum tag_WBEM_GET_KEY_FLAGS {
    WBEMPATH_TEXT = 0x1,
    WBEMPATH_QUOTEDTEXT = 0x2
} tag_WBEM_GET_KEY_FLAGS;

#ifdef __cplusplus
struct IWbemPathKeyList;
struct IWbemPath;

ZP_EXTERN_C ZP_API const CLSID CLSID_WbemDefPath;
ZP_EXTERN_C ZP_API const IID IID_IWbemPathKeyList;
ZP_EXTERN_C ZP_API const IID IID_IWbemPath;

struct IWbemPathKeyList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* puKeyCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetKey(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                             LPVOID pKeyVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetKey2(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                              VARIANT* pKeyVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKey(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                             LPWSTR pszKeyName, ULONG* puKeyValBufSize,
                                             LPVOID pKeyVal, ULONG* puApparentCimType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                              LPWSTR pszKeyName, VARIANT* pKeyValue,
                                              ULONG* puApparentCimType) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveKey(LPCWSTR wszName, ULONG uFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllKeys(ULONG uFlags) = 0;
    // MIDL's one-byte `boolean`, spelled out: the name belongs to rpcndr.h, which this platform
    // does not have.
    virtual HRESULT STDMETHODCALLTYPE MakeSingleton(unsigned char bSet) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) = 0;
};
__CRT_UUID_DECL(IWbemPathKeyList, 0x9ae62877, 0x7544, 0x4bb0, 0xaa, 0x26, 0xa1, 0x38, 0x24, 0x65,
                0x9e, 0xd6)

struct IWbemPath : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetText(ULONG uMode, LPCWSTR pszPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetServer(LPCWSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetServer(ULONG* puNameBufLength, LPWSTR pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNamespaceCount(ULONG* puCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNamespaceAt(ULONG uIndex, LPCWSTR pszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNamespaceAt(ULONG uIndex, ULONG* puNameBufLength,
                                                     LPWSTR pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveNamespaceAt(ULONG uIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllNamespaces() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScopeCount(ULONG* puCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScope(ULONG uIndex, LPWSTR pszClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScopeFromText(ULONG uIndex, LPWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScope(ULONG uIndex, ULONG* puClassNameBufSize,
                                               LPWSTR pszClass, IWbemPathKeyList** pKeyList) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScopeAsText(ULONG uIndex, ULONG* puTextBufSize,
                                                     LPWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveScope(ULONG uIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllScopes() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClassName(LPCWSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassName(ULONG* puBuffLength, LPWSTR pszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKeyList(IWbemPathKeyList** pOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateClassPart(LONG lFlags, LPCWSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteClassPart(LONG lFlags) = 0;
    virtual BOOL STDMETHODCALLTYPE IsRelative(LPWSTR wszMachine, LPWSTR wszNamespace) = 0;
    virtual BOOL STDMETHODCALLTYPE IsRelativeOrChild(LPWSTR wszMachine, LPWSTR wszNamespace,
                                                     LONG lFlags) = 0;
    virtual BOOL STDMETHODCALLTYPE IsLocal(LPCWSTR wszMachine) = 0;
    virtual BOOL STDMETHODCALLTYPE IsSameClassName(LPCWSTR wszClass) = 0;
};
__CRT_UUID_DECL(IWbemPath, 0x3bc15af2, 0x736c, 0x477e, 0x9e, 0x51, 0x23, 0x8a, 0xf8, 0x66, 0x7d,
                0xcc)
#endif
