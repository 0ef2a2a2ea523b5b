#include "MofError.h"

namespace mof {

MofError::MofError(std::string file, uint32_t line, uint32_t column, std::string message,
                   std::string sourceLine)
    : std::runtime_error(file + ":" + std::to_string(line) + ":" + std::to_string(column) +
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

} // namespace mof
