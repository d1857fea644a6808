#!/usr/bin/env bash
# Screenshots of the address book window and of the history window after a deletion, on a
# virtual X display with a window manager, taken from the real program. Run by hand:
#   tests/addressbook/screenshots.sh [BUILD_DIR]
# Leaves build/screenshots/address-book.png, address-book-registered.png and
# history-after-delete.png.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
program="$build/Wanderpup/wanderpup"
bench="$build/bench/book/book_bench"
[ -x "$program" ] && [ -x "$bench" ] || { echo "build wanderpup and book_bench first"; exit 1; }
out="$build/screenshots"
mkdir -p "$out"

home=$(mktemp -d)
mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
printf 'SMTP=localhost\r\nPOP3=localhost\r\nMAIL=me@example.org\r\nAPOP=0\r\n' > "$home/petpost.ini"
"$bench" make-book "$home" 12
"$bench" make-history "$home" 3

n=140
while [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
export DISPLAY=:$n
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$home"; }
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
xsetroot -solid '#4a7f5a'
WANDERPUP_HOME="$home" "$program" >/dev/null 2>&1 &
pids+=($!)
sleep 3

origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }
click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.5; }
shoot() { # window id, file
  read -r x y < <(origin "$1")
  read -r w h < <(xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
  import -window root -crop "$((w + 8))x$((h + 34))+$((x - 4))+$((y - 30))" "$2"
}

main=$(xdotool search --name "Ver 1.0" | head -1)
xdotool windowmove "$main" 20 20
sleep 0.5
read -r mx my < <(origin "$main")

# "アドレス帳": the book with its twelve entries; then one registered by hand, and the second
# row selected.
click_at $((mx + 450)) $((my + 168))
sleep 1
book=$(xdotool search --name "^アドレス帳$" | head -1)
shoot "$book" "$out/address-book.png"
read -r bx by < <(origin "$book")
click_at $((bx + 150)) $((by + 18))
xdotool type --delay 20 "Suzuki Hanako"
click_at $((bx + 150)) $((by + 46))
xdotool type --delay 20 "hanako@example.jp"
click_at $((bx + 40)) $((by + 78))
sleep 0.5
click_at $((bx + 60)) $((by + 130))
shoot "$book" "$out/address-book-registered.png"

# "着信履歴": click the second mail, "１件削除", answer Yes with the keyboard.
click_at $((mx + 60)) $((my + 221))
sleep 1
history=$(xdotool search --name "^着信履歴$" | head -1)
xdotool windowmove "$history" 480 40
sleep 0.5
read -r hx hy < <(origin "$history")
click_at $((hx + 100)) $((hy + 129))
click_at $((hx + 50)) $((hy + 72))
sleep 1
xdotool key Return
sleep 1
xdotool mousemove $((hx + 600)) $((hy + 80)) # onto the bare window: the help box goes
sleep 0.5
shoot "$history" "$out/history-after-delete.png"
echo "address book: $(stat -c %s "$home/★MailData/Ppdata20.data") bytes; history: $(stat -c %s "$home/★MailData/ppdata2.data") bytes"
ls -1 "$out"/address-book*.png "$out"/history-after-delete.png
