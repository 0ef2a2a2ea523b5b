// Object paths as the commands take them: a path without a namespace is in the -n namespace.
#pragma once

#include "Commands.h"

#include <zudava/zudava.h>

#include <string>

namespace tool {

// The path in `text` ("Item.Name=\"a\"", "root\\default:Item", a class name alone), in the -n
// namespace unless the text names one.
DEZE::WmiObjectPath objectPath(const Tool& tool, const std::string& text);

// The path of a class by name in the -n namespace.
DEZE::WmiObjectPath classPath(const Tool& tool, const std::string& className);

// Whether the text names an instance (it has keys, or is a singleton's Class=@) rather than a
// class: only an instance path has an '='.
bool namesInstance(const std::string& text);

} // namespace tool
