#include "machinestate.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zp::kernel {

std::string machineStateFolder() {
    const char* chosen = getenv("ZUDAVA_STATE_DIR");
    if (chosen && *chosen)
        return chosen;
    const char* xdg = getenv("XDG_STATE_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/zudava";
    const char* home = getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/state/zudava";
}

bool makeFolders(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const auto slash = folder.find_last_not_of('/') == std::string::npos
                           ? std::string::npos
                           : folder.rfind('/', folder.find_last_not_of('/'));
    if (slash != std::string::npos && slash != 0 && !makeFolders(folder.substr(0, slash)))
        return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace zp::kernel
