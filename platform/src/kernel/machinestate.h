// The machine state folder: where what Windows keeps machine-wide (the registry, the Windows
// folder of profile files, the WMI repository) lives on this host.
#pragma once

#include <string>

namespace zp::kernel {

// $ZUDAVA_STATE_DIR, else $XDG_STATE_HOME/zudava, else ~/.local/state/zudava; read afresh at each
// call, so that a process (a test) may move to another machine by changing the environment.
std::string machineStateFolder();

// Creates `folder` and its missing parents (mode 0700 for what it creates). False with errno set
// when a part cannot be made.
bool makeFolders(const std::string& folder);

} // namespace zp::kernel
