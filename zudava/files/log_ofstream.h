// The log stream of the adapter's processes, its line-prefix manipulators and the string
// inserters that write text byte by byte.
#pragma once

#include <fstream>
#include <ostream>
#include <string>

#include "zudava/Export.h"

namespace DEZE {

// Appends to a log file between open and close. All log streams of a process take turns through
// one process-wide lock, held from open to close. The switches "log.cpa" and "trace.cpa" are read
// from the configuration file when the stream is built; the stream does not consult them itself.
class ZUDAVA_API log_ofstream : public std::basic_ofstream<char> {
public:
    log_ofstream(const std::string& logFileName, const std::string& configFileName);
    // A stream destroyed while open is closed first, so that the process-wide lock is given back.
    ~log_ofstream() override;
    log_ofstream(const log_ofstream&) = delete;
    log_ofstream& operator=(const log_ofstream&) = delete;

    unsigned char isLoggingEnabled();
    unsigned char isTraceEnabled();

    // Takes the log lock and appends to the log file; a file that does not open leaves the stream
    // failed, and nothing is written.
    void open();
    // Closes, moves a file grown past 4 MiB aside to "_name.ext", and gives the log lock back.
    void close();
    // Derives the next log file's name from the current one and `name`: the current name up to its
    // first dot, "_", `name` up to its first " -" with each "|" made "_", and ".log". So
    // "C:\logs\agent.log" with "root\cimv2 - step|2" gives "C:\logs\agent_root\cimv2.log".
    // Takes effect at the next open; false (and no change) for an empty name.
    bool setLogFileName(std::string name);

private:
    void initialize();
    void rotate();

    std::string m_logFileName;
    std::string m_configFileName;
    unsigned char m_loggingEnabled;
    unsigned char m_traceEnabled;
    unsigned m_lockHolds; // opens not yet matched by a close
};

// Line prefixes; each leaves the fill character at '0'.
// "YYYY-MM-DD hh:mm:ss.mmmm" in local time (four digits of milliseconds).
ZUDAVA_API std::ostream& timestamp(std::ostream& stream);
// The process id and the thread id, at least four digits each.
ZUDAVA_API std::ostream& pid(std::ostream& stream);
ZUDAVA_API std::ostream& tid(std::ostream& stream);

// Text character by character through the single-character inserter; wide characters as their
// low 8 bits.
ZUDAVA_API std::ostream& operator<<(std::ostream& stream, const std::string& text);
ZUDAVA_API std::ostream& operator<<(std::ostream& stream, const std::wstring& text);

} // namespace DEZE
