#include "zudava/files/HostFileName.h"

#include <windows.h>

#include <cstdio>

namespace DEZE {

std::string hostFileName(const std::string& name) {
#if defined(_WIN32)
    return name;
#else
    return zp::hostFileName(name);
#endif
}

int renameHostFile(const std::string& from, const std::string& to) {
    return std::rename(hostFileName(from).c_str(), hostFileName(to).c_str());
}

int removeHostFile(const std::string& name) {
    return std::remove(hostFileName(name).c_str());
}

} // namespace DEZE
