#include "zudava/registration/IniFile.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

namespace DEZE {
namespace {

// The last error of a failed call; never 0, so that a failure always reads as one.
long failure() {
    const DWORD error = GetLastError();
    return error != 0 ? long(error) : long(ERROR_GEN_FAILURE);
}

} // namespace

long IniFile::writeSection(const std::string& section, const std::string& line) const {
    if (m_path.empty())
        return ERROR_PATH_NOT_FOUND;
    if (line.size() >= kBufferSize)
        return ERROR_INVALID_PARAMETER;
    // The line and then zeros to the end: the buffer ends in the two NULs of a section's text.
    // One byte more than a value's buffer, so that the longest line (1023 characters) still has
    // both NULs inside the buffer rather than past its end.
    char buffer[kBufferSize + 1] = {};
    std::memcpy(buffer, line.data(), line.size());
    return WritePrivateProfileSectionA(section.c_str(), buffer, m_path.c_str()) ? 0 : failure();
}

long IniFile::deleteSection(const std::string& section) const {
    if (m_path.empty())
        return ERROR_PATH_NOT_FOUND;
    return WritePrivateProfileSectionA(section.c_str(), nullptr, m_path.c_str()) ? 0 : failure();
}

long IniFile::writeKey(const std::string& section, const std::string& key,
                       const std::string& value) const {
    if (m_path.empty())
        return ERROR_PATH_NOT_FOUND;
    if (value.size() >= kBufferSize)
        return ERROR_INVALID_PARAMETER;
    char buffer[kBufferSize] = {};
    std::memcpy(buffer, value.data(), value.size());
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), buffer, m_path.c_str())
               ? 0
               : failure();
}

long IniFile::readKey(const std::string& section, const std::string& key, std::string& text,
                      unsigned long size) const {
    std::vector<char> buffer;
    try {
        buffer.assign(size, '\0');
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (m_path.empty() || size == 0) {
        text.clear();
        return 0;
    }
    const DWORD copied = GetPrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                                  buffer.data(), DWORD(size), m_path.c_str());
    text = buffer.data();
    return long(copied);
}

bool IniFile::sectionExists(const std::string& section) const {
    if (m_path.empty())
        return false;
    std::vector<char> buffer;
    try {
        buffer.assign(kSectionBufferSize, '\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Cleared first, so that only this call's outcome is read.
    SetLastError(0);
    const DWORD length = GetPrivateProfileSectionA(section.c_str(), buffer.data(),
                                                   DWORD(kSectionBufferSize), m_path.c_str());
    if (GetLastError() != 0)
        return false;
    if (length > 0)
        return true;
    // An empty answer without an error is an empty section on Windows, but Wine answers a missing
    // section of an existing file that way too: the list of section names decides.
    const DWORD names =
        GetPrivateProfileSectionNamesA(buffer.data(), DWORD(kSectionBufferSize), m_path.c_str());
    for (DWORD at = 0; at < names && buffer[at] != '\0';) {
        const char* name = buffer.data() + at;
        if (_stricmp(name, section.c_str()) == 0)
            return true;
        at += DWORD(strnlen(name, names - at)) + 1;
    }
    return false;
}

long IniFile::sectionNames(std::string& text, unsigned long size) const {
    std::vector<char> buffer;
    try {
        buffer.assign(size, '\0');
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (m_path.empty() || size == 0)
        return 0;
    const DWORD length = GetPrivateProfileSectionNamesA(buffer.data(), DWORD(size), m_path.c_str());
    bool first = true;
    for (DWORD at = 0; at < length && buffer[at] != '\0';) {
        const char* name = buffer.data() + at;
        const size_t nameLength = strnlen(name, length - at);
        if (!first)
            text += kListSeparator;
        text.append(name, nameLength);
        first = false;
        at += DWORD(nameLength) + 1;
    }
    return long(length);
}

} // namespace DEZE
