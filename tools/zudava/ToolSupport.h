// What the event and provider commands share.
#pragma once

#include <string>

namespace tool {

// Names of groups, namespaces, classes and CLSIDs match without regard to (ASCII) case, as the
// profile functions, WMI and the registry match them.
bool sameName(const std::string& a, const std::string& b);

} // namespace tool
