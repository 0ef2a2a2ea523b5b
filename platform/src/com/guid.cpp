// GUIDs: new random ones, and their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <windows.h>

#include <errno.h>
#include <sys/random.h>

namespace {

// Units of the braced form, with the terminating NUL.
constexpr int kGuidTextUnits = 39;

void putHex(wchar_t*& out, uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *out++ = static_cast<wchar_t>(kDigits[(value >> shift) & 0xF]);
}

void formatGuid(REFGUID guid, wchar_t* out) {
    *out++ = L'{';
    putHex(out, guid.Data1, 8);
    *out++ = L'-';
    putHex(out, guid.Data2, 4);
    *out++ = L'-';
    putHex(out, guid.Data3, 4);
    *out++ = L'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            *out++ = L'-';
        putHex(out, guid.Data4[i], 2);
    }
    *out++ = L'}';
    *out = L'\0';
}

int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

bool readHex(const wchar_t*& in, int digits, uint32_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = hexValue(*in);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
        ++in;
    }
    return true;
}

// The braced form and nothing after it; any hexadecimal case.
bool parseGuid(const wchar_t* in, GUID& guid) {
    uint32_t value = 0;
    GUID parsed;
    if (*in++ != L'{' || !readHex(in, 8, value))
        return false;
    parsed.Data1 = value;
    if (*in++ != L'-' || !readHex(in, 4, value))
        return false;
    parsed.Data2 = static_cast<uint16_t>(value);
    if (*in++ != L'-' || !readHex(in, 4, value))
        return false;
    parsed.Data3 = static_cast<uint16_t>(value);
    if (*in++ != L'-')
        return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && *in++ != L'-')
            return false;
        if (!readHex(in, 2, value))
            return false;
        parsed.Data4[i] = static_cast<uint8_t>(value);
    }
    if (*in++ != L'}' || *in != L'\0')
        return false;
    guid = parsed;
    return true;
}

HRESULT guidToTaskMemText(REFGUID guid, LPOLESTR* text) {
    if (!text)
        return E_INVALIDARG;
    *text = static_cast<LPOLESTR>(CoTaskMemAlloc(kGuidTextUnits * sizeof(OLECHAR)));
    if (!*text)
        return E_OUTOFMEMORY;
    formatGuid(guid, *text);
    return S_OK;
}

// Null text stands for the null GUID, as on Windows.
HRESULT textToGuid(LPCOLESTR text, GUID* guid, HRESULT malformed) {
    if (!guid)
        return E_INVALIDARG;
    if (!text) {
        *guid = GUID{};
        return S_OK;
    }
    return parseGuid(text, *guid) ? S_OK : malformed;
}

} // namespace

// A version-4 GUID: 122 random bits from the kernel, the version in Data3's top nibble and the
// RFC 4122 variant in Data4[0]'s top two bits.
ZP_EXTERN_C HRESULT WINAPI CoCreateGuid(GUID* guid) {
    if (!guid)
        return E_INVALIDARG;
    unsigned char bytes[sizeof(GUID)];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return E_FAIL;
        }
        filled += static_cast<size_t>(got);
    }
    GUID made;
    memcpy(&made, bytes, sizeof made);
    made.Data3 = static_cast<uint16_t>((made.Data3 & 0x0FFF) | 0x4000);
    made.Data4[0] = static_cast<uint8_t>((made.Data4[0] & 0x3F) | 0x80);
    *guid = made;
    return S_OK;
}

ZP_EXTERN_C int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int capacity) {
    if (!text || capacity < kGuidTextUnits)
        return 0;
    formatGuid(guid, text);
    return kGuidTextUnits;
}

ZP_EXTERN_C HRESULT WINAPI StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    return guidToTaskMemText(clsid, text);
}

ZP_EXTERN_C HRESULT WINAPI StringFromIID(REFIID iid, LPOLESTR* text) {
    return guidToTaskMemText(iid, text);
}

// Windows also accepts a ProgID here, looked up in the registry; this platform registers no
// ProgIDs, so any text that is not a braced GUID is not a class string.
ZP_EXTERN_C HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    return textToGuid(text, clsid, CO_E_CLASSSTRING);
}

ZP_EXTERN_C HRESULT WINAPI IIDFromString(LPCOLESTR text, LPIID iid) {
    return textToGuid(text, iid, E_INVALIDARG);
}
