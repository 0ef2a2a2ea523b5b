// GUIDs, interface and class identifiers.
#pragma once

#include <string.h>

#include "windef.h"

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef GUID* LPGUID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;

#ifdef __cplusplus
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)

// `__uuidof(Interface)`: the identifier that `__CRT_UUID_DECL` attached to an interface type (or
// to a pointer to it), as mingw-w64 provides it where the compiler has no `__uuidof`.
template <typename Type>
const GUID& __zp_uuidof();
#define __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                           \
    extern "C++" {                                                                                 \
    template <>                                                                                    \
    inline const GUID& __zp_uuidof<type>() {                                                       \
        static const GUID id = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};                      \
        return id;                                                                                 \
    }                                                                                              \
    template <>                                                                                    \
    inline const GUID& __zp_uuidof<type*>() {                                                      \
        return __zp_uuidof<type>();                                                                \
    }                                                                                              \
    }
#define __uuidof(type) __zp_uuidof<__typeof__(type)>()
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
#else
#define __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif

#define GUID_NULL (GUID{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}})
