#!/usr/bin/env bash
# Builds and runs every test of one kind of build:
#   native    Linux, optimised (the default); also builds a program against the library
#   sanitize  Linux under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer
#   tsan      Linux under ThreadSanitizer (data races, lock order)
#   windows   the mingw-w64 cross build, run under Wine in a throwaway prefix
#   fuzz      every libFuzzer target for FUZZ_SECONDS seconds (default 30) from its seed corpus
#   all       all of the above
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-native}"
jobs="$(nproc)"

step() { printf '\n==== %s\n' "$*"; }

consumer_checks() {
    step "a program outside the tree, through add_subdirectory"
    rm -rf build/consumer-subdir build/consumer-package build/install
    cmake -S tests/consumer -B build/consumer-subdir -G Ninja -DZUDAVA_SOURCE_DIR="$PWD" >/dev/null
    cmake --build build/consumer-subdir
    build/consumer-subdir/consumer
    step "a program outside the tree, through find_package after cmake --install"
    cmake --install build/default --prefix "$PWD/build/install" >/dev/null
    cmake -S tests/consumer -B build/consumer-package -G Ninja \
        -DCMAKE_PREFIX_PATH="$PWD/build/install" >/dev/null
    cmake --build build/consumer-package
    build/consumer-package/consumer
}

# build_and_test <deps kind> <preset> <what>: installs, configures, builds and runs one preset.
build_and_test() {
    bash scripts/deps.sh "$1"
    step "$3 build"
    cmake --preset "$2" >/dev/null
    cmake --build --preset "$2" -j "$jobs"
    step "$3 tests"
    ctest --preset "$2"
}

run_native() {
    build_and_test native default native
    consumer_checks
}

run_sanitize() { build_and_test sanitize sanitize "ASan, LSan and UBSan"; }

run_tsan() { build_and_test tsan tsan ThreadSanitizer; }

run_windows() {
    bash scripts/deps.sh windows
    step "Windows cross build"
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw -j "$jobs"
    step "Windows tests under Wine"
    WINEPREFIX="$(mktemp -d /tmp/zudava-wine-XXXXXX)"
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
    wineboot -i >/dev/null 2>&1 || true
    ctest --preset mingw
}

run_fuzz() {
    bash scripts/deps.sh fuzz
    step "fuzz build"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs"
    local seconds="${FUZZ_SECONDS:-30}" root="$PWD" work source name
    work="$(mktemp -d /tmp/zudava-fuzz-XXXXXX)"
    for source in fuzz/*.cpp; do
        name="$(basename "$source" .cpp)"
        step "fuzzing $name for $seconds s"
        mkdir -p "$work/$name"
        [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/$name/"
        if ! (cd "$work" && "$root/build/fuzz/bin/$name" -max_total_time="$seconds" -timeout=10 \
                -rss_limit_mb=2048 -print_final_stats=1 "$work/$name" >"$work/$name.log" 2>&1); then
            tail -n 60 "$work/$name.log"
            rm -rf "$work"
            return 1
        fi
        tail -n 6 "$work/$name.log"
    done
    rm -rf "$work"
}

case "$kind" in
    native) run_native ;;
    sanitize) run_sanitize ;;
    tsan) run_tsan ;;
    windows) run_windows ;;
    fuzz) run_fuzz ;;
    all) run_native; run_sanitize; run_tsan; run_windows; run_fuzz ;;
    *) echo "usage: scripts/test.sh [native|sanitize|tsan|windows|fuzz|all]" >&2; exit 2 ;;
esac
