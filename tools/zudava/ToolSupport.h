// Small pieces that the event and provider commands share.
#pragma once

#include "Commands.h"

#include <zudava/zudava.h>

#include <iosfwd>
#include <string>

namespace tool {

// Names of groups, namespaces, classes and CLSIDs match without regard to (ASCII) case, as the
// profile functions, WMI and the registry match them.
bool sameName(const std::string& a, const std::string& b);

// Reads `text` by the CIM type of the property `name` of the object (of class `className`) and
// puts it. On a missing property or a value that does not fit its type, writes one line to `err`
// (prefixed with "zudava COMMAND: ") and returns false.
bool setPropertyFromText(DEZE::WmiObject& object, const std::string& className,
                         const std::string& name, const std::string& text, std::ostream& err,
                         const char* command);

} // namespace tool
