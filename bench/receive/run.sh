#!/usr/bin/env bash
# Receiving benchmarks. Usage: bench/receive/run.sh [BUILD_DIR] [MAILS] [ROUNDS]
#  1. OpenHistory on a received history of 32767 records (about 1 GB) against
#     `cat FILE > /dev/null` of the same file, in the same run, best of three each.
#  2. A receive click on MAILS (default 1000) waiting mails against the transport's own calls and
#     against mpop (apt install mpop) on the same mails, on the real POP3 server of tests/servers,
#     all over STARTTLS, taking turns, median of ROUNDS (default 7): once without a window, once
#     as the user waits for it, a mouse click on the visible main window on a virtual X display
#     until the window has painted the result.
set -eu
BUILD=${1:-$(dirname "$0")/../../build}
MAILS=${2:-1000}
ROUNDS=${3:-7}
HIST=$BUILD/bench/receive/history_bench
RECV=$BUILD/bench/receive/receive_bench
[ -x "$HIST" ] && [ -x "$RECV" ] || { echo "build history_bench and receive_bench first"; exit 1; }
WORK=$(mktemp -d)
. "$(dirname "$0")/../../scripts/lib/xdisplay.sh"
at_exit rm -rf "$WORK"

now() { date +%s.%N; }
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

"$HIST" make "$WORK" 32767
FILE=$WORK/★MailData/ppdata2.data
echo "history: $(stat -c %s "$FILE") bytes"
cat "$FILE" > /dev/null # into the page cache, for both readers alike
cat_s=; open_s=; line=
for i in 1 2 3; do
    s=$(now); cat "$FILE" > /dev/null; e=$(now)
    cat_s=$(min "$cat_s" "$(echo "$e - $s" | bc -l)")
    out=$("$HIST" open "$WORK" 2>/dev/null)
    open_s=$(min "$open_s" "$(echo "$out" | awk '{print $2}')")
    line=$out
done
printf 'cat FILE > /dev/null     %8.3f s\n' "$cat_s"
printf 'OpenHistory(1), painted  %8.3f s  ratio %s\n' "$open_s" "$(echo "scale=2; $open_s / $cat_s" | bc -l)"
echo "last run: $line"

echo "without a window:"
"$RECV" "$MAILS" "$ROUNDS" 2>&1 | grep -v 'QStandardPaths\|raise()'
echo "the visible window:"
xdisplay_start 1280x1024
xdisplay_wm
BENCH_VISIBLE=1 "$RECV" "$MAILS" "$ROUNDS" 2>&1 | grep -v 'QStandardPaths\|raise()'
echo "memory:"
BENCH_BIG=20 "$RECV" 1 1 2>&1 | grep -v 'QStandardPaths\|raise()'
