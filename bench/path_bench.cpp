// Parsing and rendering 100,000 instance paths of three keys: through the path parser's
// interface (the work bench/run_path_bench.sh times again under Wine against Wine's wmiutils)
// and through WmiObjectPath.
#include "PathWorkload.h"
#include "Ratios.h"

namespace {

class Com {
public:
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

void IWbemPath_parse_render(benchmark::State& state) {
    const Com com;
    const std::vector<std::wstring> texts = bench::instancePaths();
    for (auto _ : state)
        if (!bench::parseAndRender(texts))
            state.SkipWithError("a path call failed");
    state.SetItemsProcessed(int64_t(state.iterations() * texts.size()));
}

void WmiObjectPath_parse_render(benchmark::State& state) {
    const Com com;
    const std::vector<std::wstring> texts = bench::instancePaths();
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::parseAndRenderObjectPaths(texts));
    state.SetItemsProcessed(int64_t(state.iterations() * texts.size()));
}

} // namespace

BENCHMARK(IWbemPath_parse_render)->Unit(benchmark::kMillisecond);
BENCHMARK(WmiObjectPath_parse_render)->Unit(benchmark::kMillisecond);

ZUDAVA_BENCHMARK_MAIN();
