#pragma once

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// Clean-up of the provider registrations that the adapter has made on this machine.
class ZUDAVA_API UtilityManager {
public:
    // `mode`, in any letter case:
    //  - "IP": removes every group of the group configuration file, in file order, with its COM
    //    server and its links; true when at least one removal succeeded;
    //  - "OOP": unlinks the adapter's shared provider "Talvo|Fennick|DodaVuzavareVizerod" from
    //    every namespace the groups list (each once, in any letter case) or, when the file knows
    //    no group, from the namespaces "supportedNamespaces" names in "deze.properties" and from
    //    root\talvose; the result of the last unlink.
    // Any other word does nothing and returns false. Initialises COM on the calling thread (and
    // the process's COM security, unless it is set already) for the call, and leaves the thread
    // uninitialised again with the connection cache emptied: run it on a thread whose COM state is
    // not needed afterwards.
    static bool cleanUpRegistrationProvider(std::string mode);
};

} // namespace DEZE
