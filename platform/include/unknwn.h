// The root COM interface.
#pragma once

#include "guiddef.h"
#include "winerror.h"

#ifdef __cplusplus
ZP_EXTERN_C ZP_API const IID IID_IUnknown;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;
#endif
