#include "zudava/files/File.h"

#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <locale>
#include <stdexcept>

#include "zudava/files/HostFileName.h"
#include "zudava/files/log_ofstream.h"
#include "zudava/foundation/Text.h"

namespace DEZE {

namespace {

// The separators of Windows paths, as the global locale widens them when the library loads.
const wchar_t s_slash = std::use_facet<std::ctype<wchar_t>>(std::locale()).widen('/');
const wchar_t s_backslash = std::use_facet<std::ctype<wchar_t>>(std::locale()).widen('\\');
const wchar_t s_colon = std::use_facet<std::ctype<wchar_t>>(std::locale()).widen(':');

const size_t kPathSize = 260;

std::ios_base::openmode streamMode(unsigned long mode) {
    std::ios_base::openmode result = std::ios_base::openmode();
    if (mode & File::READ)
        result |= std::ios_base::in;
    if (mode & File::WRITE)
        result |= std::ios_base::out;
    if (mode & File::BINARY)
        result |= std::ios_base::binary;
    return result;
}

namespace fs = std::filesystem;

// The host's file-system name of a Windows name, for std::filesystem.
fs::path hostPath(const std::wstring& name) {
    return fs::u8path(hostFileName(make_string(name)));
}

// The file a save replaces: the name itself, or the end of its chain of symbolic links, so that a
// link stays a link and its target gets the new content. A relative link is taken against the
// link's folder.
std::wstring linkTarget(std::wstring name) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        const fs::path host = hostPath(name);
        if (!fs::is_symlink(host, error))
            break;
        const fs::path link = fs::read_symlink(host, error);
        if (error || link.empty())
            break;
        const std::wstring text = make_wstring(link.u8string());
        if (link.is_absolute() || (text.size() >= 2 && text[1] == s_colon)) {
            name = text;
        } else {
            const size_t separator = name.find_last_of(L"\\/");
            name = (separator == std::wstring::npos ? L"" : name.substr(0, separator + 1)) + text;
        }
    }
    return name;
}

// A temporary file's name is its target's name, cut so that the whole fits a component of 255
// units and bytes, then ".<process id>.<counter>.tmp" in eight hexadecimal digits each.
const size_t kComponentLimit = 255;
const size_t kTemporarySuffix = 22; // ".pppppppp.nnnnnnnn.tmp"

std::wstring hex8(unsigned long value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(8, L'0');
    for (size_t i = 8; i-- > 0; value >>= 4)
        text[i] = kDigits[value & 0xF];
    return text;
}

std::wstring temporaryStem(const std::wstring& name) {
    const size_t limit = kComponentLimit - kTemporarySuffix;
    size_t units = 0;
    size_t bytes = 0;
    while (units < name.size()) {
        const unsigned c = static_cast<unsigned>(name[units]) & 0xFFFF;
        const bool pair = c >= 0xD800 && c < 0xDC00 && units + 1 < name.size();
        const size_t width = pair ? 2 : 1;
        const size_t size = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (units + width > limit || bytes + size > limit)
            break;
        units += width;
        bytes += size;
    }
    return name.substr(0, units);
}

// A name longer than Windows' MAX_PATH is given as a full "\\?\" name, which may be longer:
// a temporary's name must not fail where its target's name fits.
std::wstring longName(const std::wstring& name) {
    if (name.size() < kPathSize)
        return name;
    wchar_t* full = _wfullpath(nullptr, name.c_str(), 0);
    if (full == nullptr)
        return name;
    std::wstring result = full;
    free(full);
    if (result.size() >= 3 && result[1] == s_colon)
        return L"\\\\?\\" + result;
    if (result.size() >= 2 && result[0] == s_backslash && result[1] == s_backslash)
        return L"\\\\?\\UNC" + result.substr(1);
    return name;
}

// Whether process `id` runs; one that cannot be looked at is taken to run.
bool processRuns(DWORD id) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// A save that was killed leaves its temporary file behind. The next save of the same file removes
// those of processes that have ended; a live process's may be a save under way.
void removeStaleTemporaries(const std::wstring& folder, const std::wstring& stem) {
    const std::string prefix = make_string(stem) + ".";
    std::error_code error;
    fs::directory_iterator entry(hostPath(folder.empty() ? L"." : folder), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().u8string();
        if (name.size() != prefix.size() + kTemporarySuffix - 1 ||
            name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0 || name[prefix.size() + 8] != '.')
            continue;
        const std::string digits =
            name.substr(prefix.size(), 8) + name.substr(prefix.size() + 9, 8);
        if (digits.find_first_not_of("0123456789abcdef") != std::string::npos)
            continue;
        const auto id = static_cast<DWORD>(std::stoul(digits.substr(0, 8), nullptr, 16));
        if (id == GetCurrentProcessId() || processRuns(id))
            continue;
        std::error_code ignored;
        fs::remove(entry->path(), ignored);
    }
}

} // namespace

// ---- File::Path

File::Path::Path() = default;

File::Path::Path(const std::wstring& path) {
    parse(path);
}

File::Path::Path(const wchar_t* path) {
    parse(make_wstring(path));
}

File::Path::Path(const char* path) {
    parse(make_wstring(path));
}

File::Path::Path(const std::string& path) {
    parse(make_wstring(path));
}

File::Path::Path(const Path& other) = default;

File::Path& File::Path::operator=(const Path& other) {
    if (this != &other) {
        m_volume = other.m_volume;
        m_directory = other.m_directory;
        m_name = other.m_name;
    }
    return *this;
}

File::Path::~Path() = default;

void File::Path::parse(const std::wstring& path) {
    if (length(path) == 0)
        throw std::invalid_argument("null or empty string passed as file path");
    std::wstring text = path;
    const bool absolute = text.size() >= 3 && text[1] == s_colon && text[2] == s_backslash;
    if (!absolute) {
        // Against the executable's folder, so that a program finds its files wherever it is
        // started from.
        wchar_t module[kPathSize + 1] = {};
        GetModuleFileNameW(nullptr, module, static_cast<DWORD>(kPathSize));
        std::wstring joined(module);
        const size_t cut = joined.rfind(s_backslash);
        joined.erase(cut == std::wstring::npos ? 0 : cut + 1);
        joined += path;
        joined = joined.substr(0, kPathSize);
        wchar_t full[kPathSize] = {};
        if (_wfullpath(full, joined.c_str(), kPathSize) == nullptr)
            full[0] = 0;
        full[kPathSize - 1] = 0;
        text = full;
    }
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.erase(end);
    for (wchar_t& c : text)
        if (c == s_backslash)
            c = s_slash;

    std::wstring volume;
    std::wstring directory;
    bool found = false;
    size_t start = 0;
    for (size_t slash = text.find(s_slash); slash != std::wstring::npos;
         start = slash + 1, slash = text.find(s_slash, start)) {
        if (slash == start)
            continue;
        const std::wstring component = text.substr(start, slash - start);
        if (!found) {
            volume = component;
            found = true;
        } else {
            directory += component;
            directory += s_slash;
        }
    }
    if (!found)
        throw std::invalid_argument("cannot determine path");
    volume[0] = std::toupper(volume[0], std::locale());
    directory.insert(directory.begin(), s_slash);
    for (wchar_t& c : directory)
        if (c == s_slash)
            c = s_backslash;
    m_volume = volume;
    m_directory = directory;
    m_name = text.substr(text.rfind(s_slash) + 1);
}

const std::wstring& File::Path::getVolume() const {
    return m_volume;
}

void File::Path::setVolume(const std::wstring& volume) {
    m_volume = volume;
}

const std::wstring& File::Path::getDirectory() const {
    return m_directory;
}

void File::Path::setDirectory(const std::wstring& directory) {
    m_directory = directory;
}

const std::wstring& File::Path::getName() const {
    return m_name;
}

void File::Path::setName(const std::wstring& name) {
    m_name = name;
}

File::Path::operator std::wstring() const {
    return m_volume + m_directory + m_name;
}

bool operator==(const File::Path& a, const File::Path& b) {
    return compare(std::wstring(a), std::wstring(b)) == 0;
}

bool operator!=(const File::Path& a, const File::Path& b) {
    return !(a == b);
}

std::ostream& operator<<(std::ostream& stream, const File::Path& path) {
    return stream << std::wstring(path);
}

// ---- File

File::File() : m_mode(0) {}

File::File(const std::wstring& name) : m_name(name), m_mode(0) {}

File::~File() {
    try {
        if (is_open())
            File::close();
    } catch (...) {
    }
}

std::wstring File::getName() const {
    return m_name;
}

unsigned long File::getMode() const {
    return m_mode;
}

void File::setMode(unsigned long mode) {
    m_mode = static_cast<std::uint32_t>(mode);
}

void File::open(unsigned long mode) {
    FileLock guard(*this);
    std::basic_fstream<char>& stream = *this;
    const std::string name = make_string(m_name);
    const std::ios_base::openmode flags = streamMode(mode);
    openShared(stream, name, flags);
    if (!is_open() && (mode & WRITE)) {
        openShared(stream, name, flags | std::ios_base::trunc);
        clear();
    }
    if (!is_open())
        throw std::runtime_error("failed to open file.");
    m_mode = static_cast<std::uint32_t>(mode);
}

void File::close() {
    FileLock guard(*this);
    std::basic_fstream<char>::close();
    if (is_open())
        throw std::runtime_error("failed to close file.");
    m_mode = 0;
}

void File::synchronize() {
    FileLock guard(*this);
    if (!is_open())
        return;
    const unsigned long mode = m_mode;
    close();
    open(mode);
}

bool File::lock() {
    try {
        m_lock.lock(0xFFFFFFFF);
        return true;
    } catch (...) {
        return false;
    }
}

bool File::unlock() {
    try {
        m_lock.unlock();
        return true;
    } catch (...) {
        return false;
    }
}

// The new content goes to a sibling file that is flushed to the disk and then renamed over the
// name: a crash, a kill or a full disk leaves either the old file or the new one, never a part.
bool File::replaceContent(bool binary, const std::function<bool(std::FILE*)>& write) {
    static std::atomic<unsigned> s_counter{0};
    const std::wstring target = linkTarget(m_name);
    const size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder =
        separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
    const std::wstring stem = temporaryStem(target.substr(folder.size()));
    removeStaleTemporaries(folder, stem);

    const std::wstring temporary = longName(folder + stem + L"." + hex8(GetCurrentProcessId()) +
                                            L"." + hex8(++s_counter) + L".tmp");
    FILE* file = nullptr;
    if (_wfopen_s(&file, temporary.c_str(), binary ? L"wb" : L"w") != 0 || file == nullptr)
        return false;
    bool written = write(file);
    written = written && std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
    written = std::fclose(file) == 0 && written;
    if (written) {
        _wchmod(target.c_str(), 0x180); // a read-only file is replaced too
        written = MoveFileExW(temporary.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!written)
        _wremove(temporary.c_str());
    return written;
}

bool File::exists(const std::wstring& name) {
    return _waccess(name.c_str(), 0) == 0;
}

bool File::create(const std::wstring& name) {
    std::ofstream stream;
    openShared(stream, make_string(name), std::ios_base::out);
    const bool result = exists(name);
    stream.close();
    return result;
}

bool File::remove(const std::wstring& name) {
    _wchmod(name.c_str(), 0x180);
    _wremove(name.c_str());
    return !exists(name);
}

bool File::rename(const std::wstring& from, const std::wstring& to) {
    _wrename(from.c_str(), to.c_str());
    return !exists(from) && exists(to);
}

bool File::copy(const std::wstring& from, const std::wstring& to) {
    std::ifstream input;
    std::ofstream output;
    openShared(input, make_string(from), std::ios_base::in);
    openShared(output, make_string(to), std::ios_base::out);
    if (input.is_open() && output.is_open() && input.peek() != std::ifstream::traits_type::eof())
        output << input.rdbuf();
    const bool result = exists(from) && exists(to);
    input.close();
    output.close();
    return result;
}

// ---- FileLock

FileLock::FileLock(File& file) : m_file(&file) {
    m_file->lock();
}

FileLock::~FileLock() {
    m_file->unlock();
}

std::string File::readContent() {
    flush();
    clear();
    seekg(0, std::ios_base::beg);
    std::string content;
    const std::streamoff size = rdbuf()->pubseekoff(0, std::ios_base::end, std::ios_base::in);
    rdbuf()->pubseekpos(0, std::ios_base::in);
    if (size > 0)
        content.reserve(static_cast<size_t>(size));
    char chunk[1 << 16];
    for (std::streamsize got; (got = rdbuf()->sgetn(chunk, sizeof chunk)) > 0;)
        content.append(chunk, static_cast<size_t>(got));
    if (!(m_mode & BINARY)) {
        // Text mode reads CR LF as LF, as Windows' runtime does: a file written on Windows reads
        // the same here. (On Windows the stream has done it already and no CR LF is left.)
        const size_t first = content.find("\r\n");
        if (first != std::string::npos) {
            size_t out = first;
            for (size_t in = first; in < content.size(); ++in)
                if (content[in] != '\r' || in + 1 == content.size() || content[in + 1] != '\n')
                    content[out++] = content[in];
            content.resize(out);
        }
    }
    return content;
}

} // namespace DEZE
