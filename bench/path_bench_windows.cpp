// The object path benchmark's Windows side: Debian has no Google Benchmark for mingw-w64, so this
// program times the same work (PathWorkload.h) itself and prints the median of its runs, for
// bench/run_path_bench.sh to set against the Linux program's. Under Wine it measures Wine's
// wmiutils.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "PathWorkload.h"

namespace {

template <typename Work>
double medianMilliseconds(Work work, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!work())
            return -1;
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const std::vector<std::wstring> texts = bench::instancePaths();
    bench::parseAndRender(texts); // warm up
    const double raw = medianMilliseconds([&] { return bench::parseAndRender(texts); }, runs);
    if (raw < 0)
        std::printf("IWbemPath_parse_render failed\n");
    else
        std::printf("IWbemPath_parse_render %.3f ms\n", raw);
    try {
        const double wrapped =
            medianMilliseconds([&] { return bench::parseAndRenderObjectPaths(texts); }, runs);
        std::printf("WmiObjectPath_parse_render %.3f ms\n", wrapped);
    } catch (const DEZE::WmiException& e) {
        std::printf("WmiObjectPath_parse_render skipped: %s\n", e.what());
    }
    CoUninitialize();
    return raw < 0;
}
