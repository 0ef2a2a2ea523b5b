// zudava watch and zudava indicate: events through the WMI client interfaces.
#pragma once

#include <string>
#include <vector>

namespace tool {

class Tool;

struct WatchOptions {
    std::string query;
    long count = 0;     // stop after this many events; 0: no limit
    double timeout = 0; // stop after this many seconds; 0: no limit
};

// Prints each event that matches the query in the -n namespace as MOF text, as it arrives, until
// `count` events came, `timeout` passed, or SIGINT or SIGTERM arrived. Returns 0, or 1 when the
// time ran out before `count` events came. Announces on `err` once the query is registered, so that
// a script knows when to send.
int runWatch(Tool& tool, const WatchOptions& options);

struct IndicateOptions {
    std::string className;
    std::vector<std::string> assignments; // PROP=VALUE
};

// Makes one instance of an extrinsic event class with the given values and delivers it through
// the -n namespace's event sink.
int runIndicate(Tool& tool, const IndicateOptions& options);

} // namespace tool
