#include "inifile.h"

#include "../kernel/winpath.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zp::profile {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : path.substr(0, slash);
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += size_t(written);
    }
    return true;
}

} // namespace

bool equalNoCase(const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

Line parseLine(const std::string& text) {
    Line line{Line::Other, text, {}, {}, false};
    const std::string content = trimmed(text);
    if (content.empty() || content[0] == ';')
        return line;
    if (content[0] == '[') {
        // The name runs to the "]", or to the line's end when there is none.
        const auto close = content.find(']');
        line.kind = Line::Section;
        line.name =
            trimmed(content.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    line.kind = Line::Entry;
    const auto equals = content.find('=');
    if (equals == std::string::npos) {
        line.name = content;
        return line;
    }
    line.name = trimmed(content.substr(0, equals));
    line.value = trimmed(content.substr(equals + 1));
    line.hasValue = true;
    return line;
}

DWORD IniFile::load(const std::string& path) {
    lines.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? DWORD(ERROR_FILE_NOT_FOUND) : winpath::errorFromErrno(errno);
    std::string content;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const int error = got < 0 ? errno : 0;
            ::close(fd);
            if (error)
                return winpath::errorFromErrno(error);
            break;
        }
        content.append(chunk, size_t(got));
    }
    size_t start = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string text = content.substr(start, end - start);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back(parseLine(text));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

DWORD IniFile::save(const std::string& path) const {
    std::string bytes;
    for (const Line& line : lines) {
        bytes += line.text;
        bytes += "\r\n"; // Windows' line end, so that the file reads the same there
    }
    std::string temporary = folderOf(path) + "/.";
    temporary += path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    temporary += ".XXXXXX";
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0)
        return errno == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : winpath::errorFromErrno(errno);
    struct stat existing;
    fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    const bool written = writeAll(fd, bytes) && fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return winpath::errorFromErrno(error);
    }
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        ::close(folder);
    }
    return ERROR_SUCCESS;
}

long IniFile::findSection(const std::string& name) const {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Section && equalNoCase(lines[i].name, name))
            return long(i);
    return -1;
}

size_t IniFile::sectionEnd(size_t section) const {
    size_t end = section + 1;
    while (end < lines.size() && lines[end].kind != Line::Section)
        ++end;
    while (end > section + 1 && trimmed(lines[end - 1].text).empty())
        --end;
    return end;
}

long IniFile::findKey(size_t section, const std::string& key) const {
    for (size_t i = section + 1; i < lines.size() && lines[i].kind != Line::Section; ++i)
        if (lines[i].kind == Line::Entry && equalNoCase(lines[i].name, key))
            return long(i);
    return -1;
}

std::vector<std::string> IniFile::sectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : lines)
        if (line.kind == Line::Section)
            names.push_back(line.name);
    return names;
}

} // namespace zp::profile
