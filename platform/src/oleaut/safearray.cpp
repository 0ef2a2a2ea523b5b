// One-dimensional SAFEARRAYs.
//
// A descriptor is preceded by 16 bytes that hold, as on Windows, an interface identifier or, in
// the last four bytes, the element VARTYPE. The elements live in their own block so that a
// resize can move them. Strings are copied in and out, interfaces referenced, VARIANTs copied.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kPrefix = 16;

ULONG elementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_BOOL:
    case VT_I2:
    case VT_UI2:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
        return 4;
    case VT_R8:
    case VT_I8:
    case VT_UI8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_INT_PTR:
    case VT_UINT_PTR:
        return sizeof(UINT_PTR);
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(IUnknown*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    default:
        return 0;
    }
}

USHORT typeFeatures(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR:
        return FADF_BSTR;
    case VT_UNKNOWN:
        return FADF_UNKNOWN;
    case VT_DISPATCH:
        return FADF_DISPATCH;
    case VT_VARIANT:
        return FADF_VARIANT;
    default:
        return 0;
    }
}

VARTYPE& storedType(SAFEARRAY* array) {
    return *reinterpret_cast<VARTYPE*>(reinterpret_cast<char*>(array) - sizeof(DWORD));
}

SAFEARRAY* allocateDescriptor() {
    char* block = static_cast<char*>(calloc(1, kPrefix + sizeof(SAFEARRAY)));
    return block ? reinterpret_cast<SAFEARRAY*>(block + kPrefix) : nullptr;
}

void freeDescriptor(SAFEARRAY* array) {
    free(reinterpret_cast<char*>(array) - kPrefix);
}

// Releases what elements [first, first + count) own and zeroes them.
void releaseElements(SAFEARRAY* array, ULONG first, ULONG count) {
    char* data = static_cast<char*>(array->pvData);
    if (!data)
        return;
    for (ULONG i = first; i < first + count; ++i) {
        void* cell = data + size_t(i) * array->cbElements;
        if (array->fFeatures & FADF_BSTR) {
            SysFreeString(*static_cast<BSTR*>(cell));
        } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            IUnknown* object = *static_cast<IUnknown**>(cell);
            if (object)
                object->Release();
        } else if (array->fFeatures & FADF_VARIANT) {
            VariantClear(static_cast<VARIANT*>(cell));
        }
    }
    memset(data + size_t(first) * array->cbElements, 0, size_t(count) * array->cbElements);
}

// The address of the element at `index`, or null when it lies outside the bounds.
void* cellAt(SAFEARRAY* array, LONG index) {
    const SAFEARRAYBOUND& bound = array->rgsabound[0];
    const int64_t offset = int64_t(index) - int64_t(bound.lLbound);
    if (offset < 0 || offset >= int64_t(bound.cElements))
        return nullptr;
    return static_cast<char*>(array->pvData) + size_t(offset) * array->cbElements;
}

} // namespace

ZP_EXTERN_C SAFEARRAY* WINAPI SafeArrayCreateVectorEx(VARTYPE vt, LONG lowerBound, ULONG elements,
                                                      PVOID extra) {
    const ULONG size = elementSize(vt);
    if (!size)
        return nullptr;
    if (uint64_t(size) * elements > uint64_t(INT32_MAX))
        return nullptr;
    SAFEARRAY* array = allocateDescriptor();
    if (!array)
        return nullptr;
    array->cDims = 1;
    array->fFeatures = USHORT(FADF_HAVEVARTYPE | typeFeatures(vt));
    array->cbElements = size;
    array->rgsabound[0].cElements = elements;
    array->rgsabound[0].lLbound = lowerBound;
    storedType(array) = vt;
    if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && extra) {
        // The interface identifier takes the place of the VARTYPE.
        memcpy(reinterpret_cast<char*>(array) - sizeof(IID), extra, sizeof(IID));
        array->fFeatures = USHORT((array->fFeatures & ~FADF_HAVEVARTYPE) | FADF_HAVEIID);
    }
    array->pvData = calloc(elements ? elements : 1, size);
    if (!array->pvData) {
        freeDescriptor(array);
        return nullptr;
    }
    return array;
}

ZP_EXTERN_C SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    return SafeArrayCreateVectorEx(vt, lowerBound, elements, nullptr);
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
    if (!array || !vt)
        return E_INVALIDARG;
    if (array->fFeatures & FADF_HAVEVARTYPE)
        *vt = storedType(array);
    else if (array->fFeatures & FADF_BSTR)
        *vt = VT_BSTR;
    else if (array->fFeatures & FADF_UNKNOWN)
        *vt = VT_UNKNOWN;
    else if (array->fFeatures & FADF_DISPATCH)
        *vt = VT_DISPATCH;
    else if (array->fFeatures & FADF_VARIANT)
        *vt = VT_VARIANT;
    else
        return E_INVALIDARG;
    return S_OK;
}

ZP_EXTERN_C UINT WINAPI SafeArrayGetDim(SAFEARRAY* array) {
    return array ? array->cDims : 0;
}

ZP_EXTERN_C UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array) {
    return array ? array->cbElements : 0;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound) {
    if (!array || !lowerBound)
        return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims)
        return DISP_E_BADINDEX;
    *lowerBound = array->rgsabound[0].lLbound;
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound) {
    if (!array || !upperBound)
        return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = array->rgsabound[0];
    *upperBound = LONG(int64_t(bound.lLbound) + int64_t(bound.cElements) - 1);
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayLock(SAFEARRAY* array) {
    if (!array)
        return E_INVALIDARG;
    if (__atomic_add_fetch(&array->cLocks, 1, __ATOMIC_ACQ_REL) > 0xFFFF) {
        __atomic_sub_fetch(&array->cLocks, 1, __ATOMIC_ACQ_REL);
        return E_UNEXPECTED;
    }
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* array) {
    if (!array)
        return E_INVALIDARG;
    ULONG locks = __atomic_load_n(&array->cLocks, __ATOMIC_ACQUIRE);
    do {
        if (locks == 0)
            return E_UNEXPECTED;
    } while (!__atomic_compare_exchange_n(&array->cLocks, &locks, locks - 1, false,
                                          __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE));
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (!array || !data)
        return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(array);
    *data = SUCCEEDED(hr) ? array->pvData : nullptr;
    return hr;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array) {
    return SafeArrayUnlock(array);
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element) {
    if (!array || !indices || !element)
        return E_INVALIDARG;
    if (array->cDims != 1)
        return DISP_E_BADINDEX;
    void* cell = cellAt(array, indices[0]);
    if (!cell)
        return DISP_E_BADINDEX;
    if (array->fFeatures & FADF_VARIANT) {
        VARIANT* target = static_cast<VARIANT*>(element);
        VariantInit(target);
        return VariantCopy(target, static_cast<VARIANT*>(cell));
    }
    if (array->fFeatures & FADF_BSTR) {
        const BSTR text = *static_cast<BSTR*>(cell);
        BSTR copy = nullptr;
        if (text) {
            copy =
                SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(element) = copy;
        return S_OK;
    }
    if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* object = *static_cast<IUnknown**>(cell);
        if (object)
            object->AddRef();
        *static_cast<IUnknown**>(element) = object;
        return S_OK;
    }
    memcpy(element, cell, array->cbElements);
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* element) {
    if (!array || !indices)
        return E_INVALIDARG;
    if (array->cDims != 1)
        return DISP_E_BADINDEX;
    void* cell = cellAt(array, indices[0]);
    if (!cell)
        return DISP_E_BADINDEX;
    if (array->fFeatures & FADF_VARIANT) {
        if (!element)
            return E_INVALIDARG;
        return VariantCopy(static_cast<VARIANT*>(cell), static_cast<VARIANT*>(element));
    }
    if (array->fFeatures & FADF_BSTR) {
        // The element is the BSTR itself; the array keeps its own copy.
        const BSTR text = static_cast<BSTR>(element);
        BSTR copy = nullptr;
        if (text) {
            copy =
                SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        BSTR* slot = static_cast<BSTR*>(cell);
        SysFreeString(*slot);
        *slot = copy;
        return S_OK;
    }
    if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        // The element is the interface pointer itself; the array takes its own reference.
        IUnknown* object = static_cast<IUnknown*>(element);
        if (object)
            object->AddRef();
        IUnknown** slot = static_cast<IUnknown**>(cell);
        if (*slot)
            (*slot)->Release();
        *slot = object;
        return S_OK;
    }
    if (!element)
        return E_INVALIDARG;
    memcpy(cell, element, array->cbElements);
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array) {
    if (!array)
        return S_OK;
    if (array->cLocks)
        return DISP_E_ARRAYISLOCKED;
    releaseElements(array, 0, array->rgsabound[0].cElements);
    free(array->pvData);
    freeDescriptor(array);
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** target) {
    if (!target)
        return E_INVALIDARG;
    *target = nullptr;
    if (!source)
        return S_OK;
    if (!source->cbElements || source->cDims != 1)
        return E_INVALIDARG;
    SAFEARRAY* copy = allocateDescriptor();
    if (!copy)
        return E_OUTOFMEMORY;
    memcpy(reinterpret_cast<char*>(copy) - kPrefix, reinterpret_cast<char*>(source) - kPrefix,
           kPrefix + sizeof(SAFEARRAY));
    copy->cLocks = 0;
    const ULONG count = source->rgsabound[0].cElements;
    copy->pvData = calloc(count ? count : 1, source->cbElements);
    if (!copy->pvData) {
        freeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    copy->rgsabound[0].cElements = 0; // nothing to release until the elements are in
    for (ULONG i = 0; i < count; ++i) {
        const size_t offset = size_t(i) * source->cbElements;
        char* from = static_cast<char*>(source->pvData) + offset;
        char* to = static_cast<char*>(copy->pvData) + offset;
        HRESULT hr = S_OK;
        if (source->fFeatures & FADF_VARIANT) {
            VariantInit(reinterpret_cast<VARIANT*>(to));
            hr = VariantCopy(reinterpret_cast<VARIANT*>(to), reinterpret_cast<VARIANT*>(from));
        } else if (source->fFeatures & FADF_BSTR) {
            const BSTR text = *reinterpret_cast<BSTR*>(from);
            if (text) {
                BSTR dup = SysAllocStringByteLen(reinterpret_cast<const char*>(text),
                                                 SysStringByteLen(text));
                *reinterpret_cast<BSTR*>(to) = dup;
                if (!dup)
                    hr = E_OUTOFMEMORY;
            }
        } else if (source->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            IUnknown* object = *reinterpret_cast<IUnknown**>(from);
            if (object)
                object->AddRef();
            *reinterpret_cast<IUnknown**>(to) = object;
        } else {
            memcpy(to, from, source->cbElements);
        }
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
        copy->rgsabound[0].cElements = i + 1;
    }
    *target = copy;
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound) {
    if (!array || !bound)
        return E_INVALIDARG;
    if (array->cLocks)
        return DISP_E_ARRAYISLOCKED;
    if (array->fFeatures & FADF_FIXEDSIZE)
        return E_INVALIDARG;
    if (uint64_t(array->cbElements) * bound->cElements > uint64_t(INT32_MAX))
        return E_OUTOFMEMORY;
    const ULONG oldCount = array->rgsabound[0].cElements;
    const ULONG newCount = bound->cElements;
    if (newCount < oldCount)
        releaseElements(array, newCount, oldCount - newCount);
    void* data = realloc(array->pvData, size_t(newCount ? newCount : 1) * array->cbElements);
    if (!data)
        return E_OUTOFMEMORY;
    if (newCount > oldCount)
        memset(static_cast<char*>(data) + size_t(oldCount) * array->cbElements, 0,
               size_t(newCount - oldCount) * array->cbElements);
    array->pvData = data;
    array->rgsabound[0] = *bound;
    return S_OK;
}
