// zudava watch and zudava indicate: events through the WMI client interfaces.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tool {

struct WatchOptions {
    std::string nameSpace = "root\\cimv2";
    std::string query;
    long count = 0;     // stop after this many events; 0: no limit
    double timeout = 0; // stop after this many seconds; 0: no limit
};

// Prints each event that matches the query as MOF text, as it arrives, until `count` events
// came, `timeout` passed, or SIGINT or SIGTERM arrived. Returns 0, or 1 when the time ran out
// before `count` events came. Announces on `err` once the query is registered, so that a script
// knows when to send.
int runWatch(const WatchOptions& options, std::ostream& out, std::ostream& err);

struct IndicateOptions {
    std::string nameSpace = "root\\cimv2";
    std::string className;
    std::vector<std::string> assignments; // PROP=VALUE
};

// Makes one instance of an extrinsic event class with the given values and delivers it through
// the namespace's event sink.
int runIndicate(const IndicateOptions& options, std::ostream& out, std::ostream& err);

} // namespace tool
