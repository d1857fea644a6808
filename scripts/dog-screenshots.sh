#!/usr/bin/env bash
# Shows the dogs under a virtual X display with a window manager and saves screenshots:
#   kennel.png       all ten dogs in the doorway of the dog house
#   kennel-moved.png the dog house moved, the dogs moved with it
#   walk-1.png, walk-2.png  the dogs roaming over the desktop
#   *-zoom.png       the same, cut out around the dogs at four times the size
# It also drags dog 5 with the mouse and ends the program with a right click on a dog, and says
# what happened.
#   scripts/dog-screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/dog-screenshots}
program="$build/Wanderpup/wanderpup"
[ -x "$program" ] || { echo "build the wanderpup target first ($program)"; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

source scripts/lib/xdisplay.sh
home=$(mktemp -d)
at_exit rm -rf "$home"
cp -r "$build/Wanderpup/." "$home/"
rm -f "$home/wanderpup"
printf 'SMTP=localhost\r\nPOP3=localhost\r\nMAIL=me@example.org\r\nAPOP=0\r\n' > "$home/petpost.ini"

xdisplay_start 1280x800
xdisplay_wm
xsetroot -solid '#4a7f5a'

WANDERPUP_HOME="$home" "$program" >/dev/null 2>&1 &
app=$!
track "$app"
sleep 3

click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }

main=$(window "Ver 1.0")
xdotool windowmove "$main" 60 40
sleep 0.5
read -r mx my < <(origin "$main")
# "設定" opens the dog settings window; tick all ten dogs and press "犬を見る".
click_at $((mx + 446)) $((my + 194))
sleep 1
settings=$(window "^設定$")
read -r sx sy < <(origin "$settings")
for i in 0 1 2 3 4; do
  click_at $((sx + 31 + 28 * i)) $((sy + 227))
  click_at $((sx + 31 + 28 * i)) $((sy + 265))
done
click_at $((sx + 148)) $((sy + 303))
# Out of the way, and the pointer too (new dogs are born at the pointer).
xdotool windowmove "$settings" 660 400
xdotool mousemove 1200 760
sleep 2

zoom() { # zoom NAME X Y W H
  convert "$out/$1.png" -crop "$4x$5+$2+$3" +repage -scale 400% "$out/$1-zoom.png"
}
import -window root "$out/kennel.png"
read -r mx my < <(origin "$main")
zoom kennel $((mx + 200)) $((my + 190)) 140 120

xdotool windowmove "$main" 160 140
sleep 1
import -window root "$out/kennel-moved.png"
read -r mx my < <(origin "$main")
zoom kennel-moved $((mx + 200)) $((my + 190)) 140 120

# "お散歩": all dogs walk.
click_at $((mx + 334)) $((my + 77))
xdotool mousemove 1200 760
sleep 4
import -window root "$out/walk-1.png"
sleep 3
import -window root "$out/walk-2.png"

# Drag dog 5 (window Form2) with the left button: only it moves, the window manager moves it.
dog5=$(window "気分・・・５")
read -r dx dy < <(origin "$dog5")
zoom walk-2 $((dx - 40)) $((dy - 40)) 144 144
# (32, 40) lies on dog 5's body in both drawings, facing either way: the window is cut to the
# dog's outline, so a press elsewhere would reach the window below.
xdotool mousemove $((dx + 32)) $((dy + 40)) mousedown 1 sleep 0.2 mousemove_relative -- 40 30 sleep 0.2 \
  mousemove_relative -- 60 40 sleep 0.3 mouseup 1
sleep 0.3
read -r nx ny < <(origin "$dog5")
echo "drag: dog 5 pressed at $((dx + 32)),$((dy + 40)); its window went from $dx,$dy to $nx,$ny"

# A right click on a dog ends the program at once.
xdotool mousemove $((nx + 32)) $((ny + 40)) click 3
sleep 1
if kill -0 "$app" 2>/dev/null; then echo "right click: the program is still running"; else echo "right click: the program ended"; fi
echo "screenshots in $out"
