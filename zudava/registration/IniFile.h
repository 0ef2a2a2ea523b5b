// The group configuration file's access to the platform's profile functions: six primitives, each
// returning 0 or the failed call's last-error code. Internal to the library.
#pragma once

#include <string>

namespace DEZE {

// Joins a group's namespaces in its "NAMESPACE" value and the section names of the file; the
// format has no escape for it.
constexpr char kListSeparator[] = ":";

class IniFile {
public:
    // The fixed buffers of the primitives: a written value or section line, a read value and the
    // list of section names take 1024 bytes with their NUL; the existence test reads 32767.
    static const unsigned long kBufferSize = 1024;
    static const unsigned long kSectionBufferSize = 32767;

    explicit IniFile(std::string path) : m_path(std::move(path)) {}

    // Replaces the whole section by the one line. A line that does not fit the buffer is refused
    // (ERROR_INVALID_PARAMETER) and nothing is written.
    long writeSection(const std::string& section, const std::string& line) const;
    long deleteSection(const std::string& section) const;
    // Sets the key, creating section and key as needed; a value that does not fit is refused.
    long writeKey(const std::string& section, const std::string& key,
                  const std::string& value) const;
    // The number of characters read (the text is empty when section or key is absent); -1 when
    // the buffer cannot be had.
    long readKey(const std::string& section, const std::string& key, std::string& text,
                 unsigned long size) const;
    bool sectionExists(const std::string& section) const;
    // The section names joined by ":"; the platform call's result, or -1.
    long sectionNames(std::string& text, unsigned long size) const;

private:
    std::string m_path; // empty: no usable file (see commonDataFile)
};

} // namespace DEZE
