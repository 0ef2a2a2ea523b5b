// Kernel file and time functions on the Windows view of the host's file system.
#include "winpath.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace {

using namespace zp::winpath;

// A missing file in an existing folder is "file not found", a missing folder "path not found".
DWORD missingError(const std::string& host) {
    const auto slash = host.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat info;
    const std::string parent = host.substr(0, slash);
    return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                     : ERROR_PATH_NOT_FOUND;
}

void syncFolderOf(const std::string& host) {
    const auto slash = host.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? "/"
                                                          : host.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

BOOL moveFile(const std::string& from, const std::string& to, DWORD flags) {
    if (from.empty() || to.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat source;
    if (lstat(from.c_str(), &source) != 0) {
        SetLastError(errno == ENOENT ? missingError(from) : errorFromErrno(errno));
        return FALSE;
    }
    struct stat target;
    if (lstat(to.c_str(), &target) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        // Windows replaces neither folders nor read-only files.
        if (S_ISDIR(target.st_mode) || !(target.st_mode & S_IWUSR)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(errno == ENOENT ? missingError(to) : errorFromErrno(errno));
        return FALSE;
    }
    if (flags & MOVEFILE_WRITE_THROUGH)
        syncFolderOf(to);
    return TRUE;
}

} // namespace

ZP_EXTERN_C DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (module != nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::vector<char> buffer(4096);
    ssize_t length;
    while ((length = readlink("/proc/self/exe", buffer.data(), buffer.size())) >= 0 &&
           static_cast<size_t>(length) == buffer.size())
        buffer.resize(buffer.size() * 2);
    if (length < 0) {
        SetLastError(errorFromErrno(errno));
        return 0;
    }
    const std::wstring name = windowsName(std::string(buffer.data(), static_cast<size_t>(length)));
    if (size == 0 || fileName == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (name.size() >= size) {
        // Cut to fit, terminated, and the full size returned, as Windows does.
        name.copy(fileName, size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    name.copy(fileName, name.size());
    fileName[name.size()] = 0;
    return static_cast<DWORD>(name.size());
}

ZP_EXTERN_C BOOL WINAPI MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
    if (existingName == nullptr || newName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER); // moving at the next restart is not offered
        return FALSE;
    }
    return moveFile(hostName(std::string(existingName)), hostName(std::string(newName)), flags);
}

ZP_EXTERN_C BOOL WINAPI MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags) {
    if (existingName == nullptr || newName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return moveFile(hostName(existingName), hostName(newName), flags);
}

ZP_EXTERN_C void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}
