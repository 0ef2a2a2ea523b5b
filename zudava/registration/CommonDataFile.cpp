#include "zudava/registration/CommonDataFile.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>

namespace DEZE {

std::string commonDataFile(const char* fileName) {
    char value[261] = {};
    size_t required = 0;
    const errno_t result = getenv_s(&required, value, sizeof value, "CommonProgramFiles");
    // A missing variable: 0 from current runtimes, EINVAL from older ones, and nothing required.
    if (required == 0 && (result == 0 || result == EINVAL))
        return fileName;
    if (result != 0)
        return std::string();
    return std::string(value) + "\\Talvo\\tlx\\vedav\\data\\" + fileName;
}

} // namespace DEZE
