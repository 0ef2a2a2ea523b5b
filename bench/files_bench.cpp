// DataFile and PropertyFile against plain POSIX I/O of the same bytes as one buffer, measured in
// the same run. Saving is durable on both sides: the library flushes its replacement file to the
// disk before renaming it over the old one, so the baseline writes its buffer and calls fsync too.
#include "Ratios.h"

#include <zudava/zudava.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kCount = 100000;

// Z:\tmp\... for the library, /tmp/... for the baseline.
struct Names {
    explicit Names(const char* stem) {
        host = "/tmp/zudava-bench-" + std::to_string(getpid()) + "-" + stem;
        windows = L"Z:" + DEZE::make_wstring(host);
        for (wchar_t& c : windows)
            if (c == L'/')
                c = L'\\';
    }
    ~Names() { unlink(host.c_str()); }
    std::string host;
    std::wstring windows;
};

std::vector<DEZE::DataFile::Record> records() {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> size(64, 512);
    std::vector<DEZE::DataFile::Record> result;
    result.reserve(kCount);
    for (int i = 0; i < kCount; ++i)
        result.emplace_back(L"record-" + std::to_wstring(i),
                            std::vector<unsigned char>(static_cast<size_t>(size(random)),
                                                       static_cast<unsigned char>(i)));
    return result;
}

std::string propertyText() {
    std::string text = "# generated settings\n";
    for (int i = 0; i < kCount - 1; ++i)
        text += "key." + std::to_string(i) + " = value of setting " + std::to_string(i) + "\n";
    return text;
}

std::string readAll(const std::string& host) {
    const int fd = open(host.c_str(), O_RDONLY);
    if (fd < 0)
        throw std::runtime_error("open failed");
    const off_t size = lseek(fd, 0, SEEK_END);
    lseek(fd, 0, SEEK_SET);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (read(fd, &bytes[0], bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("read failed");
    close(fd);
    return bytes;
}

void writeAll(const std::string& host, const std::string& bytes) {
    const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        fsync(fd) != 0)
        throw std::runtime_error("write failed");
    close(fd);
}

// The bytes the data file holds after saving `all`.
std::string dataFileBytes(const Names& names, const std::vector<DEZE::DataFile::Record>& all) {
    DEZE::DataFile file{DEZE::File::Path(names.windows)};
    file.open(0x2);
    for (const auto& record : all)
        file.insert(record);
    file.close();
    return readAll(names.host);
}

void dataFileSave(benchmark::State& state) {
    const Names names("save.dat");
    const auto all = records();
    const std::string bytes = dataFileBytes(names, all);
    DEZE::DataFile file{DEZE::File::Path(names.windows)};
    for (auto _ : state) {
        state.PauseTiming();
        file.open(0x2);
        for (const auto& record : all)
            file.insert(record);
        state.ResumeTiming();
        file.close();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void dataFileSaveBaseline(benchmark::State& state) {
    const Names names("save-baseline.dat");
    const std::string bytes = dataFileBytes(names, records());
    for (auto _ : state)
        writeAll(names.host, bytes);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void dataFileLoad(benchmark::State& state) {
    const Names names("load.dat");
    const std::string bytes = dataFileBytes(names, records());
    DEZE::DataFile file{DEZE::File::Path(names.windows)};
    for (auto _ : state) {
        file.open(0x1);
        benchmark::DoNotOptimize(file.size());
        state.PauseTiming();
        file.close();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void dataFileLoadBaseline(benchmark::State& state) {
    const Names names("load-baseline.dat");
    const std::string bytes = dataFileBytes(names, records());
    for (auto _ : state)
        benchmark::DoNotOptimize(readAll(names.host));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void propertyFileLoad(benchmark::State& state) {
    const Names names("load.properties");
    const std::string text = propertyText();
    writeAll(names.host, text);
    DEZE::PropertyFile file{DEZE::File::Path(names.windows)};
    for (auto _ : state) {
        file.open(0x1);
        state.PauseTiming();
        file.close();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void propertyFileLoadBaseline(benchmark::State& state) {
    const Names names("load-baseline.properties");
    const std::string text = propertyText();
    writeAll(names.host, text);
    for (auto _ : state)
        benchmark::DoNotOptimize(readAll(names.host));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void propertyFileSave(benchmark::State& state) {
    const Names names("save.properties");
    const std::string text = propertyText();
    writeAll(names.host, text);
    DEZE::PropertyFile file{DEZE::File::Path(names.windows)};
    for (auto _ : state) {
        state.PauseTiming();
        file.open(0x3);
        state.ResumeTiming();
        file.close();
    }
    if (readAll(names.host) != text)
        state.SkipWithError("saved text differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void propertyFileSaveBaseline(benchmark::State& state) {
    const Names names("save-baseline.properties");
    const std::string text = propertyText();
    for (auto _ : state)
        writeAll(names.host, text);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

BENCHMARK(dataFileSave)->Name("DataFile save 100k records/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(dataFileSaveBaseline)
    ->Name("DataFile save 100k records/baseline")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(dataFileLoad)->Name("DataFile load 100k records/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(dataFileLoadBaseline)
    ->Name("DataFile load 100k records/baseline")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(propertyFileLoad)
    ->Name("PropertyFile load 100k lines/zudava")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(propertyFileLoadBaseline)
    ->Name("PropertyFile load 100k lines/baseline")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(propertyFileSave)
    ->Name("PropertyFile save 100k lines/zudava")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(propertyFileSaveBaseline)
    ->Name("PropertyFile save 100k lines/baseline")
    ->Unit(benchmark::kMillisecond);

} // namespace

ZUDAVA_BENCHMARK_MAIN()
