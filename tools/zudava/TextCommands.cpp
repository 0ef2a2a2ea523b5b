// Text commands: what the library's conversions make of the bytes on standard input.
#include "Commands.h"

#include <zudava/zudava.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>

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

const CommandGroup group(90, [](Tool& tool) {
    tool.add("escape", "backslash-escape standard input (\\n, \\t, \\\", ...; NUL bytes dropped)",
             "printf 'a\\tb' | zudava escape", [&tool] {
                 tool.out << DEZE::Escaping(readAll(tool.in));
                 return kSuccess;
             });
    tool.add("utf16", "decode standard input as UTF-8 and print its UTF-16 units in hex",
             "printf 'caf\\303\\251' | zudava utf16", [&tool] {
                 writeUnits(tool.out, DEZE::make_wstring(readAll(tool.in)));
                 return kSuccess;
             });
    // UTF-8 in, through wide text, to the ANSI code page out.
    tool.add("ansi", "convert standard input from UTF-8 to the ANSI code page",
             "printf 'caf\\303\\251' | ZUDAVA_ACP=1252 zudava ansi", [&tool] {
                 tool.out << DEZE::w2a(DEZE::make_wstring(readAll(tool.in)));
                 return kSuccess;
             });
    auto texts = std::make_shared<std::vector<std::string>>();
    CLI::App* compare = tool.add("compare", "compare two texts ignoring case: prints -1, 0 or 1",
                                 "zudava compare Abc aBC", [&tool, texts] {
                                     const long result = DEZE::compare((*texts)[0], (*texts)[1]);
                                     tool.out << (result < 0 ? -1 : result > 0 ? 1 : 0) << '\n';
                                     return kSuccess;
                                 });
    compare->add_option("TEXTS", *texts, "the two texts, A and B")->required()->expected(2);
});

} // namespace

} // namespace tool
