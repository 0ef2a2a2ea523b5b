#include "winpath.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cwctype>

#include <vector>

namespace zp::winpath {

std::string toUtf8(const wchar_t* text) {
    std::string result;
    if (text == nullptr || *text == 0)
        return result;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return result;
    result.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], bytes, nullptr, nullptr);
    result.resize(static_cast<size_t>(bytes) - 1);
    return result;
}

std::wstring toWide(const std::string& text) {
    std::wstring result;
    if (text.empty())
        return result;
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0)
        return result;
    result.resize(static_cast<size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], units);
    return result;
}

namespace {
bool isSeparator(char c) {
    return c == '\\' || c == '/';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool exists(const std::string& host) {
    struct stat info;
    return lstat(host.c_str(), &info) == 0;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const std::wstring x = toWide(a);
    const std::wstring y = toWide(b);
    if (x.empty() || x.size() != y.size())
        return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i] != y[i] &&
            std::towupper(static_cast<wint_t>(x[i])) != std::towupper(static_cast<wint_t>(y[i])))
            return false;
    return true;
}

// The entry of `folder` named `name` without regard to letter case; empty when there is none.
std::string matchInFolder(const std::string& folder, const std::string& name) {
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr)
        return std::string();
    std::string found;
    while (const dirent* entry = readdir(listing)) {
        if (sameIgnoringCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(listing);
    return found;
}

// Windows finds names without regard to case. A host name that does not exist as written is
// looked up one component at a time, as Wine does: each component that is missing as written
// takes the first entry of its folder that matches it ignoring case, and the components from the
// first one that matches nothing stay as written (a file about to be created in a folder named
// with another case, for example).
std::string matchCase(const std::string& host) {
    std::string result = !host.empty() && host[0] == '/' ? "/" : "";
    size_t start = 0;
    while (start < host.size()) {
        size_t end = host.find('/', start);
        if (end == std::string::npos)
            end = host.size();
        const std::string component = host.substr(start, end - start);
        if (!component.empty()) {
            const std::string folder = result;
            std::string candidate = result;
            if (!candidate.empty() && candidate.back() != '/')
                candidate += '/';
            if (component != "." && component != ".." && !exists(candidate + component)) {
                const std::string match = matchInFolder(folder, component);
                if (match.empty())
                    return candidate + host.substr(start);
                candidate += match;
            } else {
                candidate += component;
            }
            result = candidate;
        }
        start = end + 1;
    }
    if (host.size() > 1 && host.back() == '/' && result.back() != '/')
        result += '/';
    return result;
}
} // namespace

std::string hostName(const std::string& name) {
    if (name.empty())
        return std::string();
    // "\\?\" takes a full name as it is, past MAX_PATH: here every name may be that long.
    if (name.size() > 4 && isSeparator(name[0]) && isSeparator(name[1]) && name[2] == '?' &&
        isSeparator(name[3]))
        return hostName(name.substr(4));
    if (name.size() >= 2 && isSeparator(name[0]) && isSeparator(name[1]))
        return std::string(); // network shares and device names
    std::string rest = name;
    if (name.size() >= 2 && isLetter(name[0]) && name[1] == ':') {
        if (name[0] != 'z' && name[0] != 'Z')
            return std::string();
        rest = name.substr(2);
        if (rest.empty())
            return "."; // the current directory of drive Z:, which is the current directory
    }
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    if (!exists(rest) && errno == ENOENT)
        return matchCase(rest);
    return rest;
}

std::wstring windowsName(const std::string& hostAbsoluteName) {
    std::wstring result = L"Z:" + toWide(hostAbsoluteName);
    for (wchar_t& c : result)
        if (c == L'/')
            c = L'\\';
    if (result.size() == 2)
        result += L'\\';
    return result;
}

std::wstring currentDirectory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return L"Z:\\";
        buffer.resize(buffer.size() * 2);
    }
    return windowsName(buffer.data());
}

DWORD errorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace zp::winpath

std::string zp::hostFileName(const std::string& windowsName) {
    return winpath::hostName(windowsName);
}
