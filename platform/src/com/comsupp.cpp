// The ANSI code page conversions behind `_bstr_t`. Built into the platform layer on Linux and into
// the library itself on mingw-w64, whose runtime declares them but does not provide them.
#include <comdef.h>

#include <new>

#ifdef _WIN32
#define ZUDAVA_COMSUPP_EXPORT __declspec(dllexport)
#else
#define ZUDAVA_COMSUPP_EXPORT
#endif

namespace {
[[noreturn]] void raiseLastError() {
    const DWORD error = GetLastError();
    const HRESULT hr = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    _com_issue_error(hr);
    // mingw-w64 lets a program install an error handler that returns; a conversion that failed
    // must not go on as if it had not.
    throw _com_error(hr);
}
} // namespace

namespace _com_util {

ZUDAVA_COMSUPP_EXPORT BSTR WINAPI ConvertStringToBSTR(const char* source) {
    if (!source)
        return nullptr;
    const int units = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
    if (units <= 0)
        raiseLastError();
    BSTR result = SysAllocStringLen(nullptr, UINT(units - 1));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, source, -1, result, units) == 0) {
        const DWORD error = GetLastError();
        SysFreeString(result);
        SetLastError(error);
        raiseLastError();
    }
    return result;
}

ZUDAVA_COMSUPP_EXPORT char* WINAPI ConvertBSTRToString(BSTR source) {
    if (!source)
        return nullptr;
    // The whole BSTR, embedded NULs included, and its terminating NUL.
    const int units = int(SysStringLen(source)) + 1;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, source, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        raiseLastError();
    char* result = new (std::nothrow) char[bytes];
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    if (WideCharToMultiByte(CP_ACP, 0, source, units, result, bytes, nullptr, nullptr) == 0) {
        const DWORD error = GetLastError();
        delete[] result;
        SetLastError(error);
        raiseLastError();
    }
    return result;
}

} // namespace _com_util
