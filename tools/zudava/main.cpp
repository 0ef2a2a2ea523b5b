// zudava: the command-line face of the library: a WMI client, the MOF compiler and the text
// conversions. The commands register themselves (see Commands.h).
#include "Commands.h"

#include <iostream>

int main(int argc, char** argv) {
    // Enumerations write many lines: let the streams buffer them.
    std::ios::sync_with_stdio(false);
    CLI::App app("zudava: browse and change WMI data, compile MOF files into the repository.",
                 "zudava");
    app.set_version_flag("--version", "zudava " ZUDAVA_VERSION);
    app.footer("Run 'zudava COMMAND --help' for a command's options and an example.");
    int code = tool::kFailure;
    {
        tool::Tool tool(app, std::cin, std::cout, std::cerr);
        for (tool::Setup setup : tool::commandGroups())
            setup(tool);
        code = tool.run(argc, argv);
    }
    std::cout.flush();
    return code;
}
