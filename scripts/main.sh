#!/usr/bin/env bash
# Builds the library and the zudava tool, then runs the tool's main job: a tour of what it does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh native
cmake --preset default >/dev/null
cmake --build --preset default --target zudava_tool
tool=build/default/bin/zudava

set -x
"$tool" --version
"$tool" --help
printf 'Gr\303\274\303\237e,\t"world"\n' | "$tool" escape
printf 'caf\303\251 \342\202\254 \344\270\255' | "$tool" utf16
"$tool" compare Abc aBC
