// Text commands: what the library's conversions make of the bytes on standard input.
#include "Commands.h"

#include <zudava/zudava.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <sstream>

namespace tool {

namespace {

std::string readAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeUnits(std::ostream& out, const std::wstring& text) {
    const char* separator = "";
    for (wchar_t unit : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(unit) & 0xFFFFu);
        out << separator << hex;
        separator = " ";
    }
    out << '\n';
}

int escape(const Arguments&, std::istream& in, std::ostream& out, std::ostream&) {
    out << DEZE::Escaping(readAll(in));
    return kSuccess;
}

int utf16(const Arguments&, std::istream& in, std::ostream& out, std::ostream&) {
    writeUnits(out, DEZE::make_wstring(readAll(in)));
    return kSuccess;
}

int ansi(const Arguments&, std::istream& in, std::ostream& out, std::ostream&) {
    // UTF-8 in, through wide text, to the ANSI code page out.
    out << DEZE::w2a(DEZE::make_wstring(readAll(in)));
    return kSuccess;
}

int compareCommand(const Arguments& arguments, std::istream&, std::ostream& out,
                   std::ostream& err) {
    if (arguments.size() != 2) {
        err << "zudava compare: expected two texts\n";
        return kUsage;
    }
    const long result = DEZE::compare(arguments[0], arguments[1]);
    out << (result < 0 ? -1 : result > 0 ? 1 : 0) << '\n';
    return kSuccess;
}

} // namespace

const std::vector<Command>& textCommands() {
    static const std::vector<Command> list = {
        {"escape", "", "backslash-escape standard input (\\n, \\t, \\\", ...; NUL bytes dropped)",
         escape},
        {"utf16", "", "decode standard input as UTF-8 and print its UTF-16 units in hex", utf16},
        {"ansi", "", "convert standard input from UTF-8 to the ANSI code page", ansi},
        {"compare", "A B", "compare two texts ignoring case: prints -1, 0 or 1", compareCommand},
    };
    return list;
}

} // namespace tool
