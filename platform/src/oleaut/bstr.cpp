// BSTR allocation. A block is [4 unused bytes][32-bit byte length][text][one NUL wchar_t]; the
// unused word keeps the text 8-byte aligned, as Windows does on 64-bit hosts.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kHeader = 2 * sizeof(uint32_t);

inline uint32_t& byteLength(BSTR text) {
    return *reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - sizeof(uint32_t));
}

// A BSTR of `bytes` bytes holding `source`'s (zeros without one), or null when it cannot be had.
// Copies are the common case: only what they do not fill is zeroed.
BSTR allocate(const void* source, size_t bytes) {
    if (bytes > UINT32_MAX - kHeader - sizeof(WCHAR))
        return nullptr;
    char* block = static_cast<char*>(malloc(kHeader + bytes + sizeof(WCHAR)));
    if (!block)
        return nullptr;
    memset(block, 0, kHeader);
    char* data = block + kHeader;
    if (source)
        memcpy(data, source, bytes);
    else
        memset(data, 0, bytes);
    memset(data + bytes, 0, sizeof(WCHAR));
    BSTR text = reinterpret_cast<BSTR>(data);
    byteLength(text) = static_cast<uint32_t>(bytes);
    return text;
}

BSTR allocateUnits(const OLECHAR* source, UINT length) {
    if (length > UINT32_MAX / sizeof(WCHAR))
        return nullptr;
    return allocate(source, size_t(length) * sizeof(WCHAR));
}

} // namespace

ZP_EXTERN_C BSTR WINAPI SysAllocString(const OLECHAR* text) {
    return text ? allocateUnits(text, static_cast<UINT>(wcslen(text))) : nullptr;
}

ZP_EXTERN_C BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
    return allocateUnits(text, length);
}

ZP_EXTERN_C BSTR WINAPI SysAllocStringByteLen(LPCSTR bytes, UINT length) {
    return allocate(bytes, length);
}

ZP_EXTERN_C INT WINAPI SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
    if (!target)
        return FALSE;
    // The source may lie inside the old string, so copy before freeing.
    BSTR fresh = allocateUnits(text, length);
    if (!fresh)
        return FALSE;
    SysFreeString(*target);
    *target = fresh;
    return TRUE;
}

ZP_EXTERN_C INT WINAPI SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (!target)
        return FALSE;
    return SysReAllocStringLen(target, text, text ? static_cast<UINT>(wcslen(text)) : 0);
}

ZP_EXTERN_C void WINAPI SysFreeString(BSTR text) {
    if (text)
        free(reinterpret_cast<char*>(text) - kHeader);
}

ZP_EXTERN_C UINT WINAPI SysStringLen(BSTR text) {
    return text ? byteLength(text) / sizeof(WCHAR) : 0;
}

ZP_EXTERN_C UINT WINAPI SysStringByteLen(BSTR text) {
    return text ? byteLength(text) : 0;
}
