#include "zudava/files/PropertyFile.h"

#include <cstring>
#include <stdexcept>

#include "zudava/files/ChunkedWriter.h"
#include "zudava/foundation/Text.h"
#include "zudava/foundation/Utf8.h"

namespace DEZE {

namespace {

const std::wstring kComment = L"#";
const std::wstring kLineEnd = L"\n";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

PropertyFile::PropertyFile() = default;

PropertyFile::PropertyFile(const File::Path& path) : File(std::wstring(path)) {}

PropertyFile::~PropertyFile() {
    try {
        if (is_open())
            PropertyFile::close();
    } catch (...) {
    }
}

void PropertyFile::open(unsigned long mode) {
    FileLock guard(*this);
    File::open(mode);
    m_entries.clear();
    if (mode & READ)
        load();
}

void PropertyFile::close() {
    FileLock guard(*this);
    const unsigned long mode = getMode();
    if (mode & WRITE) {
        // The stream lets go of the file first: Windows replaces no file that is open.
        File::close();
        if (!replaceContent((mode & BINARY) != 0,
                            [this](std::FILE* file) { return writeEntries(file); }))
            throw std::runtime_error("failed to write to file");
    }
    m_entries.clear();
    File::close();
}

std::vector<std::wstring> PropertyFile::enumerateKeys() {
    FileLock guard(*this);
    std::vector<std::wstring> keys;
    keys.reserve(m_entries.size());
    for (const auto& entry : m_entries)
        keys.push_back(entry.first);
    return keys;
}

void PropertyFile::createKey(const std::wstring& key) {
    FileLock guard(*this);
    if (find(key) == m_entries.end())
        append(key, std::wstring());
}

void PropertyFile::removeKey(const std::wstring& key) {
    FileLock guard(*this);
    const auto entry = find(key);
    if (entry != m_entries.end())
        m_entries.erase(entry);
}

std::wstring PropertyFile::getValue(const std::wstring& key) {
    FileLock guard(*this);
    const auto entry = find(key);
    return entry == m_entries.end() ? std::wstring() : entry->second;
}

void PropertyFile::setValue(const std::wstring& key, const std::wstring& value) {
    FileLock guard(*this);
    const auto entry = find(key);
    if (entry != m_entries.end())
        entry->second = value;
    else
        append(key, value);
}

std::vector<std::pair<std::wstring, std::wstring>>::iterator
PropertyFile::find(const std::wstring& key) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (compare(it->first, key) == 0)
            return it;
    return m_entries.end();
}

void PropertyFile::append(const std::wstring& key, const std::wstring& value) {
    if (!m_entries.empty() && m_entries.back().first != kLineEnd)
        m_entries.emplace_back(kLineEnd, std::wstring());
    m_entries.emplace_back(key, value);
}

void PropertyFile::load() {
    const std::string text = readContent();
    if (bad())
        throw std::runtime_error("failed to read from file");
    clear();

    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '\n') {
            m_entries.emplace_back(kLineEnd, std::wstring());
            ++at;
            continue;
        }
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        // Blanks and tabs go from both ends, unless the line holds nothing else.
        size_t first = at;
        size_t last = end;
        while (first < last && isBlank(text[first]))
            ++first;
        while (last > first && isBlank(text[last - 1]))
            --last;
        if (first == last) {
            first = at;
            last = end;
        }
        const char* const line = text.data() + first;
        const size_t size = last - first;
        at = end;
        if (size != 0 && (line[0] == '#' || line[0] == ';')) {
            const void* blank = std::memchr(line, ' ', size);
            const size_t from =
                blank ? static_cast<size_t>(static_cast<const char*>(blank) - line) : size;
            m_entries.emplace_back(kComment, decodeUtf8(line + from, size - from));
            continue;
        }
        const void* found = std::memchr(line, '=', size);
        if (found == nullptr)
            continue;
        const size_t equals = static_cast<size_t>(static_cast<const char*>(found) - line);
        // Each text ends at an embedded NUL, as make_wstring ends it.
        std::wstring key = decodeUtf8(line, equals);
        if (key.empty())
            continue;
        m_entries.emplace_back(std::move(key), decodeUtf8(line + equals + 1, size - equals - 1));
    }
}

bool PropertyFile::writeEntries(std::FILE* file) const {
    ChunkedWriter writer(file);
    std::string& buffer = writer.buffer();
    for (const auto& entry : m_entries) {
        const std::wstring& key = entry.first;
        appendUtf8(buffer, key.data(), key.size());
        // Comments ("#") and line ends have no "=".
        const bool plain = key.size() != 1 || (key[0] != L'#' && key[0] != L'\n');
        if (plain)
            buffer += '=';
        appendUtf8(buffer, entry.second.data(), entry.second.size());
        if (!writer.spill())
            return false;
    }
    return writer.flush();
}

} // namespace DEZE
