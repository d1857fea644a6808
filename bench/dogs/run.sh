#!/usr/bin/env bash
# Dog benchmarks under a virtual X display with a window manager, against a classic desktop pet
# measured the same way in the same run.
#   bench/dogs/run.sh [BUILD_DIR] [SECONDS]
# Needs xvfb, openbox, xdotool and oneko (scripts/install-deps.sh installs them).
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
bench="$build/bench/dogs/dog_bench"
[ -x "$bench" ] || { echo "build the dog_bench target first ($bench)"; exit 1; }
tick=$(getconf CLK_TCK)

source "$(dirname "$0")/../../scripts/lib/xdisplay.sh"
xdisplay_start 1280x800
xdisplay_wm
xvfb=$xd_xvfb wm=$xd_wm

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

# Measures the given processes, the X server and the window manager for $seconds after a 15 s
# warm-up (the allocators settle), with the
# pointer moving in a circle so that both kinds of pet have something to react to.
measure() {
  local label=$1; shift
  local procs=("$@")
  sleep 15
  local before=0 rss_before=0 x_before
  for p in "${procs[@]}"; do before=$((before + $(cpu_ticks "$p"))); rss_before=$((rss_before + $(rss_kb "$p"))); done
  x_before=$(( $(cpu_ticks "$xvfb") + $(cpu_ticks "$wm") ))
  local end=$((SECONDS + seconds)) a=0
  while [ $SECONDS -lt $end ]; do
    xdotool mousemove $((640 + (a % 400) - 200)) $((400 + ((a * 7) % 300) - 150)) 2>/dev/null || true
    a=$((a + 13)); sleep 0.5
  done
  local after=0 rss_after=0 x_after
  for p in "${procs[@]}"; do after=$((after + $(cpu_ticks "$p"))); rss_after=$((rss_after + $(rss_kb "$p"))); done
  x_after=$(( $(cpu_ticks "$xvfb") + $(cpu_ticks "$wm") ))
  awk -v l="$label" -v c=$((after - before)) -v x=$((x_after - x_before)) -v t="$tick" -v s="$seconds" \
      -v r0="$rss_before" -v r1="$rss_after" \
      'BEGIN { printf "%-12s cpu %.2f%% of one core (X server and window manager %.2f%%), memory %d kB -> %d kB (%+d kB)\n", l, 100*c/t/s, 100*x/t/s, r0, r1, r1-r0 }'
  echo "$((after - before)) $((x_after - x_before))" > "/tmp/dog-bench-$label.ticks"
}

echo "== creating ten dog windows"
"$bench" create 20

echo "== $seconds s of walking"
"$bench" walk $((seconds + 25)) >/dev/null &
dogs=$!; track "$dogs"
measure wanderpup "$dogs"
kill "$dogs" 2>/dev/null || true

oneko=$(command -v oneko || echo /usr/games/oneko)
if [ -x "$oneko" ]; then
  cats=()
  for i in $(seq 10); do "$oneko" -position "$((i * 20))x$((i * 10))" >/dev/null 2>&1 & cats+=($!); track $!; done
  measure oneko-x10 "${cats[@]}"
  for c in "${cats[@]}"; do kill "$c" 2>/dev/null || true; done
  read -r dog_cpu dog_x < /tmp/dog-bench-wanderpup.ticks
  read -r cat_cpu cat_x < /tmp/dog-bench-oneko-x10.ticks
  awk -v d="$dog_cpu" -v c="$cat_cpu" -v dx="$dog_x" -v cx="$cat_x" \
      'BEGIN { printf "ratio wanderpup / oneko x10: process cpu %.2f, with X server and window manager %.2f\n", (c ? d/c : 0), ((c+cx) ? (d+dx)/(c+cx) : 0) }'
else
  echo "oneko is not installed: no baseline"
fi
