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

const char* const kCompileHelp =
    "usage: zudava compile [-n NAMESPACE] FILE...\n"
    "\n"
    "Compiles MOF files into the WMI repository, in the order given. Each file (with what it\n"
    "includes) is parsed and checked whole before anything of it is stored: a file with an\n"
    "error stores nothing, and the files after it are not compiled.\n"
    "\n"
    "  -n, --namespace NAMESPACE   where to store, unless #pragma namespace says otherwise\n"
    "                              (default root\\cimv2)\n"
    "\n"
    "example: zudava compile -n root\\default schema/cim_schema_2.49.0.mof\n";

// Initialises COM for the command's thread and undoes it at the end.
class ComScope {
public:
    ComScope() : m_status(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_status))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT status() const { return m_status; }

private:
    HRESULT m_status;
};

int compile(const Arguments& arguments, std::istream&, std::ostream& out, std::ostream& err) {
    std::string nameSpace = "root\\cimv2";
    std::vector<std::string> files;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            out << kCompileHelp;
            return kSuccess;
        }
        if (argument == "-n" || argument == "--namespace") {
            if (i + 1 == arguments.size()) {
                err << "zudava compile: " << argument << " needs a namespace\n";
                return kUsage;
            }
            nameSpace = arguments[++i];
        } else if (argument.size() > 1 && argument[0] == '-') {
            err << "zudava compile: unknown option '" << argument
                << "' (try zudava compile --help)\n";
            return kUsage;
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        err << "zudava compile: no MOF file given (try zudava compile --help)\n";
        return kUsage;
    }
    for (char& c : nameSpace)
        if (c == '/')
            c = '\\';

    const ComScope com;
    if (FAILED(com.status())) {
        err << "zudava compile: cannot initialise COM: " << statusText(com.status()) << '\n';
        return kFailure;
    }
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

} // namespace

const std::vector<Command>& mofCommands() {
    static const std::vector<Command> list = {
        {"compile", "[-n NS] FILE...", "compile MOF files into the WMI repository", compile},
    };
    return list;
}

} // namespace tool
