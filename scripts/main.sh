#!/usr/bin/env bash
# Builds the library and the zudava tool, then runs the tool's main job: a tour of what it does
# (scripts/tour.sh) on the embedded WMI service, in a fresh machine state folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh native
cmake --preset default >/dev/null
cmake --build --preset default --target zudava_tool
bash scripts/tour.sh build/default/bin/zudava
