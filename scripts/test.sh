#!/usr/bin/env bash
# Builds and runs every test of one kind of build:
#   native    Linux, optimised (the default); also builds a program against the library
#   sanitize  Linux under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer
#   tsan      Linux under ThreadSanitizer (data races, lock order)
#   windows   the mingw-w64 cross build, run under Wine in a throwaway prefix
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

run_native() {
    bash scripts/deps.sh native
    step "native build"
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$jobs"
    step "native tests"
    ctest --preset default
    consumer_checks
}

run_sanitize() {
    bash scripts/deps.sh sanitize
    step "sanitizer build"
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize -j "$jobs"
    step "tests under ASan, LSan and UBSan"
    ctest --preset sanitize
}

run_tsan() {
    bash scripts/deps.sh tsan
    step "ThreadSanitizer build"
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$jobs"
    step "tests under ThreadSanitizer"
    ctest --preset tsan
}

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

case "$kind" in
    native) run_native ;;
    sanitize) run_sanitize ;;
    tsan) run_tsan ;;
    windows) run_windows ;;
    all) run_native; run_sanitize; run_tsan; run_windows ;;
    *) echo "usage: scripts/test.sh [native|sanitize|tsan|windows|all]" >&2; exit 2 ;;
esac
