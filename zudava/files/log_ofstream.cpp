#include "zudava/files/log_ofstream.h"

#include <windows.h>

#include <stdlib.h>

#include <cctype>
#include <cstring>
#include <iomanip>

#include "zudava/files/HostFileName.h"
#include "zudava/os/Mutex.h"

namespace DEZE {

namespace {

// Serialises the log streams of the whole process.
Mutex s_logMutex;

const std::streamoff kRotationSize = 0x400000;

const char* skipSpace(const char* p) {
    while (*p != 0 && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

} // namespace

log_ofstream::log_ofstream(const std::string& logFileName, const std::string& configFileName)
    : m_logFileName(logFileName), m_configFileName(configFileName), m_loggingEnabled(0),
      m_traceEnabled(0), m_lockHolds(0) {
    s_logMutex.lock(0xFFFFFFFF);
    try {
        initialize();
    } catch (...) {
        s_logMutex.unlock();
        throw;
    }
    s_logMutex.unlock();
}

// The process-wide lock must not stay taken for ever by a stream that is gone. The owner of a
// kernel mutex is a thread, so this works when the stream dies on the thread that opened it, as
// streams on the stack do; a stream opened on one thread and destroyed on another leaves the lock
// to be freed when the opening thread ends.
log_ofstream::~log_ofstream() {
    try {
        while (m_lockHolds > 0)
            close();
    } catch (...) {
    }
}

unsigned char log_ofstream::isLoggingEnabled() {
    return m_loggingEnabled;
}

unsigned char log_ofstream::isTraceEnabled() {
    return m_traceEnabled;
}

void log_ofstream::initialize() {
    static const char* const keys[] = {"log.cpa", "trace.cpa"};
    unsigned char* const switches[] = {&m_loggingEnabled, &m_traceEnabled};
    m_loggingEnabled = 0;
    m_traceEnabled = 0;
    std::ifstream config;
    openShared(config, m_configFileName, std::ios_base::in);
    if (!config.is_open() || !config)
        return;
    char buffer[1024];
    while (!config.eof() && !config.fail()) {
        buffer[0] = 0;
        config.getline(buffer, sizeof buffer);
        // Strip trailing white space, skip leading white space, comments and empty lines.
        size_t length = std::strlen(buffer);
        while (length > 0 && std::isspace(static_cast<unsigned char>(buffer[length - 1])))
            buffer[--length] = 0;
        const char* line = skipSpace(buffer);
        if (*line == 0 || *line == '#')
            continue;
        for (size_t row = 0; row < 2; ++row) {
            const size_t keyLength = std::strlen(keys[row]);
            if (std::strncmp(line, keys[row], keyLength) != 0)
                continue;
            const char* p = skipSpace(line + keyLength);
            if (*p == '=')
                *switches[row] = std::strcmp(skipSpace(p + 1), "on") == 0 ? 1 : 0;
            break;
        }
    }
    config.close();
}

void log_ofstream::open() {
    s_logMutex.lock(0xFFFFFFFF);
    ++m_lockHolds;
    try {
        // Appending; `ate` starts the stream's position at the file's end, so that its write
        // position is the file's size on every runtime (some leave it at what this stream wrote).
        openShared(static_cast<std::basic_ofstream<char>&>(*this), m_logFileName,
                   std::ios_base::out | std::ios_base::app | std::ios_base::ate);
    } catch (...) {
    }
}

void log_ofstream::close() {
    std::streamoff size = -1;
    try {
        size = static_cast<std::streamoff>(tellp());
        std::basic_ofstream<char>::close();
        if (size > kRotationSize)
            rotate();
    } catch (...) {
    }
    clear();
    setf(std::ios_base::dec | std::ios_base::oct | std::ios_base::hex);
    if (m_lockHolds > 0) {
        --m_lockHolds;
        s_logMutex.unlock();
    }
}

void log_ofstream::rotate() {
    // The runtime's path pieces hold at most 255 characters, and on Windows a piece that does not
    // fit ends the process through the invalid-parameter handler. A name of 256 characters or more
    // may have such a piece, so those logs are never rotated.
    if (m_logFileName.size() >= _MAX_DIR)
        return;
    char drive[_MAX_DRIVE];
    char dir[_MAX_DIR];
    char fname[_MAX_FNAME];
    char ext[_MAX_EXT];
    if (_splitpath_s(m_logFileName.c_str(), drive, sizeof drive, dir, sizeof dir, fname,
                     sizeof fname, ext, sizeof ext) != 0)
        return;
    const std::string rotatedName = std::string("_") + fname;
    char rotated[_MAX_PATH + 1];
    if (_makepath_s(rotated, sizeof rotated, drive, dir, rotatedName.c_str(), ext) != 0)
        return;
    removeHostFile(rotated);
    renameHostFile(m_logFileName, rotated);
}

bool log_ofstream::setLogFileName(std::string name) {
    if (name.empty())
        return false;
    const size_t dot = m_logFileName.find('.');
    if (dot != std::string::npos)
        m_logFileName.erase(dot);
    const size_t dash = name.find(" -");
    if (dash != std::string::npos)
        name.erase(dash);
    for (char& c : name)
        if (c == '|')
            c = '_';
    m_logFileName += "_" + name + ".log";
    return true;
}

std::ostream& timestamp(std::ostream& stream) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    stream.fill('0');
    stream << std::setw(4) << now.wYear << '-' << std::setw(2) << now.wMonth << '-' << std::setw(2)
           << now.wDay << ' ' << std::setw(2) << now.wHour << ':' << std::setw(2) << now.wMinute
           << ':' << std::setw(2) << now.wSecond << '.' << std::setw(4) << now.wMilliseconds;
    return stream;
}

std::ostream& pid(std::ostream& stream) {
    stream.fill('0');
    return stream << std::setw(4) << GetCurrentProcessId();
}

std::ostream& tid(std::ostream& stream) {
    stream.fill('0');
    return stream << std::setw(4) << GetCurrentThreadId();
}

std::ostream& operator<<(std::ostream& stream, const std::string& text) {
    for (char c : text)
        stream << c;
    return stream;
}

std::ostream& operator<<(std::ostream& stream, const std::wstring& text) {
    for (wchar_t c : text)
        stream << static_cast<char>(c & 0xFF);
    return stream;
}

} // namespace DEZE
