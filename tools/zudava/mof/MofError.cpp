#include "MofError.h"

namespace mof {

MofError::MofError(std::string file, uint32_t line, uint32_t column, std::string message,
                   std::string sourceLine)
    : std::runtime_error(file +
                         (line ? ":" + std::to_string(line) + ":" + std::to_string(column) : "") +
                         ": error: " + message),
      m_file(std::move(file)), m_line(line), m_column(column), m_message(std::move(message)),
      m_sourceLine(std::move(sourceLine)) {}

std::string MofError::describe() const {
    std::string text = what();
    if (m_sourceLine.empty())
        return text;
    text += "\n    ";
    text += m_sourceLine;
    text += "\n    ";
    // The caret keeps the line's tabs so that it lines up under any tab width.
    uint32_t character = 1;
    for (size_t i = 0; i < m_sourceLine.size() && character < m_column; ++i) {
        const unsigned char byte = static_cast<unsigned char>(m_sourceLine[i]);
        if ((byte & 0xC0) == 0x80)
            continue;
        text += byte == '\t' ? '\t' : ' ';
        ++character;
    }
    text += '^';
    return text;
}

uint32_t characterColumn(const std::string& line, uint32_t byteColumn) {
    uint32_t column = 1;
    for (size_t i = 0; i + 1 < byteColumn && i < line.size(); ++i)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80)
            ++column;
    return byteColumn > line.size() + 1
               ? column + (byteColumn - 1 - static_cast<uint32_t>(line.size()))
               : column;
}

std::string lineOf(const std::string& source, uint32_t line) {
    size_t start = 0;
    for (uint32_t current = 1; current < line; ++current) {
        const size_t end = source.find('\n', start);
        if (end == std::string::npos)
            return std::string();
        start = end + 1;
    }
    size_t end = source.find('\n', start);
    if (end == std::string::npos)
        end = source.size();
    if (end > start && source[end - 1] == '\r')
        --end;
    return source.substr(start, end - start);
}

} // namespace mof
