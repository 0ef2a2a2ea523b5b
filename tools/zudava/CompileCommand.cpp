// zudava compile: the MOF compiler, storing into WMI through IWbemServices.
#include "Commands.h"
#include "WbemTarget.h"

#include "mof/Compiler.h"
#include "mof/MofError.h"

#include <zudava/zudava.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define ZUDAVA_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define ZUDAVA_ISATTY(fd) isatty(fd)
#endif

namespace tool {

namespace {

int compile(Tool& tool, const std::vector<std::string>& files) {
    if (files.empty())
        throw UsageError("no MOF file given (try zudava compile --help)");
    const std::string nameSpace = tool.nameSpace();
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    tool.initialiseCom();
    WbemTarget target([](const std::string& name) {
        try {
            return DEZE::WmiConnectionFactory::create(_bstr_t(DEZE::make_wstring(name).c_str()))
                .getServices();
        } catch (const _com_error& e) {
            throw mof::StoreError("cannot connect to namespace " + name + ": " +
                                      statusText(e.Error()),
                                  static_cast<uint32_t>(e.Error()));
        }
    });
    mof::Compiler compiler(target);
    const bool terminal = ZUDAVA_ISATTY(2) != 0;
    auto last = std::chrono::steady_clock::now();
    if (terminal)
        compiler.setProgress([&](const mof::Compiler::Counts& counts) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < std::chrono::milliseconds(100))
                return;
            last = now;
            err << "\rcompiling: " << counts.sources << " files, " << counts.classes << " classes, "
                << counts.instances << " instances" << std::flush;
        });
    auto clearProgress = [&] {
        if (terminal)
            err << "\r\033[K" << std::flush;
    };
    for (const std::string& file : files) {
        try {
            compiler.compileFile(file, nameSpace);
        } catch (const mof::MofError& e) {
            clearProgress();
            err << e.describe() << '\n';
            return kFailure;
        } catch (const mof::StoreError& e) {
            clearProgress();
            err << file << ": error: " << e.what() << '\n';
            return kFailure;
        }
    }
    clearProgress();
    const mof::Compiler::Counts& counts = compiler.counts();
    out << "compiled " << counts.files << (counts.files == 1 ? " file" : " files") << " ("
        << counts.sources << " with includes): " << counts.classes << " classes, "
        << counts.instances << " instances, " << counts.qualifiers << " qualifier declarations\n";
    return kSuccess;
}

const CommandGroup group(10, [](Tool& tool) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* command = tool.add(
        "compile", "compile MOF files into the WMI repository",
        "zudava compile -n root\\default model.mof",
        [&tool, files] { return compile(tool, *files); },
        "Compiles the files in the order given. Each file (with what it includes) is parsed and\n"
        "checked whole before anything of it is stored: a file with an error stores nothing, and\n"
        "the files after it are not compiled. -n names where to store, unless #pragma namespace\n"
        "says otherwise.");
    command->add_option("FILE", *files, "the MOF files")->type_name("");
});

} // namespace

} // namespace tool
