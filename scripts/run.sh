#!/usr/bin/env bash
# Installs what is missing, builds and starts Wanderpup.
#   scripts/run.sh        the demo: a program folder in build/demo wired to local mail servers
#                         (started here, stopped when the program ends) with sample mails waiting
#   scripts/run.sh --own  the program on its own folder build/Wanderpup, for a real account
# Without a display the program runs under a virtual X display and screenshots are saved; the
# demo also clicks "受信" and "着信履歴" for them.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=1
case "${1:-}" in
  --own) demo=0 ;;
  "") ;;
  *) echo "usage: scripts/run.sh [--own]" >&2; exit 2 ;;
esac
scripts/install-deps.sh
scripts/build.sh

program=build/Wanderpup/wanderpup
if [ $demo = 1 ]; then start=(/usr/bin/python3 scripts/demo/demo.py --build build); else start=("$program"); fi
if [ -n "${DISPLAY:-}" ]; then
  exec "${start[@]}"
fi

n=90
while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wm=
app=
cleanup() {
  # The demo runner ends the program and stops its mail servers on TERM; wait for that.
  [ -n "$app" ] && { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; }
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wm=$!
# Windows mapped while the window manager is still taking over the screen may stay hidden.
for _ in $(seq 100); do
  [[ "$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *"window id"* ]] && break
  sleep 0.1
done
"${start[@]}" &
app=$!
main=
for _ in $(seq 100); do
  main=$(xdotool search --onlyvisible --name "Ver 1.0" 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.2
done
sleep 1
shots=("$PWD/build/wanderpup-screenshot.png")
import -window root "${shots[0]}"
if [ $demo = 1 ] && [ -n "$main" ]; then
  # The commands' places on the dog house ("受信", then "着信履歴"), from the client area's corner.
  read -r x y < <(xwininfo -id "$main" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
  xdotool mousemove $((x + 56)) $((y + 196)) click 1
  sleep 5
  shots+=("$PWD/build/wanderpup-demo-received.png")
  import -window root "${shots[1]}"
  xdotool mousemove $((x + 60)) $((y + 221)) click 1
  sleep 2
  shots+=("$PWD/build/wanderpup-demo-history.png")
  import -window root "${shots[2]}"
fi
echo "No display: Wanderpup ran under Xvfb; screenshots saved to ${shots[*]}"
