#include "zudava/files/ChunkedWriter.h"

namespace DEZE {

ChunkedWriter::ChunkedWriter(std::FILE* file) : m_file(file) {
    m_buffer.reserve(kChunk + 4096);
}

bool ChunkedWriter::write(const void* data, size_t size) {
    if (size < kChunk / 4) {
        m_buffer.append(static_cast<const char*>(data), size);
        return spill();
    }
    return flush() && put(data, size);
}

bool ChunkedWriter::flush() {
    const bool written = put(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return written;
}

bool ChunkedWriter::put(const void* data, size_t size) {
    m_good = m_good && (size == 0 || std::fwrite(data, 1, size, m_file) == size);
    return m_good;
}

} // namespace DEZE
