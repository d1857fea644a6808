#!/usr/bin/env bash
# Shows the history window as a text editor on a virtual X display with a window manager: a
# Japanese text opened through "開く", a word found with the toolbar's search, and the text printed
# through the toolbar's "Print" into a PDF file.
#   scripts/editor-screenshot.sh [BUILD_DIR] [OUTPUT_DIR]
# Leaves OUTPUT_DIR/editor.png (the screen), editor-window.png (the window) and editor-print.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/editor-screenshots}
program="$build/bench/editor/editor_bench"
[ -x "$program" ] || { echo "build the editor_bench target first ($program)"; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

source scripts/lib/xdisplay.sh
home=$(mktemp -d)
at_exit rm -rf "$home"
mkdir -p "$home/★MailData"
QT_QPA_PLATFORM=offscreen "$program" make "$home/sample.txt" 0.02

xdisplay_start 1024x700
xdisplay_wm
xsetroot -solid '#3a8a55'

rm -f "$out/editor-print.pdf"
WANDERPUP_HOME="$home" QT_QPA_PLATFORM=xcb "$program" show "$home/sample.txt" メール "$out/editor-print.pdf" >/dev/null 2>&1 &
track $!
sleep 4
import -window root "$out/editor.png"
window=$(window 'sample.txt')
import -window "$window" -frame "$out/editor-window.png"
echo "$out/editor.png $out/editor-window.png $out/editor-print.pdf"
