// zudava provider: the adapter's provider groups for people. Each function writes its report to
// `out`, its complaints to `err`, and returns the exit code.
#pragma once

#include <iosfwd>
#include <string>

namespace tool {

// Exit code of `provider check` when it finds inconsistencies (1 stays for a failed command).
constexpr int kInconsistent = 3;

struct ProviderOptions {
    std::string nameSpace = "root\\cimv2";
    std::string group;
    std::string mode; // cleanup: ip or oop
    bool force = false;
};

int providerList(const ProviderOptions& options, std::ostream& out, std::ostream& err);
int providerLink(const ProviderOptions& options, std::ostream& out, std::ostream& err);
int providerUnlink(const ProviderOptions& options, std::ostream& out, std::ostream& err);
int providerRemove(const ProviderOptions& options, std::ostream& out, std::ostream& err);
int providerCleanup(const ProviderOptions& options, std::ostream& out, std::ostream& err);
int providerCheck(const ProviderOptions& options, std::ostream& out, std::ostream& err);

} // namespace tool
