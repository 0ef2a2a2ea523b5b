#!/bin/sh
# Reads Win32_Service through public COM on Linux (our service) and under Wine (Wine's own WMI)
# in one run, and prints each side's cost per object and the ratio: Wine's cost / ours, so above 1
# means ours is faster. Run from anywhere. RUNS sets the repetitions of each side (default 3):
# medians are compared. Wine's service reads every service's state for each call, so its side
# takes about a minute.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${RUNS:-3}"
cd "$root"

[ -d build/default ] || cmake --preset default >/dev/null
cmake --build build/default --target read_bench >/dev/null
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake -S . -B build/mingw -DZUDAVA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build/mingw --target read_bench_windows >/dev/null

csv="$(mktemp /tmp/zudava-read-bench-XXXXXX.csv)"
build/default/bin/read_bench --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true --benchmark_out="$csv" \
    --benchmark_out_format=csv >/dev/null 2>&1
# items_per_second is objects per second of wall time: its inverse is the cost of one object.
linux="$(awk -F, '/_median"/ { gsub(/"/, "", $1); sub(/_median$/, "", $1); sub(/\/real_time$/, "", $1);
    printf "%s %.3f us\n", $1, 1e6 / $7 }' "$csv")"
rm -f "$csv"

if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$(mktemp -d /tmp/zudava-wine-XXXXXX)"
    trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
    export WINEPREFIX
    WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
fi
wine="$(WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine build/mingw/bin/read_bench_windows.exe "$runs" 1 2>/dev/null | tr -d '\r')"

echo "Linux (zudava platform), median microseconds per object:"
echo "$linux" | sed 's/^/  /'
echo "Wine (its own WMI service), median microseconds per object:"
echo "$wine" | sed 's/^/  /'
for case in Win32_Service_enumerate Win32_Service_get; do
    ours="$(echo "$linux" | awk -v c="$case" '$1 == c { print $2 }')"
    theirs="$(echo "$wine" | awk -v c="$case" '$1 == c && $3 == "us" { print $2 }')"
    if [ -n "$ours" ] && [ -n "$theirs" ]; then
        awk -v c="$case" -v a="$theirs" -v b="$ours" \
            'BEGIN { printf "%s: %.2fx (Wine cost / zudava cost)\n", c, a / b }'
    fi
done
