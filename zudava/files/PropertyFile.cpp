#include "zudava/files/PropertyFile.h"

#include <stdexcept>

#include "zudava/files/ChunkedWriter.h"
#include "zudava/foundation/Text.h"

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
        const std::string line = text.substr(first, last - first);
        at = end;
        if (!line.empty() && (line[0] == '#' || line[0] == ';')) {
            const size_t blank = line.find(' ');
            m_entries.emplace_back(kComment, blank == std::string::npos
                                                 ? std::wstring()
                                                 : make_wstring(line.substr(blank)));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        // make_wstring ends each text at an embedded NUL.
        std::wstring key = make_wstring(line.substr(0, equals));
        if (key.empty())
            continue;
        m_entries.emplace_back(std::move(key), make_wstring(line.substr(equals + 1)));
    }
}

bool PropertyFile::writeEntries(std::FILE* file) const {
    ChunkedWriter writer(file);
    std::string& buffer = writer.buffer();
    for (const auto& entry : m_entries) {
        const std::wstring& key = entry.first;
        buffer += make_string(key);
        // Comments ("#") and line ends have no "=".
        const bool plain = key.size() != 1 || (key[0] != L'#' && key[0] != L'\n');
        if (plain)
            buffer += '=';
        buffer += make_string(entry.second);
        if (!writer.spill())
            return false;
    }
    return writer.flush();
}

} // namespace DEZE
