// The profile (INI) functions over real files. Reads take no lock: a write replaces the file by a
// rename, so a reader sees the old file or the new one. Writes of several processes to one folder
// take turns on a lock of the folder, so that no read-modify-write loses another's change.
#include "inifile.h"

#include "../kernel/machinestate.h"
#include "../kernel/winpath.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

namespace {

using namespace zp::profile;

std::string utf8Of(LPCSTR ansi) {
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (units <= 1)
        return std::string();
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, &wide[0], units);
    return zp::winpath::toUtf8(wide.c_str());
}

bool isBareName(const std::string& name) {
    return name.find_first_of("\\/") == std::string::npos && !(name.size() >= 2 && name[1] == ':');
}

std::string windowsFolder() {
    return zp::kernel::machineStateFolder() + "/windows";
}

// The host name of a profile file; empty when the name lies on no mapped drive. Windows reads
// win.ini when no name is given.
std::string hostPathOf(LPCSTR fileName) {
    const std::string name = utf8Of(fileName ? fileName : "win.ini");
    if (name.empty())
        return std::string();
    if (isBareName(name))
        return windowsFolder() + "/" + name;
    return zp::winpath::hostName(name);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : path.substr(0, slash);
}

// The folder of a file being written, locked against other writers while it lives.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        m_error = m_fd < 0 ? errno : 0;
        while (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    DWORD error() const {
        if (m_fd >= 0)
            return ERROR_SUCCESS;
        return m_error == ENOENT || m_error == ENOTDIR ? DWORD(ERROR_PATH_NOT_FOUND)
                                                       : zp::winpath::errorFromErrno(m_error);
    }

private:
    int m_fd;
    int m_error;
};

// Loads the file, lets `change` edit the model and saves it when `change` says it changed.
template <class Change>
BOOL rewrite(LPCSTR fileName, Change change) {
    const std::string path = hostPathOf(fileName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // The Windows folder always exists on Windows; here it is made on first use.
    if (fileName && isBareName(utf8Of(fileName)))
        zp::kernel::makeFolders(windowsFolder());
    FolderLock lock(folderOf(path));
    if (lock.error() != ERROR_SUCCESS) {
        SetLastError(lock.error());
        return FALSE;
    }
    IniFile file;
    const DWORD loaded = file.load(path);
    if (loaded != ERROR_SUCCESS && loaded != ERROR_FILE_NOT_FOUND) {
        SetLastError(loaded);
        return FALSE;
    }
    if (!change(file))
        return TRUE;
    const DWORD saved = file.save(path);
    if (saved != ERROR_SUCCESS) {
        SetLastError(saved);
        return FALSE;
    }
    return TRUE;
}

// Appends a new section at the end, right after the last line, as Windows writes it.
size_t appendSection(IniFile& file, const std::string& name) {
    file.lines.push_back(parseLine("[" + name + "]"));
    return file.lines.size() - 1;
}

// Removes every section of that name with all of its lines. True when there was one.
bool removeSection(IniFile& file, const std::string& name) {
    bool removed = false;
    long section;
    while ((section = file.findSection(name)) >= 0) {
        size_t end = size_t(section) + 1;
        while (end < file.lines.size() && file.lines[end].kind != Line::Section)
            ++end;
        file.lines.erase(file.lines.begin() + section, file.lines.begin() + long(end));
        removed = true;
    }
    return removed;
}

// Copies a NUL-separated list, ended by a second NUL, into the caller's buffer. When it does not
// fit, the list is cut to size - 2 characters followed by two NULs, and that count is returned.
DWORD deliverList(const std::vector<std::string>& items, LPSTR buffer, DWORD size) {
    std::string list;
    for (const std::string& item : items) {
        list += item;
        list += '\0';
    }
    if (!buffer || size == 0)
        return 0;
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = 0;
        if (list.empty() && size > 1)
            buffer[1] = 0;
        return DWORD(list.size());
    }
    if (size < 2) {
        buffer[0] = 0;
        SetLastError(ERROR_MORE_DATA);
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = 0;
    buffer[size - 1] = 0;
    SetLastError(ERROR_MORE_DATA);
    return size - 2;
}

DWORD deliverText(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0)
        return 0;
    if (text.size() < size) {
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = 0;
        return DWORD(text.size());
    }
    std::memcpy(buffer, text.data(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_MORE_DATA);
    return size - 1;
}

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

// Loads the file for reading; false (with the last error set) when there is nothing to read.
bool loadForReading(LPCSTR fileName, IniFile& file) {
    const std::string path = hostPathOf(fileName);
    const DWORD loaded = path.empty() ? DWORD(ERROR_FILE_NOT_FOUND) : file.load(path);
    SetLastError(loaded);
    return loaded == ERROR_SUCCESS;
}

} // namespace

ZP_EXTERN_C DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText,
                                                  LPSTR buffer, DWORD size, LPCSTR fileName) {
    IniFile file;
    const bool loaded = loadForReading(fileName, file);
    if (!section)
        return deliverList(file.sectionNames(), buffer, size);
    const long found = loaded ? file.findSection(section) : -1;
    if (!key) {
        std::vector<std::string> keys;
        if (found >= 0) {
            for (size_t i = size_t(found) + 1;
                 i < file.lines.size() && file.lines[i].kind != Line::Section; ++i)
                if (file.lines[i].kind == Line::Entry && file.lines[i].hasValue)
                    keys.push_back(file.lines[i].name); // a line without "=" names no key
        } else {
            SetLastError(ERROR_FILE_NOT_FOUND);
        }
        return deliverList(keys, buffer, size);
    }
    const long line = found >= 0 ? file.findKey(size_t(found), key) : -1;
    if (line < 0) {
        // The default loses its trailing blanks, as Windows strips them.
        std::string fallback = defaultText ? defaultText : "";
        while (!fallback.empty() && fallback.back() == ' ')
            fallback.pop_back();
        SetLastError(ERROR_FILE_NOT_FOUND);
        return deliverText(fallback, buffer, size);
    }
    SetLastError(ERROR_SUCCESS);
    return deliverText(unquoted(file.lines[size_t(line)].value), buffer, size);
}

ZP_EXTERN_C DWORD WINAPI GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size,
                                                   LPCSTR fileName) {
    IniFile file;
    std::vector<std::string> entries;
    const long found = section && loadForReading(fileName, file) ? file.findSection(section) : -1;
    if (found < 0) {
        SetLastError(section ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return deliverList(entries, buffer, size);
    }
    for (size_t i = size_t(found) + 1; i < file.lines.size() && file.lines[i].kind != Line::Section;
         ++i) {
        const Line& line = file.lines[i];
        if (line.kind == Line::Entry)
            entries.push_back(line.hasValue ? line.name + "=" + line.value : line.name);
    }
    SetLastError(ERROR_SUCCESS);
    return deliverList(entries, buffer, size);
}

ZP_EXTERN_C DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) {
    IniFile file;
    loadForReading(fileName, file);
    return deliverList(file.sectionNames(), buffer, size);
}

ZP_EXTERN_C BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text,
                                                   LPCSTR fileName) {
    if (!section) {
        // With nothing named, Windows flushes its cache; there is none here.
        if (!key && !text)
            return TRUE;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return rewrite(fileName, [&](IniFile& file) {
        if (!key)
            return removeSection(file, section);
        long found = file.findSection(section);
        const long line = found >= 0 ? file.findKey(size_t(found), key) : -1;
        if (!text) {
            if (line < 0)
                return false;
            file.lines.erase(file.lines.begin() + line);
            return true;
        }
        if (line >= 0) {
            // The key keeps the spelling it has in the file.
            Line& entry = file.lines[size_t(line)];
            entry = parseLine(entry.name + "=" + text);
            return true;
        }
        if (found < 0)
            found = long(appendSection(file, section));
        const size_t end = file.sectionEnd(size_t(found));
        file.lines.insert(file.lines.begin() + long(end), parseLine(std::string(key) + "=" + text));
        return true;
    });
}

ZP_EXTERN_C BOOL WINAPI WritePrivateProfileSectionA(LPCSTR section, LPCSTR lines, LPCSTR fileName) {
    if (!section) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return rewrite(fileName, [&](IniFile& file) {
        if (!lines)
            return removeSection(file, section);
        std::vector<Line> replacement;
        for (const char* line = lines; *line; line += std::strlen(line) + 1)
            replacement.push_back(parseLine(line));
        long found = file.findSection(section);
        if (found < 0)
            found = long(appendSection(file, section));
        // Everything the section held is replaced; the blank lines before the next one stay.
        const size_t begin = size_t(found) + 1;
        const size_t end = file.sectionEnd(size_t(found));
        file.lines.erase(file.lines.begin() + long(begin), file.lines.begin() + long(end));
        file.lines.insert(file.lines.begin() + long(begin), replacement.begin(), replacement.end());
        return true;
    });
}
