#!/bin/sh
# History deletion and address book benchmarks. Usage: bench/book/run.sh [BUILD_DIR] [ROUNDS]
#  1. "１件削除" of one mail (the middle one) of a received history of 10,000 records (about
#     323 MB), from the answer Yes to the rebuilt list painted, against `cp FILE copy && sync` of
#     the same file, in the same run, best of ROUNDS (default 3) each; memory growth of the
#     deletion from the process's resident size and peak before the click.
#  2. Opening the address book window with 5,000 entries, from its creation to painted (the main
#     window already up), against `cat FILE > /dev/null`, best of five each.
set -eu
BUILD=${1:-$(dirname "$0")/../../build}
ROUNDS=${2:-3}
BENCH=$BUILD/bench/book/book_bench
[ -x "$BENCH" ] || { echo "build book_bench first"; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/var/tmp}/book-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

now() { date +%s.%N; }
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# 1. One deletion per round, each on a fresh copy of the same history.
"$BENCH" make-history "$WORK/master" 10000
MASTER=$WORK/master/★MailData/ppdata2.data
echo "history: $(stat -c %s "$MASTER") bytes"
mkdir -p "$WORK/run/★MailData"
FILE=$WORK/run/★MailData/ppdata2.data
cp_s=; del_s=; lines=
for i in $(seq "$ROUNDS"); do
    cp "$MASTER" "$FILE"; sync
    s=$(now); cp "$FILE" "$WORK/copy" && sync; e=$(now)
    cp_s=$(min "$cp_s" "$(echo "$e - $s" | bc -l)")
    rm -f "$WORK/copy"; sync
    out=$("$BENCH" delete "$WORK/run" 5000 2>/dev/null)
    del_s=$(min "$del_s" "$(echo "$out" | awk '{print $2}')")
    lines="$lines
  $out"
done
printf 'cp FILE copy && sync           %8.3f s\n' "$cp_s"
printf '"１件削除" to list painted      %8.3f s  ratio %s\n' "$del_s" "$(echo "scale=2; $del_s / $cp_s" | bc -l)"
echo "runs:$lines"

# 2. The address book.
"$BENCH" make-book "$WORK/book" 5000
BOOK=$WORK/book/★MailData/Ppdata20.data
echo "address book: $(stat -c %s "$BOOK") bytes"
cat "$BOOK" > /dev/null
cat_s=; open_s=; rows=
for i in 1 2 3 4 5; do
    s=$(now); cat "$BOOK" > /dev/null; e=$(now)
    cat_s=$(min "$cat_s" "$(echo "$e - $s" | bc -l)")
    out=$("$BENCH" open-book "$WORK/book" 2>/dev/null)
    open_s=$(min "$open_s" "$(echo "$out" | awk '{print $2}')")
    rows=$(echo "$out" | awk '{print $4}')
done
printf 'cat FILE > /dev/null           %8.4f s\n' "$cat_s"
printf 'address book open, %s rows  %8.4f s\n' "$rows" "$open_s"
