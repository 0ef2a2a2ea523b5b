// The C runtime's file functions on the Windows view of the host's file system.
#include <direct.h>
#include <io.h>

#include "../kernel/winpath.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

using namespace zp::winpath;

// Names on unmapped drives fail as a missing path does.
bool mapped(const wchar_t* name, std::string& host) {
    if (name == nullptr) {
        errno = EINVAL;
        return false;
    }
    host = hostName(name);
    if (host.empty()) {
        errno = ENOENT;
        return false;
    }
    return true;
}

// Windows' normalisation of a full path (GetFullPathNameW's): components "." and empty ones go,
// ".." removes the one before it (never the root), and a trailing separator stays. A folder
// component loses one trailing dot, and the last component all its trailing dots and blanks, so
// that "a.\\b. ." names "a\\b".
std::wstring normalise(const std::wstring& root, const std::wstring& path) {
    std::wstring result = root;
    std::wstring component;
    std::vector<size_t> starts;
    bool trailing = false;
    auto flush = [&](bool last) {
        if (component == L"..") {
            if (!starts.empty()) {
                result.resize(starts.back());
                starts.pop_back();
            }
        } else if (!component.empty() && component != L".") {
            const size_t kept = last ? component.find_last_not_of(L" .") + 1
                                     : component.size() - (component.back() == L'.' ? 1 : 0);
            if (kept == 0) {
                trailing = true; // nothing but dots and blanks: the name ends at the separator
            } else {
                starts.push_back(result.size());
                result += L'\\';
                result.append(component, 0, kept);
            }
        }
        component.clear();
    };
    for (wchar_t c : path) {
        if (c == L'\\' || c == L'/')
            flush(false);
        else
            component += c;
    }
    trailing = !path.empty() && (path.back() == L'\\' || path.back() == L'/') && component.empty();
    flush(true);
    if (starts.empty() || trailing)
        result += L'\\';
    return result;
}

std::wstring fullPath(const std::wstring& name) {
    const std::wstring current = currentDirectory(); // "Z:\dir" or "Z:\"
    const std::wstring currentDrive = current.substr(0, 2);
    const std::wstring currentFolder = current.substr(2);
    auto isSep = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (name.size() >= 2 && isSep(name[0]) && isSep(name[1])) {
        // \\server\share\...: the share is the root.
        size_t end = 2;
        for (int parts = 0; parts < 2 && end <= name.size(); ++parts) {
            while (end < name.size() && !isSep(name[end]))
                ++end;
            if (parts == 0 && end < name.size())
                ++end;
        }
        std::wstring root = name.substr(0, end);
        for (wchar_t& c : root)
            if (c == L'/')
                c = L'\\';
        return normalise(root, name.substr(end));
    }
    const bool drive =
        name.size() >= 2 && name[1] == L':' &&
        ((name[0] >= L'a' && name[0] <= L'z') || (name[0] >= L'A' && name[0] <= L'Z'));
    if (drive) {
        const std::wstring rest = name.substr(2);
        if (!rest.empty() && isSep(rest[0]))
            return normalise(name.substr(0, 2), rest);
        // Drive-relative: against the current folder of that drive, the root for any other drive.
        const bool same = (name[0] | 0x20) == (currentDrive[0] | 0x20);
        return normalise(name.substr(0, 2), (same ? currentFolder + L'\\' : L"\\") + rest);
    }
    if (!name.empty() && isSep(name[0]))
        return normalise(currentDrive, name);
    return normalise(currentDrive, currentFolder + L'\\' + name);
}

wchar_t* deliver(const std::wstring& text, wchar_t* buffer, size_t size) {
    if (buffer == nullptr) {
        buffer = static_cast<wchar_t*>(
            malloc((text.size() + 1 > size ? text.size() + 1 : size) * sizeof(wchar_t)));
        if (buffer == nullptr) {
            errno = ENOMEM;
            return nullptr;
        }
    } else if (text.size() + 1 > size) {
        errno = ERANGE;
        return nullptr;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return buffer;
}

} // namespace

namespace {
// The host name of `name` and what stat says of it; false (errno set) when either fails.
bool statMapped(const wchar_t* name, std::string& host, struct stat& info) {
    return mapped(name, host) && stat(host.c_str(), &info) == 0;
}
} // namespace

ZP_EXTERN_C wchar_t* __cdecl _wfullpath(wchar_t* absPath, const wchar_t* relPath,
                                        size_t maxLength) {
    if (relPath == nullptr || *relPath == 0)
        return _wgetcwd(absPath, static_cast<int>(maxLength));
    return deliver(fullPath(relPath), absPath, absPath == nullptr ? _MAX_PATH : maxLength);
}

ZP_EXTERN_C wchar_t* __cdecl _wgetcwd(wchar_t* buffer, int size) {
    if (buffer != nullptr && size <= 0) {
        errno = EINVAL;
        return nullptr;
    }
    return deliver(currentDirectory(), buffer, size < 0 ? 0 : static_cast<size_t>(size));
}

ZP_EXTERN_C int __cdecl _wchdir(const wchar_t* name) {
    std::string host;
    return mapped(name, host) ? chdir(host.c_str()) : -1;
}

ZP_EXTERN_C int __cdecl _wmkdir(const wchar_t* name) {
    std::string host;
    return mapped(name, host) ? mkdir(host.c_str(), 0777) : -1;
}

ZP_EXTERN_C int __cdecl _wrmdir(const wchar_t* name) {
    std::string host;
    return mapped(name, host) ? rmdir(host.c_str()) : -1;
}

ZP_EXTERN_C int __cdecl _waccess(const wchar_t* name, int mode) {
    std::string host;
    struct stat info;
    if (!statMapped(name, host, info))
        return -1;
    // The owner's write bit is the read-only attribute; folders are never read-only.
    if ((mode & 2) && !S_ISDIR(info.st_mode) && !(info.st_mode & S_IWUSR)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

ZP_EXTERN_C int __cdecl _wchmod(const wchar_t* name, int mode) {
    std::string host;
    struct stat info;
    if (!statMapped(name, host, info))
        return -1;
    mode_t bits = info.st_mode & 07777;
    if (mode & _S_IWRITE)
        bits |= S_IWUSR;
    else
        bits &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return chmod(host.c_str(), bits);
}

ZP_EXTERN_C int __cdecl _wremove(const wchar_t* name) {
    std::string host;
    if (!mapped(name, host))
        return -1;
    struct stat info;
    if (lstat(host.c_str(), &info) != 0)
        return -1;
    // Windows deletes neither read-only files nor folders through remove.
    if (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR))) {
        errno = EACCES;
        return -1;
    }
    return unlink(host.c_str());
}

ZP_EXTERN_C int __cdecl _wrename(const wchar_t* oldName, const wchar_t* newName) {
    std::string from;
    std::string to;
    if (!mapped(oldName, from) || !mapped(newName, to))
        return -1;
    // Windows never replaces an existing name.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    struct stat info;
    if (lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

ZP_EXTERN_C errno_t __cdecl fopen_s(FILE** file, const char* name, const char* mode) {
    if (file == nullptr || name == nullptr || mode == nullptr)
        return EINVAL;
    *file = nullptr;
    // The host knows r, w, a, + and x; text and binary are the same to it, and Windows' other
    // flags (caching hints, commit mode, encodings) have no meaning here.
    std::string hostMode;
    for (const char* p = mode; *p != 0 && *p != ','; ++p)
        if (strchr("rwa+x", *p) != nullptr)
            hostMode += *p;
    if (hostMode.empty() || strchr("rwa", hostMode[0]) == nullptr)
        return EINVAL;
    const std::string host = zp::winpath::hostName(std::string(name));
    if (host.empty())
        return ENOENT;
    struct stat info;
    if (stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return EACCES; // Windows opens no folder as a file
    if (hostMode[0] != 'r' && stat(host.c_str(), &info) == 0 && !(info.st_mode & S_IWUSR))
        return EACCES;
    FILE* opened = fopen(host.c_str(), hostMode.c_str());
    if (opened == nullptr)
        return errno;
    *file = opened;
    return 0;
}

ZP_EXTERN_C errno_t __cdecl _wfopen_s(FILE** file, const wchar_t* name, const wchar_t* mode) {
    if (file == nullptr || name == nullptr || mode == nullptr)
        return EINVAL;
    return fopen_s(file, toUtf8(name).c_str(), toUtf8(mode).c_str());
}

ZP_EXTERN_C int __cdecl _fileno(FILE* file) {
    return fileno(file);
}

ZP_EXTERN_C int __cdecl _commit(int fd) {
    return fsync(fd);
}
