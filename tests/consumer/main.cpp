// Uses the library through its umbrella header alone.
#include <zudava/zudava.h>

#include <cstdio>
#include <cstring>

int main() {
    int failures = 0;
    auto check = [&failures](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "consumer: %s failed\n", what);
            ++failures;
        }
    };

    try {
        throw DEZE::WmiException(E_FAIL, _bstr_t(L"IWbemServices::GetObject() failed"));
    } catch (const DEZE::WmiException& e) {
        check(e.getCode() == E_FAIL, "WmiException::getCode");
        check(std::strcmp(e.what(), "IWbemServices::GetObject() failed") == 0,
              "WmiException::what");
    }
    check(DEZE::make_string(DEZE::make_wstring("caf\xC3\xA9")) == "caf\xC3\xA9", "make_string");
    check(DEZE::Escaping("a\tb") == "a\\tb", "Escaping");
    check(DEZE::compare("Abc", "aBC") == 0, "compare");
    check(DEZE::w2a(DEZE::a2w("plain")) == "plain", "w2a/a2w");

    BSTR text = SysAllocString(L"four");
    check(SysStringLen(text) == 4, "SysStringLen");
    _bstr_t shared(text, false);
    check(shared.length() == 4 && std::strcmp(static_cast<const char*>(shared), "four") == 0,
          "_bstr_t");
    try {
        _com_issue_error(E_OUTOFMEMORY);
    } catch (const _com_error& e) {
        check(e.Error() == E_OUTOFMEMORY, "_com_error");
    }
    BSTR counted = SysAllocStringLen(L"abc", 2);
    BSTR bytes = SysAllocStringByteLen("xyz", 3);
    check(SysStringLen(counted) == 2 && SysStringByteLen(bytes) == 3, "SysAllocStringLen/ByteLen");
    SysFreeString(counted);
    SysFreeString(bytes);

    wchar_t wide[8];
    char narrow[8];
    check(MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", -1, wide, 8) == 5 &&
              WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, 8, nullptr, nullptr) == 6,
          "MultiByteToWideChar/WideCharToMultiByte");
    SetLastError(0);
    check(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 8) == 0 &&
              GetLastError() == ERROR_INVALID_PARAMETER,
          "GetLastError");
    check(SUCCEEDED(S_FALSE) && FAILED(E_FAIL) &&
              HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER) == E_INVALIDARG,
          "HRESULT macros");
    check(_stricmp("ABC", "abc") == 0 && _wcsicmp(L"x", L"Y") < 0, "_stricmp/_wcsicmp");

    // The operating-system and file classes link from outside too.
    DEZE::Mutex mutex;
    mutex.lock(0);
    mutex.unlock();
    check(!DEZE::File::exists(L"Z:\\no\\such\\folder\\file"), "File::exists");
    check(DEZE::File::Path(L"C:\\dir\\file.txt").getName() == L"file.txt", "File::Path");
    DEZE::DataFile::Record record(L" key ", {1, 2});
    check(record.getKey() == L"key", "DataFile::Record");

    std::puts(failures ? "consumer: FAILED" : "consumer: OK");
    return failures ? 1 : 0;
}
