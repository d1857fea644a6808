#!/usr/bin/env bash
# Sending and receiving as over a real network. Usage: bench/network/run.sh [BUILD_DIR] [ROUNDS]
# The real servers of tests/servers behind delay_proxy.py (25 ms each way: a 50 ms round trip),
# the program's visible windows clicked with the mouse on a virtual X display, against msmtp and
# mpop through the same proxy (installed when missing), median of ROUNDS (default 7):
#  1. one mail from the compose window (STARTTLS, AUTH) against msmtp;
#  2. a check of 20 mails (STARTTLS) against mpop.
set -eu
BUILD=${1:-$(dirname "$0")/../../build}
ROUNDS=${2:-7}
BENCH=$BUILD/bench/network/network_bench
[ -x "$BENCH" ] || { echo "build network_bench first"; exit 1; }
missing=()
for tool in msmtp mpop; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
. "$(dirname "$0")/../../scripts/lib/xdisplay.sh"
xdisplay_start 1280x1024
xdisplay_wm
quiet() { grep -v 'QStandardPaths\|raise()\|propagateSizeHints' || true; }
BENCH_VISIBLE=1 "$BENCH" send "$ROUNDS" 2>&1 | quiet
BENCH_VISIBLE=1 "$BENCH" check 20 "$ROUNDS" 2>&1 | quiet
