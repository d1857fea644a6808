#!/usr/bin/env bash
# Start-up to the main window shown, against a bare Qt window of the same size, in one run.
# Usage: bench/startup/run.sh [BUILD_DIR]   (needs hyperfine: apt-get install hyperfine)
set -euo pipefail
build=${1:-build}
bin="$build/bench/startup/startup_bench"
home=$(mktemp -d)
mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
printf 'POP3=127.0.0.1\r\n' > "$home/petpost.ini"
display=":$((200 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb; rm -rf "$home"' EXIT
sleep 1
export DISPLAY=$display WANDERPUP_HOME=$home
hyperfine -N --warmup 3 --runs 30 "$bin minimal" "$bin wanderpup"
