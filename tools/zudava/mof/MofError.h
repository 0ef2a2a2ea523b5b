// A MOF text that cannot be compiled: where, and why.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mof {

class MofError : public std::runtime_error {
public:
    // what() is "FILE:LINE:COLUMN: error: MESSAGE", the form editors and build tools jump to
    // ("FILE: error: MESSAGE" for line 0: the file as a whole, such as one that cannot be read).
    MofError(std::string file, uint32_t line, uint32_t column, std::string message,
             std::string sourceLine = std::string());

    const std::string& file() const { return m_file; }
    uint32_t line() const { return m_line; }
    uint32_t column() const { return m_column; }
    const std::string& message() const { return m_message; }
    // The text of the line the error points into, without its line break; empty when unknown.
    const std::string& sourceLine() const { return m_sourceLine; }

    // what(), then the source line and a caret under the column, as a compiler prints them.
    std::string describe() const;

private:
    std::string m_file;
    uint32_t m_line;
    uint32_t m_column;
    std::string m_message;
    std::string m_sourceLine;
};

// Positions count bytes of UTF-8 from the line's start (cheap to keep for every token); messages
// count characters. The 1-based character column of a 1-based byte column in a line's text.
uint32_t characterColumn(const std::string& line, uint32_t byteColumn);

// The text of a 1-based line of a source, without its line break; empty past the end.
std::string lineOf(const std::string& source, uint32_t line);

} // namespace mof
