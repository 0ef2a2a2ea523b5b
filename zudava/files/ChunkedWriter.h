// Writes a file's new content to a C stream a mebibyte at a time (internal to the library).
#pragma once

#include <cstdio>
#include <string>

namespace DEZE {

// Small pieces are appended to a buffer that goes out whenever it holds a mebibyte; a piece
// larger than a quarter of that is written from where it lies. Once a write has failed, every
// later call reports false and writes nothing.
class ChunkedWriter {
public:
    static const size_t kChunk = 1 << 20;

    explicit ChunkedWriter(std::FILE* file);
    ChunkedWriter(const ChunkedWriter&) = delete;
    ChunkedWriter& operator=(const ChunkedWriter&) = delete;

    // The buffer to append small pieces to; call `spill` after each record.
    std::string& buffer() { return m_buffer; }
    // Writes the buffer out once it holds a chunk.
    bool spill() { return m_buffer.size() < kChunk ? m_good : flush(); }
    // Appends `size` bytes, or writes them from where they lie when they are large.
    bool write(const void* data, size_t size);
    // Writes out what the buffer holds.
    bool flush();

private:
    bool put(const void* data, size_t size);

    std::FILE* m_file;
    std::string m_buffer;
    bool m_good = true;
};

} // namespace DEZE
