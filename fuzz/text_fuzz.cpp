// Arbitrary bytes through the UTF-8 coders: nothing may crash or read out of bounds, and text that
// the platform accepts as valid UTF-8 without surrogates must come back unchanged.
#include <zudava/zudava.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring wide = DEZE::make_wstring(bytes);
    const std::string back = DEZE::make_string(wide);
    (void)DEZE::Escaping(bytes);
    (void)DEZE::a2w(bytes);
    (void)DEZE::w2a(wide);

    if (size == 0 || size > 4096)
        return 0;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                          static_cast<int>(size), nullptr, 0);
    if (units <= 0)
        return 0;
    std::wstring strict(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(size),
                        &strict[0], units);
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, strict.data(), units,
                                           nullptr, 0, nullptr, nullptr);
    std::string again(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, strict.data(), units, &again[0], length,
                        nullptr, nullptr);
    if (again != bytes)
        abort();
    // Valid UTF-8 below U+10000 and without NUL is exactly what the library's own coder reads.
    bool basic = true;
    for (wchar_t unit : strict)
        basic = basic && unit != 0 && (unit < 0xD800 || unit > 0xDFFF);
    if (basic && back != bytes)
        abort();
    return 0;
}
