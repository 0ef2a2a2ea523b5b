#include "winpath.h"

#include <errno.h>
#include <unistd.h>

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
} // namespace

std::string hostName(const std::string& name) {
    if (name.empty())
        return std::string();
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
