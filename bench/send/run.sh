#!/bin/sh
# Sending benchmarks. Usage: bench/send/run.sh [BUILD_DIR] [ROUNDS]
#  1. A bulk send to a 200-entry address book (mails of about 10 KB), from the click on "送信" to
#     "送信完了です。", against msmtp sending the same 200 mails ready-made through the same local
#     SMTP server (tests/servers), one msmtp process per mail, in the same run.
#  2. One mail with a 20 MB attachment against msmtp on the same mail, and the program's peak
#     resident memory growth during the send.
#  3. "アドレス帳" of the compose window on a 5,000-entry book (list filled and painted) against
#     `cat` of the same file.
# msmtp is installed when missing (Debian package msmtp).
set -eu
BUILD=${1:-$(dirname "$0")/../../build}
ROUNDS=${2:-3}
BENCH=$BUILD/bench/send/send_bench
[ -x "$BENCH" ] || { echo "build send_bench first"; exit 1; }
if ! command -v msmtp >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q msmtp
fi
quiet() { grep -v 'QStandardPaths\|raise()\|propagateSizeHints' || true; }
"$BENCH" bulk 200 "$ROUNDS" 2>&1 | quiet
"$BENCH" big 20 "$ROUNDS" 2>&1 | quiet
"$BENCH" list 5000 "$ROUNDS" 2>&1 | quiet
