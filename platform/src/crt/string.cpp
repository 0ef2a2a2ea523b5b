#include <windows.h>
#include <type_traits>

namespace {

template <typename Char>
inline unsigned lowered(Char c) {
    const auto u = static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(c));
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

template <typename Char>
int compareIgnoringCase(const Char* a, const Char* b, size_t count) {
    for (; count != 0; --count, ++a, ++b) {
        const unsigned x = lowered(*a);
        const unsigned y = lowered(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            break;
    }
    return 0;
}

} // namespace

ZP_EXTERN_C int __cdecl _stricmp(const char* a, const char* b) {
    return compareIgnoringCase(a, b, SIZE_MAX);
}

ZP_EXTERN_C int __cdecl _strnicmp(const char* a, const char* b, size_t count) {
    return compareIgnoringCase(a, b, count);
}

ZP_EXTERN_C int __cdecl _wcsicmp(const wchar_t* a, const wchar_t* b) {
    return compareIgnoringCase(a, b, SIZE_MAX);
}

ZP_EXTERN_C int __cdecl _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count) {
    return compareIgnoringCase(a, b, count);
}
