#include "Commands.h"

#include "ComScope.h"
#include "Status.h"

#include <algorithm>
#include <iostream>
#include <map>

namespace tool {

namespace {

std::multimap<int, Setup>& registry() {
    static std::multimap<int, Setup> groups;
    return groups;
}

const char* formatName(Format format) {
    switch (format) {
    case Format::Table:
        return "table";
    case Format::Mof:
        return "mof";
    case Format::Json:
        return "json";
    case Format::Xml:
        return "xml";
    }
    return "";
}

// CLI11 says "The following argument was not expected: x"; people read that better as what
// was wrong with which word.
std::string parseMessage(const CLI::ParseError& e) {
    std::string text = e.what();
    for (const char* prefix : {"The following argument was not expected: ",
                               "The following arguments were not expected: "}) {
        const std::string head = prefix;
        if (text.compare(0, head.size(), head) == 0) {
            const std::string rest = text.substr(head.size());
            return (rest.size() > 1 && rest[0] == '-' ? "unknown option '"
                                                      : "unexpected argument '") +
                   rest + "'";
        }
    }
    return text;
}

// Help that starts with the usage line, then says what the command does.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App*) const override { return {}; }
    std::string make_usage(const CLI::App* app, std::string name) const override {
        std::string text = CLI::Formatter::make_usage(app, std::move(name));
        if (!app->get_description().empty())
            text += app->get_description() + "\n";
        return text;
    }
};

} // namespace

CommandGroup::CommandGroup(int order, Setup setup) {
    registry().emplace(order, setup);
}

std::vector<Setup> commandGroups() {
    std::vector<Setup> setups;
    for (const auto& entry : registry())
        setups.push_back(entry.second);
    return setups;
}

std::wstring wideText(const std::string& text) {
    return DEZE::make_wstring(text);
}

std::string utf8Text(const std::wstring& text) {
    return DEZE::make_string(text);
}

std::string utf8Text(const _bstr_t& text) {
    const wchar_t* units = static_cast<const wchar_t*>(text);
    return units ? utf8Text(std::wstring(units, text.length())) : std::string();
}

Tool::Tool(CLI::App& app, std::istream& in, std::ostream& out, std::ostream& err)
    : in(in), out(out), err(err), m_app(app) {
    m_app.formatter(std::make_shared<HelpFormatter>());
    m_app.get_formatter()->label("Usage", "usage");
    m_app.get_formatter()->label("Subcommands", "Commands");
    m_app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    m_app.get_formatter()->column_width(28);
}

Tool::~Tool() = default;

CLI::App* Tool::add(const std::string& name, const std::string& summary, const std::string& example,
                    std::function<int()> body, const std::string& details) {
    CLI::App* command = m_app.add_subcommand(name, summary);
    command->add_option("-n,--namespace", m_nameSpace, "the WMI namespace (default root\\cimv2)")
        ->type_name("NAMESPACE");
    command->footer((details.empty() ? "" : details + "\n\n") + "example: " + example);
    m_commands.push_back({command, std::move(body)});
    return command;
}

void Tool::addFormat(CLI::App* command, Format& format, std::initializer_list<Format> allowed) {
    std::vector<std::string> names;
    std::vector<Format> formats(allowed);
    for (Format each : allowed)
        names.push_back(formatName(each));
    command
        ->add_option_function<std::string>(
            "--format",
            [&format, formats](const std::string& name) {
                for (Format each : formats)
                    if (name == formatName(each))
                        format = each;
            },
            std::string("the output format (default ") + formatName(format) + ")")
        ->check(CLI::IsMember(names))
        ->type_name("FORMAT");
}

std::string Tool::nameSpace() const {
    std::string text = m_nameSpace;
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

bool Tool::nameSpaceGiven() const {
    for (const Command& command : m_commands)
        if (command.app->parsed() && command.app->count("--namespace") > 0)
            return true;
    return false;
}

void Tool::initialiseCom() {
    if (!m_com)
        m_com = std::make_unique<ComScope>();
}

DEZE::WmiConnection Tool::connect() {
    return connect(nameSpace());
}

DEZE::WmiConnection Tool::connect(const std::string& nameSpace) {
    initialiseCom();
    return DEZE::WmiConnectionFactory::create(_bstr_t(wideText(nameSpace).c_str()));
}

int Tool::run(int argc, const char* const* argv) {
    m_app.require_subcommand(0, 1);
    // Before CLI11 reads it: a first word that names no command is a mistake in the command,
    // not an argument CLI11 did not expect.
    if (argc > 1 && argv[1][0] != '-' && std::string(argv[1]) != "help" &&
        !std::any_of(m_commands.begin(), m_commands.end(),
                     [&](const Command& command) { return command.app->check_name(argv[1]); })) {
        err << "zudava: unknown command '" << argv[1] << "' (try zudava --help)\n";
        return kUsage;
    }
    if (argc < 2 || std::string(argv[1]) == "help") {
        (argc < 2 ? err : out) << m_app.help();
        return argc < 2 ? kUsage : kSuccess;
    }
    for (const Command& command : m_commands)
        for (CLI::Option* option : command.app->get_options())
            if (option->get_positional())
                option->type_name("");
    try {
        m_app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return m_app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return m_app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return m_app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        const std::vector<CLI::App*> parsed = m_app.get_subcommands();
        const std::string name = parsed.empty() ? "zudava" : "zudava " + parsed.back()->get_name();
        err << name << ": " << parseMessage(e) << " (try " << name << " --help)\n";
        return kUsage;
    }
    for (const Command& command : m_commands) {
        if (!command.app->parsed())
            continue;
        const std::string name = "zudava " + command.app->get_name();
        try {
            return command.body();
        } catch (const UsageError& e) {
            err << name << ": " << e.what() << '\n';
            return kUsage;
        } catch (const DEZE::WmiException& e) {
            err << name << ": " << statusText(static_cast<HRESULT>(e.getCode())) << ": "
                << utf8Text(e.getMessage()) << '\n';
        } catch (const _com_error& e) {
            err << name << ": " << statusText(e.Error()) << '\n';
        } catch (const std::exception& e) {
            err << name << ": " << e.what() << '\n';
        }
        return kFailure;
    }
    err << m_app.help();
    return kUsage;
}

} // namespace tool
