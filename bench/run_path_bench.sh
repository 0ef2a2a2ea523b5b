#!/bin/sh
# Parses and renders 100,000 instance paths of three keys on Linux (our path parser) and under
# Wine (Wine's wmiutils) in one run, and prints the speed ratio: Wine's time / ours, so above 1
# means ours is faster. Run from anywhere; RUNS sets the repetitions (default 5, medians compared).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${RUNS:-5}"
cd "$root"

[ -d build/default ] || cmake --preset default >/dev/null
cmake --build build/default --target path_bench >/dev/null
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake -S . -B build/mingw -DZUDAVA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build/mingw --target path_bench_windows >/dev/null

linux="$(build/default/bin/path_bench --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '/_median"/ { gsub(/"/, "", $1); sub(/_median$/, "", $1); print $1, $3 }')"

if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$(mktemp -d /tmp/zudava-wine-XXXXXX)"
    trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
    export WINEPREFIX
    WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
fi
wine="$(WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine build/mingw/bin/path_bench_windows.exe "$runs" | tr -d '\r')"

echo "Linux (zudava platform), median ms per 100,000 paths:"
echo "$linux" | sed 's/^/  /'
echo "Wine (wmiutils), median ms per 100,000 paths:"
echo "$wine" | sed 's/^/  /'
ours="$(echo "$linux" | awk '$1 == "IWbemPath_parse_render" { print $2 }')"
theirs="$(echo "$wine" | awk '$1 == "IWbemPath_parse_render" && $3 == "ms" { print $2 }')"
if [ -n "$ours" ] && [ -n "$theirs" ]; then
    awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "IWbemPath parse and render: %.2fx (Wine time / zudava time)\n", a / b }'
fi
