// Where the adapter's configuration files live: the common data folder of the machine. Internal
// to the library.
#pragma once

#include <string>

namespace DEZE {

// The value of "CommonProgramFiles" (at most 260 characters), then "\Talvo\tlx\vedav\data\" and
// `fileName`; the bare `fileName` when the variable is not set. A value too long for the lookup
// buffer gives an empty text, which names no file: reads then find nothing and writes fail, rather
// than reaching some other file through a cut folder name.
std::string commonDataFile(const char* fileName);

} // namespace DEZE
