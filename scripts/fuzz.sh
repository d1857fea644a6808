#!/usr/bin/env bash
# Builds the fuzz targets (clang, address and undefined-behaviour sanitizers, in build-san/) and
# runs each for SECONDS seconds, one after the other, on a corpus that grows from run to run.
#   scripts/fuzz.sh SECONDS [TARGET...]      (default: every target of fuzz/)
# Prints the executions of each run and appends them to build-san/fuzz/totals.txt; an input that
# breaks an invariant or crashes is kept in build-san/fuzz/crashes/. FUZZ_NO_BUILD=1 skips the
# build (to run two of these at once on a build made before).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_mail_reader fuzz_charsets fuzz_cp932_fields fuzz_ini fuzz_history
                                      fuzz_server_address fuzz_pop3_reader)
if [ -z "${FUZZ_NO_BUILD:-}" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CXX=clang++ cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWANDERPUP_SANITIZE=ON \
    -DWANDERPUP_FUZZ=ON "${launcher[@]}" >/dev/null
  cmake --build build-san --parallel "$(nproc)" --target "${targets[@]}"
fi
work=build-san/fuzz
mkdir -p "$work/crashes"
[ -f "$work/corpus/.seeded" ] || { python3 fuzz/seeds.py "$work/corpus" && touch "$work/corpus/.seeded"; }
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
status=0
for target in "${targets[@]}"; do
  mkdir -p "$work/corpus/$target"
  log="$work/$target.log"
  start=$(date +%s)
  if ! "build-san/fuzz/$target" "$work/corpus/$target" -max_total_time="$seconds" -timeout=30 \
      -rss_limit_mb=3072 -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/crashes/$target-" \
      >"$log" 2>&1; then
    echo "$target: FAILED (see $log)"
    status=1
  fi
  took=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$target: ${runs:-0} executions in $took s"
  echo "$(date -u +%FT%TZ) $target ${runs:-0} $took" >>"$work/totals.txt"
done
exit $status
