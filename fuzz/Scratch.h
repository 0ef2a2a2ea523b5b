// Where a fuzz target keeps the file it loads and saves for each input.
#pragma once

#include <windows.h>
#include <io.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

// In memory-backed /dev/shm when there is one, where flushing to disk costs nothing; else in the
// current directory. One name per process, made once.
inline std::wstring scratchFileName(const std::wstring& stem, const std::wstring& extension) {
    const std::wstring file = stem + L"." + std::to_wstring(GetCurrentProcessId()) + extension;
    if (_waccess(L"Z:\\dev\\shm", 0) == 0)
        return L"Z:\\dev\\shm\\" + file;
    wchar_t full[MAX_PATH];
    if (_wfullpath(full, file.c_str(), MAX_PATH) == nullptr)
        abort();
    return std::wstring(full);
}
