// A profile file as lines: what a write does not touch (comments, blank lines, odd lines, the
// spelling of names) is written back as it was read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zp::profile {

struct Line {
    enum Kind { Section, Entry, Other } kind;
    std::string text;  // the line as read or written, without its line end
    std::string name;  // section or key name, trimmed
    std::string value; // an entry's value, trimmed; empty for a line without "="
    bool hasValue = false;
};

class IniFile {
public:
    // Reads the file at the host name `path`. ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing
    // file (an empty model then) or another Windows error code.
    DWORD load(const std::string& path);
    // Replaces the file at `path` with the model: a sibling temporary file, flushed to disk, is
    // renamed over it. A Windows error code.
    DWORD save(const std::string& path) const;

    // The line index of the first section named `name` (case ignored), or -1.
    long findSection(const std::string& name) const;
    // One past the section's last line that belongs to it (trailing blank lines excluded).
    size_t sectionEnd(size_t section) const;
    // The line index of the key in the section starting at `section`, or -1.
    long findKey(size_t section, const std::string& key) const;

    std::vector<std::string> sectionNames() const;

    std::vector<Line> lines;
};

bool equalNoCase(const std::string& a, const std::string& b);
Line parseLine(const std::string& text);

} // namespace zp::profile
