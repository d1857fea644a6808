#!/usr/bin/env bash
# Takes a screenshot of Wanderpup on a virtual X display with a window manager and a green desktop.
# Usage: scripts/screenshot.sh OUTPUT.png [PROGRAM] [SECONDS]
# Prints the main window's client area position on the screen as "x y", for checks on the picture.
set -euo pipefail
out=${1:?output file}
program=${2:-build/Wanderpup/wanderpup}
wait=${3:-3}

home=${WANDERPUP_HOME:-$(mktemp -d)}
if [ -z "${WANDERPUP_HOME:-}" ]; then
  mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
  printf 'POP3=127.0.0.1\r\n' > "$home/petpost.ini"
fi

display=":$((300 + RANDOM % 200))"
Xvfb "$display" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
xsetroot -solid '#3a8a55'
WANDERPUP_HOME=$home "$program" >/dev/null 2>&1 &
pids+=($!)
sleep "$wait"
import -window root "$out"
window=$(xdotool search --onlyvisible --name 'Wanderpup' | head -1)
xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
