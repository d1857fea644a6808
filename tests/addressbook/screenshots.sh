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

source scripts/lib/xdisplay.sh
home=$(mktemp -d)
at_exit rm -rf "$home"
mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
printf 'SMTP=localhost\r\nPOP3=localhost\r\nMAIL=me@example.org\r\nAPOP=0\r\n' > "$home/petpost.ini"
"$bench" make-book "$home" 12
"$bench" make-history "$home" 3

xdisplay_start 1280x800
xdisplay_wm
xsetroot -solid '#4a7f5a'
WANDERPUP_HOME="$home" "$program" >/dev/null 2>&1 &
track $!
sleep 3

click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.5; }
shoot() { # window id, file
  read -r x y < <(origin "$1")
  read -r w h < <(xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
  import -window root -crop "$((w + 8))x$((h + 34))+$((x - 4))+$((y - 30))" "$2"
}

main=$(window "Ver 1.0")
xdotool windowmove "$main" 20 20
sleep 0.5
read -r mx my < <(origin "$main")

# "アドレス帳": the book with its twelve entries; then one registered by hand, and the second
# row selected.
click_at $((mx + 450)) $((my + 168))
sleep 1
book=$(window "^アドレス帳$")
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
history=$(window "^着信履歴$")
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
