#!/usr/bin/env bash
# The program on a Wayland desktop, under a real compositor (weston, headless, with Xwayland):
# it runs through the X display the session offers, so that new mail brings out a dog that walks
# there; a platform the user chose is kept; and with no X display it still starts and says once
# that the dogs cannot walk here. Commands are pressed over the accessibility bus, since the
# headless compositor has no pointer to move.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
skip() { echo "SKIPPED: $1"; exit 77; }
for tool in weston Xwayland dbus-daemon xdotool xwininfo; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -n "$(find /usr/lib -path '*qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ] ||
  skip "Qt's Wayland platform (qt6-wayland) is not installed"
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
  skip "the accessibility bus from Python (gir1.2-atspi-2.0) is not installed"
# Xwayland puts its socket where every X server does; the folder is the system's to make.
if [ ! -d /tmp/.X11-unix ]; then
  [ "$(id -u)" = 0 ] || skip "/tmp/.X11-unix is missing"
  # Another X server starting meanwhile may make it first.
  mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || [ -d /tmp/.X11-unix ]
fi

source "$root/scripts/lib/xdisplay.sh"
tmp=$(mktemp -d)
at_exit rm -rf "$tmp"
fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
a11y() { /usr/bin/python3 "$root/scripts/lib/a11y.py" "$@"; }
platform() { grep /plugins/platforms/ "/proc/$1/maps" | grep -o 'libq[a-z-]*\.so' | sort -u | xargs; }
program_of() { # the program's PID, from the lock it holds on its folder
  local _
  for _ in $(seq 150); do
    [ -s "$1/.wanderpup.lock" ] && { cat "$1/.wanderpup.lock"; return 0; }
    sleep 0.2
  done
  return 1
}

export XDG_RUNTIME_DIR=$tmp/run HOME=$tmp/home
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$HOME"
unset QT_QPA_PLATFORM DISPLAY
export WAYLAND_DISPLAY=wanderpup-test-$$ XDG_SESSION_TYPE=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

weston --backend=headless-backend.so --xwayland --socket="$WAYLAND_DISPLAY" --width=1280 --height=800 \
  --idle-time=0 --log="$tmp/weston.log" >/dev/null 2>&1 &
track $!
x=
for _ in $(seq 150); do
  x=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$tmp/weston.log" 2>/dev/null | head -1) || x=
  [ -n "$x" ] && break
  sleep 0.2
done
[ -n "$x" ] || { cat "$tmp/weston.log"; echo "FAILED: weston did not start with Xwayland"; exit 1; }
dbus-daemon --session --nofork --print-address=3 3>"$tmp/bus" >/dev/null 2>&1 &
track $!
for _ in $(seq 50); do [ -s "$tmp/bus" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$tmp/bus")
export DBUS_SESSION_BUS_ADDRESS

# 1. A Wayland session with Xwayland: the demo's mail brings out dog 3, walking on the X display.
folder=$tmp/demo
DISPLAY=$x /usr/bin/python3 "$root/scripts/demo/demo.py" --build "$build" --folder "$folder" \
  >"$tmp/demo.log" 2>&1 &
track $!
pid=$(program_of "$folder") || { cat "$tmp/demo.log"; echo "FAILED: the program did not start"; exit 1; }
check 'for _ in $(seq 50); do [[ "$(platform "$pid")" == *libqxcb.so* ]] && break; sleep 0.2; done; [ "$(platform "$pid")" = libqxcb.so ]' \
  "runs through Xwayland, not on Wayland ($(platform "$pid"))"
check 'a11y press "$pid" 受信 60' "受信 pressed"
positions=
for _ in $(seq 100); do
  dog=$(DISPLAY=$x xdotool search --onlyvisible --name "気分・・・２" 2>/dev/null | head -1) || dog=
  [ -n "$dog" ] && break
  sleep 0.2
done
if [ -n "$dog" ]; then
  for _ in $(seq 8); do
    positions+="$(DISPLAY=$x xwininfo -id "$dog" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x "," y}') "
    sleep 0.4
  done
fi
check '[ -n "$dog" ]' "dog 3 came out on the X display"
check '[ "$(tr " " "\n" <<<"$positions" | sed "/^$/d" | sort -u | wc -l)" -ge 4 ]' "dog 3 walks: $positions"
kill "$pid"
wait_gone "$pid" 20 || true

# 2. The user's choice of platform is kept, even with an X display there.
own=$tmp/own
mkdir -p "$own/★MailData" "$own/添付フォルダ" "$own/Sound"
printf 'POP3=127.0.0.1:1\r\n' >"$own/petpost.ini"
DISPLAY=$x QT_QPA_PLATFORM=wayland WANDERPUP_HOME=$own "$build/Wanderpup/wanderpup" >"$tmp/chosen.log" 2>&1 &
chosen=$!
track $chosen
text=$(a11y find "$chosen" "犬たちがデスクトップを歩くことも" 60) || text=
check '[[ "$(platform "$chosen")" == *libqwayland* ]]' "QT_QPA_PLATFORM=wayland is kept ($(platform "$chosen"))"
check '[[ "$text" == *"QT_QPA_PLATFORM で「wayland」が指定されています"* ]]' "the message names the user's choice"
kill "$chosen"
wait_gone "$chosen" 20 || true

# 3. No X display at all: the program starts on Wayland and says so once.
WANDERPUP_HOME=$own "$build/Wanderpup/wanderpup" >"$tmp/nox.log" 2>&1 &
nox=$!
track $nox
text=$(a11y find "$nox" "犬たちがデスクトップを歩くことも" 60) || text=
check '[[ "$(platform "$nox")" == *libqwayland* ]]' "without X it runs on Wayland ($(platform "$nox"))"
check '[[ "$text" == "このデスクトップ（Wayland）では"*"Xwayland"* ]] && [[ "$text" != *QT_QPA_PLATFORM* ]]' \
  "it says the dogs cannot walk here"
check 'a11y press "$nox" OK 10' "the message is closed"
sleep 2
check '! a11y find "$nox" "犬たちがデスクトップを歩くことも" 2 >/dev/null' "and it is said only once"
check 'a11y find "$nox" "Wanderpup　Ver 1.0" 10 >/dev/null && kill -0 "$nox"' "the main window is there"
[ $fail = 0 ] || { tail -20 "$tmp/weston.log"; cat "$tmp/demo.log" "$tmp/nox.log"; }
exit $fail
