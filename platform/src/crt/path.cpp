// The C runtime's path splitting and joining and its safe environment reader.
#include <windows.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Piece {
    char* buffer;
    size_t size;
    const char* begin;
    const char* end;
};

} // namespace

ZP_EXTERN_C errno_t __cdecl _splitpath_s(const char* path, char* drive, size_t driveSize, char* dir,
                                         size_t dirSize, char* fname, size_t fnameSize, char* ext,
                                         size_t extSize) {
    Piece pieces[] = {{drive, driveSize, nullptr, nullptr},
                      {dir, dirSize, nullptr, nullptr},
                      {fname, fnameSize, nullptr, nullptr},
                      {ext, extSize, nullptr, nullptr}};
    bool valid = path != nullptr;
    for (const Piece& piece : pieces)
        valid = valid && (piece.buffer == nullptr) == (piece.size == 0);
    if (!valid) {
        for (const Piece& piece : pieces)
            if (piece.buffer != nullptr && piece.size != 0)
                piece.buffer[0] = 0;
        return EINVAL;
    }
    const char* p = path;
    const char* const end = path + strlen(path);
    pieces[0].begin = pieces[0].end = p;
    if (end - p >= 2 && p[1] == ':') {
        pieces[0].end = p + 2;
        p += 2;
    }
    const char* lastSeparator = nullptr;
    const char* lastDot = nullptr;
    for (const char* q = p; q != end; ++q) {
        if (*q == '\\' || *q == '/') {
            lastSeparator = q;
            lastDot = nullptr;
        } else if (*q == '.') {
            lastDot = q;
        }
    }
    const char* nameStart = lastSeparator != nullptr ? lastSeparator + 1 : p;
    pieces[1] = {dir, dirSize, p, nameStart};
    pieces[2] = {fname, fnameSize, nameStart, lastDot != nullptr ? lastDot : end};
    pieces[3] = {ext, extSize, lastDot != nullptr ? lastDot : end, end};
    for (const Piece& piece : pieces) {
        if (piece.buffer != nullptr && static_cast<size_t>(piece.end - piece.begin) >= piece.size) {
            for (const Piece& clear : pieces)
                if (clear.buffer != nullptr)
                    clear.buffer[0] = 0;
            return ERANGE;
        }
    }
    for (const Piece& piece : pieces) {
        if (piece.buffer == nullptr)
            continue;
        const size_t length = static_cast<size_t>(piece.end - piece.begin);
        memcpy(piece.buffer, piece.begin, length);
        piece.buffer[length] = 0;
    }
    return 0;
}

ZP_EXTERN_C errno_t __cdecl _makepath_s(char* path, size_t size, const char* drive, const char* dir,
                                        const char* fname, const char* ext) {
    if (path == nullptr || size == 0)
        return EINVAL;
    std::string result;
    if (drive != nullptr && drive[0] != 0) {
        result += drive[0];
        result += ':';
    }
    if (dir != nullptr && dir[0] != 0) {
        result += dir;
        if (result.back() != '\\' && result.back() != '/')
            result += '\\';
    }
    if (fname != nullptr)
        result += fname;
    if (ext != nullptr && ext[0] != 0) {
        if (ext[0] != '.')
            result += '.';
        result += ext;
    }
    if (result.size() >= size) {
        path[0] = 0;
        return ERANGE;
    }
    memcpy(path, result.c_str(), result.size() + 1);
    return 0;
}

ZP_EXTERN_C errno_t __cdecl getenv_s(size_t* required, char* buffer, size_t size,
                                     const char* name) {
    if (required == nullptr || name == nullptr || (buffer == nullptr && size != 0))
        return EINVAL;
    if (buffer != nullptr)
        buffer[0] = 0;
    const char* value = getenv(name);
    if (value == nullptr) {
        *required = 0;
        return 0;
    }
    const size_t length = strlen(value) + 1;
    *required = length;
    if (length > size)
        return ERANGE; // also the answer to a size query with no buffer
    memcpy(buffer, value, length);
    return 0;
}
