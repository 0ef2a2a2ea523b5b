// zudava provider: the adapter's provider groups for people. Each function writes its report to
// the tool's `out`, its complaints to its `err`, and returns the exit code.
#pragma once

#include <string>

namespace tool {

class Tool;

// Exit code of `provider check` when it finds inconsistencies (1 stays for a failed command).
constexpr int kInconsistent = 3;

struct ProviderOptions {
    std::string nameSpace; // -n, with backslashes
    std::string group;
    std::string mode; // cleanup: ip or oop
    bool force = false;
};

int providerList(Tool& tool, const ProviderOptions& options);
int providerLink(Tool& tool, const ProviderOptions& options);
int providerUnlink(Tool& tool, const ProviderOptions& options);
int providerRemove(Tool& tool, const ProviderOptions& options);
int providerCleanup(Tool& tool, const ProviderOptions& options);
int providerCheck(Tool& tool, const ProviderOptions& options);

} // namespace tool
