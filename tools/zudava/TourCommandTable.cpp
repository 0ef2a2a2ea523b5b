// Until the command framework lands: watch, indicate and provider in the tool's command table.
#include "Commands.h"
#include "EventCommands.h"
#include "ProviderCommands.h"

#include <zudava/zudava.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>

namespace tool {

namespace {

int parse(CLI::App& app, const Arguments& arguments, std::ostream& out, std::ostream& err) {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return -1;
    } catch (const CLI::ParseError& e) {
        err << "zudava " << app.get_name() << ": " << e.what() << '\n';
        return kUsage;
    }
    return kSuccess;
}

// WMI writes namespaces with backslashes; the shell user may type slashes.
void normalise(std::string& nameSpace) {
    std::replace(nameSpace.begin(), nameSpace.end(), '/', '\\');
}

template <typename Body>
int guarded(const char* name, Body body, std::ostream& err) {
    try {
        return body();
    } catch (const DEZE::WmiException& e) {
        err << "zudava " << name << ": " << (e.what() ? e.what() : "") << " (0x" << std::hex
            << static_cast<unsigned long>(e.getCode() & 0xFFFFFFFF) << std::dec << ")\n";
        return kFailure;
    }
}

int watch(const Arguments& arguments, std::istream&, std::ostream& out, std::ostream& err) {
    WatchOptions options;
    CLI::App app("", "watch");
    app.add_option("-n,--namespace", options.nameSpace);
    app.add_option("--count", options.count)->check(CLI::PositiveNumber);
    app.add_option("--timeout", options.timeout)->check(CLI::PositiveNumber);
    app.add_option("QUERY", options.query)->required();
    const int parsed = parse(app, arguments, out, err);
    if (parsed)
        return parsed < 0 ? kSuccess : parsed;
    normalise(options.nameSpace);
    return guarded(
        "watch", [&] { return runWatch(options, out, err); }, err);
}

int indicate(const Arguments& arguments, std::istream&, std::ostream& out, std::ostream& err) {
    IndicateOptions options;
    CLI::App app("", "indicate");
    app.add_option("-n,--namespace", options.nameSpace);
    app.add_option("CLASS", options.className)->required();
    app.add_option("VALUES", options.assignments);
    const int parsed = parse(app, arguments, out, err);
    if (parsed)
        return parsed < 0 ? kSuccess : parsed;
    normalise(options.nameSpace);
    return guarded(
        "indicate", [&] { return runIndicate(options, out, err); }, err);
}

int provider(const Arguments& arguments, std::istream&, std::ostream& out, std::ostream& err) {
    ProviderOptions options;
    CLI::App app("", "provider");
    app.require_subcommand(1);
    CLI::App* list = app.add_subcommand("list");
    CLI::App* link = app.add_subcommand("link");
    CLI::App* unlink = app.add_subcommand("unlink");
    CLI::App* remove = app.add_subcommand("remove");
    CLI::App* check = app.add_subcommand("check");
    for (CLI::App* sub : {list, link, unlink, remove, check})
        sub->add_option("-n,--namespace", options.nameSpace);
    for (CLI::App* sub : {link, unlink, remove})
        sub->add_option("GROUP", options.group)->required();
    for (CLI::App* sub : {unlink, remove})
        sub->add_flag("--force", options.force);
    const int parsed = parse(app, arguments, out, err);
    if (parsed)
        return parsed < 0 ? kSuccess : parsed;
    normalise(options.nameSpace);
    return guarded(
        "provider",
        [&] {
            if (*list)
                return providerList(options, out, err);
            if (*link)
                return providerLink(options, out, err);
            if (*unlink)
                return providerUnlink(options, out, err);
            if (*remove)
                return providerRemove(options, out, err);
            return providerCheck(options, out, err);
        },
        err);
}

} // namespace

const std::vector<Command>& tourCommands() {
    static const std::vector<Command> list = {
        {"watch", "QUERY", "print events as they arrive", watch},
        {"indicate", "CLASS PROP=VALUE...", "send one event", indicate},
        {"provider", "list|link|unlink|remove|check", "provider groups", provider},
    };
    return list;
}

} // namespace tool
