#!/usr/bin/env bash
# Start-up to the main window shown, against a bare Qt window of the same size, in one run.
# Usage: bench/startup/run.sh [BUILD_DIR]   (needs hyperfine: apt-get install hyperfine)
set -euo pipefail
build=${1:-build}
bin="$build/bench/startup/startup_bench"
source "$(dirname "$0")/../../scripts/lib/xdisplay.sh"
home=$(mktemp -d)
at_exit rm -rf "$home"
mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
printf 'POP3=127.0.0.1\r\n' > "$home/petpost.ini"
xdisplay_start 1280x800
export WANDERPUP_HOME=$home
hyperfine -N --warmup 3 --runs 30 "$bin minimal" "$bin wanderpup"
