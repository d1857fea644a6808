#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-san/ (clang, with the fuzz targets of fuzz/ on the same build) and runs the whole suite.
#   scripts/sanitize.sh [ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++ cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWANDERPUP_SANITIZE=ON \
  -DWANDERPUP_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-san --parallel "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
cd build-san
ctest --output-on-failure --timeout 900 "$@"
