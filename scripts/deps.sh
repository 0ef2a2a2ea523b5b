#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages a build needs that the machine lacks.
#   scripts/deps.sh [native|sanitize|windows|fuzz|all]...   (default: native)
set -euo pipefail

packages_for() {
    case "$1" in
        native) echo g++ cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev \
                     libbenchmark-dev libsqlite3-dev libxml2-dev libxml2-utils libcli11-dev unzip ;;
        sanitize) packages_for native ;;
        tsan) packages_for native ;;
        fuzz) echo clang libclang-rt-14-dev cmake ninja-build ;;
        windows) echo cmake ninja-build googletest libcli11-dev g++-mingw-w64-x86-64 wine wine64 ;;
        all) for kind in native windows fuzz; do packages_for "$kind"; done ;;
        *) echo "deps.sh: unknown kind '$1'" >&2; exit 2 ;;
    esac
}

wanted=()
for kind in "${@:-native}"; do
    for package in $(packages_for "$kind"); do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            wanted+=("$package")
        fi
    done
done
[ ${#wanted[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${wanted[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${wanted[@]}"
