// A file of keyed binary records, loaded whole when opened and written back whole when closed.
//
// On disk each record is: key length in bytes (32-bit little-endian, two bytes a character), the
// key (0x00 and the character's low byte), data length (32-bit little-endian), the data. No
// header; only characters up to U+00FF survive.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "zudava/Export.h"
#include "zudava/files/File.h"

namespace DEZE {

class ZUDAVA_API DataFile : public File {
public:
    class ZUDAVA_API Record {
    public:
        Record();
        // Throws std::invalid_argument("zero length key") for an empty key.
        Record(const std::wstring& key, const std::vector<unsigned char>& data);
        Record(const Record& other);
        Record& operator=(const Record& other);
        virtual ~Record();

        virtual const std::wstring& getKey() const;
        // Trims blanks, tabs and line feeds at both ends (a key of nothing else stays as it is);
        // an empty key throws std::invalid_argument("zero length key") and changes nothing.
        virtual void setKey(const std::wstring& key);
        virtual const std::vector<unsigned char>& getData() const;
        virtual void setData(const std::vector<unsigned char>& data);

    private:
        friend class DataFile; // fills loaded records without copying them twice
        void takeKey(std::wstring&& key);
        std::wstring m_key;
        std::vector<unsigned char> m_data;
    };

    DataFile();
    explicit DataFile(const File::Path& path);
    ~DataFile() override;

    // Always binary. With READ the records are loaded; a short file throws
    // std::runtime_error("failed to read from file") and keeps what was read.
    void open(unsigned long mode) override;
    // With WRITE the file is replaced by the records (atomically); a failure throws
    // std::runtime_error("failed to write to file") and leaves the old file as it was.
    void close() override;

    unsigned long size() const;
    // Throws std::out_of_range("object does not exist") past the end.
    Record& operator[](unsigned long index);
    // Adds a copy unless a record has the same key (case-sensitive).
    void insert(const Record& record);
    // Deletes the first record with the same key, if any.
    void remove(const Record& record);

private:
    void load();
    // Takes ownership of `record` and adds it, or deletes it and rethrows.
    void add(Record* record);
    bool writeRecords(std::FILE* file) const;
    void deleteRecords();

    std::set<Record*> m_records;
    // The records' keys, so that insert need not compare every key. Built at the first insert
    // after loading. Keys change only through references from operator[]; once one was handed out
    // the index is dropped and insert compares all keys until the records are next emptied.
    enum class KeyIndex { NotBuilt, Built, Untrusted };
    void buildKeyIndex();
    std::unordered_multiset<std::wstring_view> m_keys;
    KeyIndex m_keyIndex = KeyIndex::NotBuilt;
};

} // namespace DEZE
