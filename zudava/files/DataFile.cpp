#include "zudava/files/DataFile.h"

#include <iterator>
#include <stdexcept>

#include "zudava/files/ChunkedWriter.h"

namespace DEZE {

namespace {

const char* const kReadFailure = "failed to read from file";

std::uint32_t readLength(const std::string& bytes, size_t& at) {
    if (bytes.size() - at < 4)
        throw std::runtime_error(kReadFailure);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    at += 4;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void appendLength(std::string& bytes, size_t length) {
    const auto value = static_cast<std::uint32_t>(length);
    const char le[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                        static_cast<char>((value >> 16) & 0xFF),
                        static_cast<char>((value >> 24) & 0xFF)};
    bytes.append(le, 4);
}

} // namespace

// ---- DataFile::Record

DataFile::Record::Record() = default;

DataFile::Record::Record(const std::wstring& key, const std::vector<unsigned char>& data) {
    setKey(key);
    m_data = data;
}

DataFile::Record::Record(const Record& other) = default;

DataFile::Record& DataFile::Record::operator=(const Record& other) {
    if (this != &other) {
        m_key = other.m_key;
        m_data = other.m_data;
    }
    return *this;
}

DataFile::Record::~Record() = default;

const std::wstring& DataFile::Record::getKey() const {
    return m_key;
}

void DataFile::Record::setKey(const std::wstring& key) {
    std::wstring copy = key;
    takeKey(std::move(copy));
}

void DataFile::Record::takeKey(std::wstring&& key) {
    static const wchar_t* const kTrimmed = L" \t\n";
    if (key.empty())
        throw std::invalid_argument("zero length key");
    // A key of nothing but blanks, tabs and line feeds stays as it is.
    const size_t first = key.find_first_not_of(kTrimmed);
    if (first != std::wstring::npos) {
        key.erase(key.find_last_not_of(kTrimmed) + 1);
        key.erase(0, first);
    }
    m_key = std::move(key);
}

const std::vector<unsigned char>& DataFile::Record::getData() const {
    return m_data;
}

void DataFile::Record::setData(const std::vector<unsigned char>& data) {
    m_data = data;
}

// ---- DataFile

DataFile::DataFile() = default;

DataFile::DataFile(const File::Path& path) : File(std::wstring(path)) {}

DataFile::~DataFile() {
    try {
        if (is_open())
            DataFile::close();
    } catch (...) {
    }
    deleteRecords();
}

void DataFile::open(unsigned long mode) {
    FileLock guard(*this);
    File::open(mode | BINARY);
    deleteRecords();
    if (mode & READ)
        load();
}

void DataFile::close() {
    FileLock guard(*this);
    if (getMode() & WRITE) {
        // The stream lets go of the file first: Windows replaces no file that is open.
        File::close();
        if (!replaceContent(true, [this](std::FILE* file) { return writeRecords(file); }))
            throw std::runtime_error("failed to write to file");
    }
    deleteRecords();
    File::close();
}

unsigned long DataFile::size() const {
    FileLock guard(const_cast<DataFile&>(*this));
    return static_cast<unsigned long>(m_records.size());
}

DataFile::Record& DataFile::operator[](unsigned long index) {
    FileLock guard(*this);
    if (index >= m_records.size())
        throw std::out_of_range("object does not exist");
    m_keyIndex = KeyIndex::Untrusted;
    m_keys.clear();
    return **std::next(m_records.begin(), static_cast<std::ptrdiff_t>(index));
}

void DataFile::insert(const Record& record) {
    FileLock guard(*this);
    if (m_keyIndex == KeyIndex::Untrusted) {
        for (const Record* stored : m_records)
            if (stored->getKey() == record.getKey())
                return;
    } else {
        buildKeyIndex();
        if (m_keys.count(record.getKey()) != 0)
            return;
    }
    add(new Record(record));
}

void DataFile::buildKeyIndex() {
    if (m_keyIndex != KeyIndex::NotBuilt)
        return;
    m_keys.reserve(m_records.size());
    for (const Record* record : m_records)
        m_keys.insert(record->m_key);
    m_keyIndex = KeyIndex::Built;
}

void DataFile::add(Record* record) {
    try {
        m_records.insert(record);
        if (m_keyIndex == KeyIndex::Built)
            m_keys.insert(record->m_key);
    } catch (...) {
        m_records.erase(record);
        delete record;
        throw;
    }
}

void DataFile::remove(const Record& record) {
    FileLock guard(*this);
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        if ((*it)->getKey() == record.getKey()) {
            if (m_keyIndex == KeyIndex::Built) {
                // Several records may share the key; drop the entry that views this one.
                auto [first, last] = m_keys.equal_range((*it)->m_key);
                for (; first != last; ++first)
                    if (first->data() == (*it)->m_key.data())
                        break;
                if (first != last)
                    m_keys.erase(first);
            }
            delete *it;
            m_records.erase(it);
            return;
        }
    }
}

void DataFile::load() {
    const std::string bytes = readContent();
    clear();

    size_t at = 0;
    while (at < bytes.size()) {
        const std::uint32_t keyBytes = readLength(bytes, at);
        if (bytes.size() - at < keyBytes)
            throw std::runtime_error(kReadFailure);
        std::wstring key(keyBytes / 2, L'\0');
        for (size_t i = 0; i < key.size(); ++i)
            key[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[at + 2 * i + 1]));
        at += keyBytes;
        const std::uint32_t dataBytes = readLength(bytes, at);
        if (bytes.size() - at < dataBytes)
            throw std::runtime_error(kReadFailure);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        at += dataBytes;
        Record* record = new Record();
        try {
            record->takeKey(std::move(key)); // trims and refuses an empty key
            record->m_data.assign(data, data + dataBytes);
        } catch (...) {
            delete record;
            throw;
        }
        add(record);
    }
}

bool DataFile::writeRecords(std::FILE* file) const {
    ChunkedWriter writer(file);
    std::string& buffer = writer.buffer();
    for (const Record* record : m_records) {
        const std::wstring& key = record->m_key;
        appendLength(buffer, 2 * key.size());
        for (wchar_t c : key) {
            buffer += '\0';
            buffer += static_cast<char>(c & 0xFF);
        }
        const std::vector<unsigned char>& data = record->m_data;
        appendLength(buffer, data.size());
        if (!writer.write(data.data(), data.size()))
            return false;
    }
    return writer.flush();
}

void DataFile::deleteRecords() {
    for (Record* record : m_records)
        delete record;
    m_records.clear();
    m_keys.clear();
    m_keyIndex = KeyIndex::NotBuilt;
}

} // namespace DEZE
