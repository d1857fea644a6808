#!/bin/sh
# Opening a 5 MB code page 932 text in the history window's editor and "次を検索" through every hit
# of a common word, against `iconv -f CP932 -t UTF-8` of the same file plus `grep -o` of the word,
# measured in the same run, best of five each.
# Usage: bench/editor/run.sh [BUILD_DIR] [MB] [WORD]
set -eu
BUILD=${1:-$(dirname "$0")/../../build}
MB=${2:-5}
WORD=${3:-メール}
BENCH=$BUILD/bench/editor/editor_bench
[ -x "$BENCH" ] || { echo "build the editor_bench target first ($BENCH)"; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} WANDERPUP_HOME=$WORK LC_ALL=C.UTF-8
mkdir -p "$WORK/★MailData"
FILE=$WORK/big.txt

min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
now() { date +%s.%N; }
# Seconds taken by a command, its output discarded.
seconds() { s=$(now); "$@" > /dev/null; e=$(now); echo "$e - $s" | bc -l; }

"$BENCH" make "$FILE" "$MB"
echo "file: $(stat -c %s "$FILE") bytes, word $WORD"
cat "$FILE" > /dev/null
iconv -f CP932 -t UTF-8 "$FILE" > "$WORK/big.utf8"
count=$(grep -o "$WORD" "$WORK/big.utf8" | wc -l)

iconv_s=; grep_s=; ours_s=; line=
for i in 1 2 3 4 5; do
    iconv_s=$(min "$iconv_s" "$(seconds iconv -f CP932 -t UTF-8 "$FILE")")
    grep_s=$(min "$grep_s" "$(seconds sh -c "grep -o '$WORD' '$WORK/big.utf8' | wc -l")")
    line=$("$BENCH" open "$FILE" "$WORD" 2>/dev/null)
    ours_s=$(min "$ours_s" "$(echo "$line" | awk '{print $6}')")
done
base_s=$(echo "$iconv_s + $grep_s" | bc -l)
printf 'iconv -f CP932 -t UTF-8 FILE   %8.3f s\n' "$iconv_s"
printf 'grep -o WORD | wc -l           %8.3f s  (%s hits)\n' "$grep_s" "$count"
printf 'both                           %8.3f s\n' "$base_s"
printf 'open + search all, drawn       %8.3f s  ratio %.2f\n' "$ours_s" "$(echo "$ours_s / $base_s" | bc -l)"
echo "last run: $line"
