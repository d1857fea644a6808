#!/usr/bin/env bash
# Screenshots of the windows as a user meets them, under a virtual X display with a window
# manager, at one scale factor:
#   first-start.png   the first start: the server dialog over the main window (active.txt says
#                     which window has the keyboard focus)
#   main.png          the main window, with zooms of its captions and of the doorway
#   keyboard.png      the main window after Tab, Tab, Tab (the focused command is marked)
#   idpass.png        the ID dialog with a password typed
#   settings.png      the dog settings window, settings-small.png after shrinking it
#   history.png       the history window on a mail with a long subject, address and date,
#                     history-small.png after shrinking it
#   refused.png       "受信" against a server that refuses the connection
#   silent.png        "受信" against a server that accepts and says nothing, 4 s into the wait
#   scripts/window-screenshots.sh [BUILD_DIR] [OUTPUT_DIR] [SCALE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/screenshots/windows}
scale=${3:-1}
program="$(pwd)/$build/Wanderpup/wanderpup"
[ -x "$program" ] || { echo "build the wanderpup target first ($program)"; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

source scripts/lib/xdisplay.sh
work=$(mktemp -d)
at_exit rm -rf "$work"
xdisplay_start "$((1280 * scale))x$((960 * scale))"
xdisplay_wm
xsetroot -solid '#3a8a55'

# A listener that accepts connections and never answers; one that is closed.
silent_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -c "
import socket, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', $silent_port)); s.listen(5)
held = []
while True:
    c, _ = s.accept(); held.append(c)
" &
track $!
closed_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

# A program folder; $1 is the POP3 server ("" for a first start without petpost.ini).
folder() {
  local home="$work/$2"
  mkdir -p "$home"
  cp -r "$build/Wanderpup/." "$home/"
  rm -f "$home/wanderpup"
  if [ -n "$1" ]; then
    printf 'SMTP=127.0.0.1\r\nPOP3=%s\r\nMAIL=taro@example.jp\r\nAPOP=0\r\n' "$1" > "$home/petpost.ini"
    printf '[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n' > "$home/★MailData/iniIdPass.ini"
  fi
  echo "$home"
}

app=
start() { # start HOME
  WANDERPUP_HOME="$1" QT_SCALE_FACTOR=$scale "$program" >/dev/null 2>&1 &
  app=$!
  track "$app"
  sleep 3
}
stop() { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; sleep 0.5; }
# The window manager's frame around a window: the window's ancestor just below the root.
outer() { # outer WINDOW
  local id=$1 parent root
  root=$(xwininfo -root | awk '/Window id/ {print $4}')
  while parent=$(xwininfo -children -id "$id" | awk '/Parent window id/ {print $4}') && [ "$parent" != "$root" ]; do
    id=$parent
  done
  echo "$id"
}
# The window with its frame.
frame() { # frame WINDOW NAME
  import -window root -crop "$(xwininfo -id "$(outer "$1")" | awk '/Width/ {w=$2} /Height/ {h=$2} /Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {printf "%dx%d+%d+%d", w, h, x, y}')" "$out/$2.png"
  mogrify +repage "$out/$2.png"
}
# Click at client coordinates (logical pixels) of a window.
click() { # click WINDOW X Y
  local ox oy
  read -r ox oy < <(origin "$1")
  xdotool mousemove $((ox + $2 * scale)) $((oy + $3 * scale)) click 1
  sleep 0.8
}
zoom() { # zoom SHOT NAME X Y W H   (client coordinates of the main window in SHOT)
  convert "$out/$1.png" -crop "$(($5 * scale))x$(($6 * scale))+$(($3 * scale + fx))+$(($4 * scale + fy))" +repage \
    -scale $((400 / scale))% "$out/$2.png"
}

# First start: no petpost.ini.
home=$(folder "" first)
start "$home"
import -window root "$out/first-start.png"
xdotool getactivewindow getwindowname > "$out/active.txt" 2>/dev/null || echo "(none)" > "$out/active.txt"
stop

# The main window, the keyboard, the dialogs, the settings window.
home=$(folder "127.0.0.1:$closed_port" main)
start "$home"
main=$(window "Ver 1.0")
xdotool mousemove 5 5
sleep 0.5
frame "$main" main
# Offsets of the client area inside main.png.
read -r ox oy < <(origin "$main")
read -r px py < <(origin "$(outer "$main")")
fx=$((ox - px)); fy=$((oy - py))
zoom main main-cry 400 256 110 80
zoom main main-dogs 296 60 110 64
zoom main main-label1 124 128 160 32
zoom main main-doorway 100 160 320 60
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key Tab Tab Tab
sleep 0.5
frame "$main" keyboard
click "$main" 452 194 # "設定"
settings=$(window "^設定$")
xdotool windowmove "$settings" 20 20
sleep 0.5
frame "$settings" settings
click "$settings" 56 21 # "ID/PASS"
idpass=$(window "^ID,PASS$")
xdotool key Tab
xdotool type --delay 50 "secret"
sleep 0.5
frame "$idpass" idpass
xdotool key Escape
sleep 0.5
xdotool windowsize "$settings" $((200 * scale)) $((150 * scale))
sleep 0.8
frame "$settings" settings-small
stop

# The history window on a mail whose subject, address and date are long.
home=$(folder "127.0.0.1:$closed_port" history)
python3 - "$home/★MailData/ppdata2.data" <<'EOF'
import sys
def field(text, size):
    b = text.encode("cp932")[:size]
    return b + b" " * (size - len(b))
subject = "とても長い件名の試験メール：この件名は詳細欄の幅よりずっと長いので、先頭から見えなければなりません（末尾）"
address = "a-very-long-mailbox-name.for-testing@subdomain.example-provider.co.jp"
date = "Wed, 14 Feb 2024 09:30:15 +0900 (Japan Standard Time, a long date text)"
body = "本文の一行目。\r\n本文の二行目。"
with open(sys.argv[1], "wb") as f:
    for i in range(3):
        f.write(field(subject, 100) + field(date, 90) + field(address, 90) + field(body, 32000) + b"\r\n" + b"\x01\x00")
EOF
start "$home"
main=$(window "Ver 1.0")
click "$main" 60 221 # "着信履歴"
history=$(window "^着信履歴$")
xdotool windowmove "$history" 20 20
sleep 0.5
click "$history" 60 100 # the first row
xdotool mousemove 5 5
sleep 0.5
frame "$history" history
xdotool windowsize "$history" $((200 * scale)) $((150 * scale))
sleep 0.8
frame "$history" history-small
stop

# "受信" against a server that refuses the connection, and against one that accepts and says
# nothing (seen 4 s into the wait).
receive() { # receive PORT NAME SECONDS
  home=$(folder "127.0.0.1:$1" "$2")
  start "$home"
  click "$(window "Ver 1.0")" 56 196
  sleep "$3"
  import -window root "$out/$2.png"
  stop
}
receive "$closed_port" refused 1.5
receive "$silent_port" silent 4
echo "screenshots in $out"
