// A text file of "key=value" lines that keeps its comments and blank lines, loaded whole when
// opened and written back whole when closed. Keys match without regard to case.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "zudava/Export.h"
#include "zudava/files/File.h"

namespace DEZE {

class ZUDAVA_API PropertyFile : public File {
public:
    PropertyFile();
    explicit PropertyFile(const File::Path& path);
    ~PropertyFile() override;

    // With READ the lines are loaded; unreadable input throws
    // std::runtime_error("failed to read from file").
    void open(unsigned long mode) override;
    // With WRITE the file is replaced by the entries (atomically); a failure throws
    // std::runtime_error("failed to write to file") and leaves the old file as it was.
    void close() override;

    // Every entry's key in file order: settings, "#" for comments and "\n" for line ends.
    virtual std::vector<std::wstring> enumerateKeys();
    // Adds the key with an empty value unless it is there.
    virtual void createKey(const std::wstring& key);
    // Removes the first entry with the key; its line end stays.
    virtual void removeKey(const std::wstring& key);
    // The first entry's value, or an empty string.
    virtual std::wstring getValue(const std::wstring& key);
    // Changes the first entry's value, or adds the setting on a line of its own at the end.
    virtual void setValue(const std::wstring& key, const std::wstring& value);

private:
    void load();
    bool writeEntries(std::FILE* file) const;
    void append(const std::wstring& key, const std::wstring& value);
    std::vector<std::pair<std::wstring, std::wstring>>::iterator find(const std::wstring& key);

    std::vector<std::pair<std::wstring, std::wstring>> m_entries;
};

} // namespace DEZE
