#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program the way the menu
# entry does, on a virtual display: it lays out the user's own folder, writes nothing beside
# itself, carries its icon, turns a second start away with a message and raises the first, and
# says so when a file stands where its folder belongs.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
source "$(dirname "$0")/xvfb.sh"

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
check '[ -x "$prefix/bin/wanderpup" ]' "bin/wanderpup"
entry=$prefix/share/applications/example.wanderpup.wanderpup.desktop
check 'grep -qx "Categories=Network;Email;" "$entry" && grep -qx "Name\[ja\]=ワンダーパップ" "$entry" && grep -qx "Icon=wanderpup" "$entry"' \
  "desktop entry"
if command -v desktop-file-validate >/dev/null; then check 'desktop-file-validate "$entry"' "desktop entry validates"; fi
for size in 16 22 24 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/wanderpup.png
  check '[ "$(identify -format %wx%h "$icon" 2>/dev/null)" = "${size}x${size}" ]' "icon ${size}x${size}"
done
check 'cmp -s "$prefix/share/wanderpup/Sound/Kouka.wav" "$build/Wanderpup/Sound/Kouka.wav"' "bark sound in share/wanderpup"

# A user's session: no WANDERPUP_HOME; the command of the menu entry, found on PATH.
unset WANDERPUP_HOME
export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/data XDG_RUNTIME_DIR=$tmp/run PATH=$prefix/bin:$PATH
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
command=$(sed -n 's/^Exec=//p' "$entry")
xdisplay_wm

(cd "$HOME" && exec $command) >"$tmp/first.log" 2>&1 &
first=$!
track $first
main=$(window "Ver 1.0") || main=
check '[ -n "$main" ]' "the installed program starts"
data=$XDG_DATA_HOME/Wanderpup
check '[ -d "$data/★MailData" ] && [ -d "$data/添付フォルダ" ] && cmp -s "$data/Sound/Kouka.wav" "$prefix/share/wanderpup/Sound/Kouka.wav"' \
  "its folder is \$XDG_DATA_HOME/Wanderpup, laid out at the first start"
check '[ "$(ls -A "$prefix/bin")" = wanderpup ]' "nothing written beside the installed program"
dialog=$(window "サーバー") || dialog=$main
# Qt hands X the sizes up to 128.
check '[[ "$(xprop -id "$dialog" _NET_WM_ICON)" == *"Icon (128 x 128)"* ]]' "windows carry the icon"

xdotool windowminimize --sync "$main"

(cd "$HOME" && exec $command) >"$tmp/second.log" 2>&1 &
second=$!
track $second
box=$(window "^Wanderpup$") || box=
check '[ -n "$box" ]' "a second start shows a message"
[ -n "$box" ] && xdotool windowactivate --sync "$box" key --clearmodifiers Return 2>/dev/null || true
check 'wait_gone "$second" 10' "the second start ends"
check 'kill -0 "$first" 2>/dev/null' "the first keeps running"
check '[ "$(window "Ver 1.0")" = "$main" ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]' \
  "the first one's main window comes back to the front"

# A file where the user's folder belongs: a message, then the end, the file untouched.
kill "$first"
wait_gone "$first" 10 || true
export XDG_DATA_HOME=$tmp/blocked
mkdir -p "$XDG_DATA_HOME"
echo "a note" >"$XDG_DATA_HOME/Wanderpup"
(cd "$HOME" && exec $command) >"$tmp/blocked.log" 2>&1 &
blocked=$!
track $blocked
box=$(window "^Wanderpup$") || box=
check '[ -n "$box" ]' "a file in the way is reported"
[ -n "$box" ] && xdotool windowactivate --sync "$box" key --clearmodifiers Return 2>/dev/null || true
code=0
wait_gone "$blocked" 10 && { wait "$blocked" || code=$?; }
check '[ "$code" = 1 ] && [ "$(cat "$XDG_DATA_HOME/Wanderpup")" = "a note" ]' "the program ends and leaves the file alone"
exit $fail
