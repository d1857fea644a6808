#!/bin/sh
# Reading and compacting a 10,000-record history (323 MB), against cat and cp of the same file
# measured in the same run; keeping a 20 MB original with LF line ends against as it came. Usage: bench/store/run.sh [BUILD_DIR] [WORK_DIR]
set -eu
BUILD=${1:-$(dirname "$0")/../../build}
WORK=${2:-$(mktemp -d)}
BENCH=$BUILD/bench/store/store_bench
FILE=$WORK/ppdata2.data
[ -x "$BENCH" ] || { echo "build the store_bench target first ($BENCH)"; exit 1; }

now() { date +%s.%N; }
# Seconds taken by a command (its output discarded).
seconds() { s=$(now); "$@" > /dev/null; e=$(now); echo "$e - $s" | bc -l; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
best() { # the best of three runs
    b=; for i in 1 2 3; do b=$(min "$b" "$(seconds "$@")"); done; echo "$b"
}
prog() { # the program's own figure (the time it prints), best of three
    b=; for i in 1 2 3; do b=$(min "$b" "$("$BENCH" "$@" | awk '{print $2}')"); done; echo "$b"
}

"$BENCH" make "$FILE" 10000
sync
echo "history: $(stat -c %s "$FILE") bytes in $WORK"
cat "$FILE" > /dev/null # into the page cache, for every reader alike

cat_s=$(best sh -c "cat '$FILE' > /dev/null")
list_s=$(prog list "$FILE")
fields_s=$(prog fields "$FILE")
bodies_s=$(prog bodies "$FILE")
printf 'cat FILE > /dev/null              %8.3f s\n' "$cat_s"
printf 'ReadRecord Heading + 3 fields     %8.3f s  ratio %s\n' "$list_s" "$(ratio "$list_s" "$cat_s")"
printf 'ReadRecord All + 3 fields         %8.3f s  ratio %s\n' "$fields_s" "$(ratio "$fields_s" "$cat_s")"
printf 'ReadRecord All + body decoded     %8.3f s  ratio %s\n' "$bodies_s" "$(ratio "$bodies_s" "$cat_s")"

# Compaction writes a new file and flushes it to disk; cp only fills the page cache, so it is
# measured both ways. Each compaction removes one record, so each round starts from a fresh copy.
cp_s=; cpsync_s=; compact_s=
for i in 1 2 3; do
    rm -f "$WORK/copy"
    cp_s=$(min "$cp_s" "$(seconds cp "$FILE" "$WORK/copy")")
    rm -f "$WORK/copy"; sync
    cpsync_s=$(min "$cpsync_s" "$(seconds sh -c "cp '$FILE' '$WORK/copy' && sync '$WORK/copy'")")
    rm -f "$WORK/copy"; cp "$FILE" "$WORK/ppdata5.data"; sync
    compact_s=$(min "$compact_s" "$("$BENCH" compact "$WORK/ppdata5.data" | awk '{print $2}')")
    rm -f "$WORK/ppdata5.data"
done
printf 'cp FILE copy                      %8.3f s\n' "$cp_s"
printf 'cp FILE copy && sync copy         %8.3f s\n' "$cpsync_s"
printf 'MarkDeleted + CompactHistory      %8.3f s  ratio %s to cp, %s to cp+sync\n' "$compact_s" \
    "$(ratio "$compact_s" "$cp_s")" "$(ratio "$compact_s" "$cpsync_s")"

# Originals: a 20 MB mail kept with LF line ends against one kept as it travelled.
"$BENCH" originals "$WORK"

[ -n "${2:-}" ] || rm -rf "$WORK"
