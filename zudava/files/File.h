// Narrow-character files with a Windows name, an open-mode word and an in-process lock, and the
// path type that names them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include "zudava/Export.h"
#include "zudava/os/Mutex.h"

namespace DEZE {

class ZUDAVA_API File : public std::basic_fstream<char> {
public:
    // A Windows path split into volume ("C:"), directory ("\dir\sub\") and name ("file.txt").
    class ZUDAVA_API Path {
    public:
        Path();
        // Relative paths are taken against the folder of the program's executable, not the
        // current directory. Throws std::invalid_argument for an empty path ("null or empty
        // string passed as file path") and for one that cannot be resolved ("cannot determine
        // path").
        Path(const std::wstring& path);
        Path(const wchar_t* path);
        Path(const char* path);
        Path(const std::string& path);
        Path(const Path& other);
        Path& operator=(const Path& other);
        virtual ~Path();

        virtual const std::wstring& getVolume() const;
        virtual void setVolume(const std::wstring& volume);
        virtual const std::wstring& getDirectory() const;
        virtual void setDirectory(const std::wstring& directory);
        virtual const std::wstring& getName() const;
        virtual void setName(const std::wstring& name);

        // volume + directory + name, with nothing added between.
        operator std::wstring() const;

    private:
        void parse(const std::wstring& path);

        std::wstring m_volume;
        std::wstring m_directory;
        std::wstring m_name;
    };

    // Bits of the mode word; the others are kept but do not change how the file opens.
    static const unsigned long READ = 0x1;
    static const unsigned long WRITE = 0x2;
    static const unsigned long BINARY = 0x80000000;

    File();
    explicit File(const std::wstring& name);
    ~File() override;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    std::wstring getName() const;

    // Opens the named file (deny none); with WRITE a missing file is created. Throws
    // std::runtime_error("failed to open file.").
    virtual void open(unsigned long mode);
    // Throws std::runtime_error("failed to close file.") when the stream stays open.
    virtual void close();
    // Closes and reopens an open file with its mode, so that derived files write out and reload.
    virtual void synchronize();
    virtual unsigned long getMode() const;
    virtual void setMode(unsigned long mode);

    // The object's own lock, re-entrant for its owner; false when the mutex failed.
    bool lock();
    bool unlock();

    // Operations on names; none throws.
    static bool copy(const std::wstring& from, const std::wstring& to);
    static bool create(const std::wstring& name);
    static bool exists(const std::wstring& name);
    static bool remove(const std::wstring& name);
    static bool rename(const std::wstring& from, const std::wstring& to);

protected:
    // The open stream's whole content from its start, read in one piece after flushing what was
    // written; in text mode CR LF reads as LF on every host. The stream's state is left for the
    // caller to inspect and clear.
    std::string readContent();

    // Replaces the named file's whole content, in one step, with what `write` writes to the
    // stream it is given (see File.cpp). False when opening, `write` (by returning false) or
    // replacing failed; the file is then as it was.
    bool replaceContent(bool binary, const std::function<bool(std::FILE*)>& write);

private:
    std::wstring m_name;
    std::uint32_t m_mode;
    Mutex m_lock;
};

// Holds a File's lock for the life of a scope.
class ZUDAVA_API FileLock {
public:
    explicit FileLock(File& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    File* m_file;
};

// Compare the joined texts ignoring case.
ZUDAVA_API bool operator==(const File::Path& a, const File::Path& b);
ZUDAVA_API bool operator!=(const File::Path& a, const File::Path& b);
// Writes the joined text, each character as its low 8 bits.
ZUDAVA_API std::ostream& operator<<(std::ostream& stream, const File::Path& path);

} // namespace DEZE
