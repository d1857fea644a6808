#!/usr/bin/env bash
# Takes a screenshot of Wanderpup on a virtual X display with a window manager and a green desktop.
# Usage: scripts/screenshot.sh OUTPUT.png [PROGRAM] [SECONDS]
# Prints the main window's client area position on the screen as "x y", for checks on the picture.
set -euo pipefail
out=${1:?output file}
program=${2:-build/Wanderpup/wanderpup}
wait=${3:-3}

source "$(dirname "$0")/lib/xdisplay.sh"
home=${WANDERPUP_HOME:-$(mktemp -d)}
if [ -z "${WANDERPUP_HOME:-}" ]; then
  at_exit rm -rf "$home"
  mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
  printf 'POP3=127.0.0.1\r\n' > "$home/petpost.ini"
fi

xdisplay_start 1024x700
xdisplay_wm
xsetroot -solid '#3a8a55'
WANDERPUP_HOME=$home "$program" >/dev/null 2>&1 &
track $!
sleep "$wait"
import -window root "$out"
origin "$(window 'Wanderpup')"
