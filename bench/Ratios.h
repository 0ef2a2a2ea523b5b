// Runs the registered benchmarks and then prints, for every case measured both by zudava and by a
// baseline in the same run, the speed ratio of the two.
//
// Name the two benchmarks "<case>/zudava" and "<case>/baseline"; the ratio printed is
// baseline time / zudava time, so 2.0 means zudava does the same work in half the time. Run with
// --benchmark_repetitions=N --benchmark_enable_random_interleaving=true on a busy machine.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            std::string name = run.benchmark_name();
            // Cases timed by the clock on the wall (a child process's work) carry this suffix.
            const std::string wall = "/real_time";
            if (name.size() > wall.size() &&
                name.compare(name.size() - wall.size(), wall.size(), wall) == 0)
                name.erase(name.size() - wall.size());
            const auto slash = name.rfind('/');
            if (slash == std::string::npos)
                continue;
            const std::string side = name.substr(slash + 1);
            if (side == "zudava" || side == "baseline")
                m_times[name.substr(0, slash)][side].push_back(run.GetAdjustedRealTime());
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-48s %12s\n", "case", "speed ratio");
        for (const auto& [name, sides] : m_times) {
            const auto ours = sides.find("zudava");
            const auto base = sides.find("baseline");
            if (ours == sides.end() || base == sides.end())
                continue;
            const double zudava = median(ours->second);
            if (zudava > 0)
                std::printf("%-48s %11.2fx\n", name.c_str(), median(base->second) / zudava);
        }
    }

private:
    static double median(std::vector<double> times) {
        std::sort(times.begin(), times.end());
        const size_t middle = times.size() / 2;
        return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    }

    // Every repetition's time per case and side; the ratio compares medians, which a machine
    // busy with other work disturbs least.
    std::map<std::string, std::map<std::string, std::vector<double>>> m_times;
};

inline int runWithRatios(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace bench

#define ZUDAVA_BENCHMARK_MAIN()                                                                    \
    int main(int argc, char** argv) {                                                              \
        return bench::runWithRatios(argc, argv);                                                   \
    }
