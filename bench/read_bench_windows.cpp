// The read benchmark's Windows side: Debian has no Google Benchmark for mingw-w64, so this program
// times the same reads (ReadWorkload.h) itself and prints the median cost per object of its runs,
// for bench/run_read_bench.sh to set against the Linux program's. Under Wine it measures Wine's
// own WMI service.
#include "ReadWorkload.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The median of `runs` timings of `passes` reads, in microseconds per object; -1 if a read failed.
double medianMicrosecondsPerObject(size_t (*read)(IWbemServices*), IWbemServices* services,
                                   int runs, int passes) {
    std::vector<double> costs;
    for (int run = 0; run < runs; ++run) {
        size_t objects = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; pass < passes; ++pass) {
            const size_t got = read(services);
            if (!got)
                return -1;
            objects += got;
        }
        const double micros =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count();
        costs.push_back(micros / static_cast<double>(objects));
    }
    std::sort(costs.begin(), costs.end());
    return costs[costs.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int failed = 0;
    {
        const bench::Cimv2 cimv2;
        if (!cimv2.get()) {
            std::printf("no connection to root\\cimv2\n");
            failed = 1;
        } else {
            bench::enumerateServices(cimv2.get()); // warm up
            const struct {
                const char* name;
                size_t (*read)(IWbemServices*);
            } cases[] = {{"Win32_Service_enumerate", bench::enumerateServices},
                         {"Win32_Service_get", bench::getServices}};
            for (const auto& c : cases) {
                const double cost = medianMicrosecondsPerObject(c.read, cimv2.get(), runs, passes);
                if (cost < 0) {
                    std::printf("%s failed\n", c.name);
                    failed = 1;
                } else {
                    std::printf("%s %.3f us\n", c.name, cost);
                }
            }
        }
    }
    CoUninitialize();
    return failed;
}
