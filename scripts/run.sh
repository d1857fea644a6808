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

source scripts/lib/xdisplay.sh
xdisplay_start 1280x800
xdisplay_wm
"${start[@]}" &
track $!
main=$(window "Ver 1.0" 20) || main=
sleep 1
shots=("$PWD/build/wanderpup-screenshot.png")
import -window root "${shots[0]}"
if [ $demo = 1 ] && [ -n "$main" ]; then
  # The commands' places on the dog house ("受信", then "着信履歴"), from the client area's corner.
  read -r x y < <(origin "$main")
  xdotool mousemove $((x + 56)) $((y + 196)) click 1
  sleep 5
  shots+=("$PWD/build/wanderpup-demo-received.png")
  import -window root "${shots[1]}"
  # The dog that new mail brings out is born under the pointer, on the commands.
  dogs_clear_of $((x + 60)) $((y + 221)) || echo "run.sh: a dog still sits on 着信履歴" >&2
  xdotool mousemove $((x + 60)) $((y + 221)) click 1
  window "着信履歴" 10 >/dev/null || true
  sleep 2
  shots+=("$PWD/build/wanderpup-demo-history.png")
  import -window root "${shots[2]}"
fi
echo "No display: Wanderpup ran under Xvfb; screenshots saved to ${shots[*]}"
