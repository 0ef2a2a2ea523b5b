// DataFile and PropertyFile against what a user would write by hand with the standard library,
// measured in the same run: loads read the file with std::ifstream into a std::map of the same keys
// and data (data file) or a std::vector of wide key/value pairs (property file); saves write the
// same bytes from those with std::ofstream. Saving is durable on both sides: the library flushes
// its replacement file to the disk and renames it over the old one, flushing the folder, so the
// baseline calls fsync on the file and on its folder.
#include "Ratios.h"

#include <zudava/zudava.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
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

// The durability the library gives a save: the file's bytes and its folder's entry on the disk.
void syncFileAndFolder(const std::string& host) {
    for (const std::string& name : {host, host.substr(0, host.rfind('/'))}) {
        const int fd = open(name.c_str(), O_RDONLY);
        if (fd < 0 || fsync(fd) != 0)
            throw std::runtime_error("fsync failed");
        close(fd);
    }
}

// ---- The baselines: the standard library by hand.

using DataMap = std::map<std::wstring, std::vector<unsigned char>>;
using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

uint32_t readLength(std::istream& in) {
    unsigned char le[4];
    in.read(reinterpret_cast<char*>(le), 4);
    return uint32_t(le[0]) | uint32_t(le[1]) << 8 | uint32_t(le[2]) << 16 | uint32_t(le[3]) << 24;
}

void writeLength(std::ostream& out, size_t length) {
    const char le[4] = {char(length), char(length >> 8), char(length >> 16), char(length >> 24)};
    out.write(le, 4);
}

DataMap loadDataMap(const std::string& host) {
    DataMap records;
    std::ifstream in(host, std::ios::binary);
    std::string keyBytes;
    while (in.peek() != std::ifstream::traits_type::eof()) {
        keyBytes.resize(readLength(in));
        in.read(&keyBytes[0], static_cast<std::streamsize>(keyBytes.size()));
        std::wstring key(keyBytes.size() / 2, L'\0');
        for (size_t i = 0; i < key.size(); ++i)
            key[i] = static_cast<unsigned char>(keyBytes[2 * i + 1]);
        std::vector<unsigned char> data(readLength(in));
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (!in)
            throw std::runtime_error("short file");
        records.emplace(std::move(key), std::move(data));
    }
    return records;
}

void saveDataMap(const std::string& host, const DataMap& records) {
    {
        std::ofstream out(host, std::ios::binary | std::ios::trunc);
        for (const auto& [key, data] : records) {
            writeLength(out, 2 * key.size());
            for (wchar_t c : key) {
                out.put('\0');
                out.put(static_cast<char>(c));
            }
            writeLength(out, data.size());
            out.write(reinterpret_cast<const char*>(data.data()),
                      static_cast<std::streamsize>(data.size()));
        }
        if (!out.flush())
            throw std::runtime_error("write failed");
    }
    syncFileAndFolder(host);
}

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

Pairs loadPairs(const std::string& host) {
    Pairs pairs;
    std::ifstream in(host);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            pairs.emplace_back(widen(line), std::wstring());
        else
            pairs.emplace_back(widen(line.substr(0, equals)), widen(line.substr(equals + 1)));
    }
    return pairs;
}

void savePairs(const std::string& host, const Pairs& pairs) {
    {
        std::ofstream out(host, std::ios::trunc);
        for (const auto& [key, value] : pairs) {
            out << narrow(key);
            if (!value.empty())
                out << '=' << narrow(value);
            out << '\n';
        }
        if (!out.flush())
            throw std::runtime_error("write failed");
    }
    syncFileAndFolder(host);
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
    const DataMap records = loadDataMap(names.host);
    for (auto _ : state)
        saveDataMap(names.host, records);
    if (readAll(names.host).size() != bytes.size()) // the same records, in the map's order
        state.SkipWithError("saved bytes differ");
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
    for (auto _ : state) {
        DataMap records = loadDataMap(names.host);
        benchmark::DoNotOptimize(records.size());
        state.PauseTiming();
        records = DataMap(); // the library frees its records at close, outside the timing too
        state.ResumeTiming();
    }
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
    for (auto _ : state) {
        Pairs pairs = loadPairs(names.host);
        benchmark::DoNotOptimize(pairs.size());
        state.PauseTiming();
        pairs = Pairs();
        state.ResumeTiming();
    }
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
    writeAll(names.host, text);
    const Pairs pairs = loadPairs(names.host);
    for (auto _ : state)
        savePairs(names.host, pairs);
    if (readAll(names.host) != text)
        state.SkipWithError("saved text differs");
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
