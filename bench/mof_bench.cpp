// The MOF compiler on the DMTF CIM Schema 2.49 (1,634 files, 9.5 MB): parsing alone, and parsing
// with checking (everything a compile does before it stores), against reading the same files into
// memory, the least any compiler must do. And `zudava compile` end to end, a process storing the
// schema into a fresh repository, against a process that only reads the files (wall time: the
// work happens in the child). Needs the shared reference data (../shared/data beside the
// checkout, or ZUDAVA_SHARED_DATA) and unzip; skips without them.
#include "Ratios.h"

#include "mof/Checker.h"
#include "mof/Parser.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

namespace {

class SchemaFiles {
public:
    SchemaFiles() {
        const char* shared = std::getenv("ZUDAVA_SHARED_DATA");
        const std::filesystem::path zip =
            (shared ? std::filesystem::path(shared)
                    : std::filesystem::path(ZUDAVA_SOURCE_DIR).parent_path() / "shared" / "data") /
            "cim_schema_2.49.0Final-MOFs.zip";
        if (!std::filesystem::exists(zip)) {
            error = "no " + zip.string();
            return;
        }
        std::random_device random;
        folder = std::filesystem::temp_directory_path() /
                 ("zudava-mof-bench-" + std::to_string(random()));
        std::filesystem::create_directories(folder);
        const std::string command =
            "unzip -q -o '" + zip.string() + "' -d '" + folder.string() + "'";
        if (std::system(command.c_str()) != 0)
            error = "unzip failed";
        main = (folder / "cim_schema_2.49.0.mof").string();
    }
    ~SchemaFiles() {
        std::error_code ignored;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ignored);
    }

    std::filesystem::path folder;
    std::string main;
    std::string error;
};

SchemaFiles& files() {
    static SchemaFiles schema;
    return schema;
}

// Reads each file once, as the parser's include pragmas do, without parsing.
void readOnly(benchmark::State& state) {
    if (!files().error.empty())
        return state.SkipWithError(files().error.c_str());
    for (auto _ : state) {
        size_t bytes = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(files().folder)) {
            std::string contents;
            std::string error;
            if (entry.is_regular_file() &&
                mof::Parser::readFile(entry.path().string(), contents, error))
                bytes += contents.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}

void parse(benchmark::State& state) {
    if (!files().error.empty())
        return state.SkipWithError(files().error.c_str());
    for (auto _ : state) {
        mof::Unit unit = mof::Parser().parseFile(files().main, "root\\cimv2");
        benchmark::DoNotOptimize(unit.statements.size());
    }
}

void parseAndCheck(benchmark::State& state) {
    if (!files().error.empty())
        return state.SkipWithError(files().error.c_str());
    for (auto _ : state) {
        mof::Unit unit = mof::Parser().parseFile(files().main, "root\\cimv2");
        mof::EmptySchema schema;
        mof::Checker checker(schema);
        checker.check(unit);
        benchmark::DoNotOptimize(unit.statements.size());
    }
}

// Runs `command` in a shell with a fresh, empty machine state folder; false if it failed.
bool runWithFreshState(const std::string& command, std::string& error) {
    const std::filesystem::path state =
        files().folder.parent_path() / (files().folder.filename().string() + "-state");
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
    std::filesystem::create_directories(state);
    const std::string line = "ZUDAVA_STATE_DIR='" + state.string() + "' " + command;
    const int status = std::system(line.c_str());
    std::filesystem::remove_all(state, ignored);
    if (status != 0)
        error = "failed: " + command;
    return status == 0;
}

void compileProcess(benchmark::State& state) {
    if (!files().error.empty())
        return state.SkipWithError(files().error.c_str());
    const std::string command =
        "'" ZUDAVA_TOOL "' compile '" + files().main + "' > /dev/null 2>&1 < /dev/null";
    for (auto _ : state) {
        std::string error;
        if (!runWithFreshState(command, error))
            return state.SkipWithError(error.c_str());
    }
}

void readProcess(benchmark::State& state) {
    if (!files().error.empty())
        return state.SkipWithError(files().error.c_str());
    const std::string command =
        "find '" + files().folder.string() + "' -name '*.mof' -exec cat {} + > /dev/null 2>&1";
    for (auto _ : state) {
        std::string error;
        if (!runWithFreshState(command, error))
            return state.SkipWithError(error.c_str());
    }
}

BENCHMARK(readOnly)->Name("cim_schema_parse/baseline")->Unit(benchmark::kMillisecond);
BENCHMARK(parse)->Name("cim_schema_parse/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(readOnly)->Name("cim_schema_parse_and_check/baseline")->Unit(benchmark::kMillisecond);
BENCHMARK(parseAndCheck)->Name("cim_schema_parse_and_check/zudava")->Unit(benchmark::kMillisecond);
#ifdef ZUDAVA_TOOL
BENCHMARK(readProcess)
    ->Name("cim_schema_compile_process/baseline")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(compileProcess)
    ->Name("cim_schema_compile_process/zudava")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

} // namespace

ZUDAVA_BENCHMARK_MAIN()
