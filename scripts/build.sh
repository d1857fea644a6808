#!/usr/bin/env bash
# Configures and builds into build/; the ready program folder is build/Wanderpup/.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
# A developer machine with ccache rebuilds several checkouts from one cache.
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build --parallel "$(nproc)"
