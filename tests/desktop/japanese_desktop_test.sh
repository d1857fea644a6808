#!/usr/bin/env bash
# A Japanese desktop on a virtual display: LANG=ja_JP.UTF-8, an input method (ibus with mozc),
# and the program typed into as a Japanese user types: "nihongo", Space converts it, Enter
# commits it into the compose window's body. Qt's own file dialog speaks Japanese. Pictures of
# the conversion and of the dialog are left in BUILD/screenshots/.
#
# mozc's server refuses to run as root, so as root the desktop session (bus, input method,
# program) runs as the user nobody; the virtual display stays ours.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
skip() { echo "SKIPPED: $1"; exit 77; }
for tool in ibus-daemon ibus dbus-daemon xdotool Xvfb openbox import setpriv; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -x /usr/lib/ibus-mozc/ibus-engine-mozc ] || skip "ibus-mozc is not installed"
locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8' || skip "the locale ja_JP.UTF-8 is not generated (locales)"
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
  skip "the accessibility bus from Python (gir1.2-atspi-2.0) is not installed"

if [ -z "${WP_JA_SESSION:-}" ]; then
  shots=$build/screenshots
  mkdir -p "$shots"
  source "$root/scripts/lib/xdisplay.sh"
  tmp=$(mktemp -d)
  at_exit rm -rf "$tmp"
  chmod 755 "$tmp"
  xdisplay_start 1280x800
  xdisplay_wm
  run=(env)
  if [ "$(id -u)" = 0 ]; then
    mkdir "$tmp/nobody"
    chown nobody:nogroup "$tmp/nobody"
    run=(setpriv --reuid=nobody --regid=nogroup --clear-groups env)
    session=$tmp/nobody
  else
    session=$tmp
  fi
  code=0
  "${run[@]}" WP_JA_SESSION="$session" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin "$0" "$build" || code=$?
  for picture in "$session"/*.png; do
    [ -e "$picture" ] && cp "$picture" "$shots/"
  done
  exit $code
fi

# The user's session, in its own folder.
t=$WP_JA_SESSION
source "$root/scripts/lib/xdisplay.sh"
fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
a11y() { /usr/bin/python3 "$root/scripts/lib/a11y.py" "$@"; }
export HOME=$t/home XDG_CONFIG_HOME=$t/home/.config XDG_CACHE_HOME=$t/home/.cache
export XDG_DATA_HOME=$t/home/.local/share XDG_RUNTIME_DIR=$t/run
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 QT_IM_MODULE=ibus QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
mkdir -p "$XDG_CONFIG_HOME/mozc" "$XDG_RUNTIME_DIR" "$t/folder/★MailData" "$t/folder/添付フォルダ" "$t/folder/Sound"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'POP3=127.0.0.1:1\r\n' >"$t/folder/petpost.ini"
# mozc comes up in Japanese input, as a user who switched it on would have it.
cat >"$XDG_CONFIG_HOME/mozc/ibus_config.textproto" <<'EOF'
engines {
  name : "mozc-jp"
  longname : "Mozc"
  layout : "default"
  layout_variant : ""
  layout_option : ""
  rank : 80
}
active_on_launch: True
EOF

# mozc's server outlives the input method that started it; it is known by the lock it holds in
# this session's folder, and stopped by its PID once the rest has gone.
stop_mozc_server() {
  local fd lock=$XDG_CONFIG_HOME/mozc/.server.lock
  for fd in /proc/[0-9]*/fd/*; do
    [ "$(readlink "$fd" 2>/dev/null)" = "$lock" ] || continue
    fd=${fd#/proc/}
    kill "${fd%%/*}" 2>/dev/null || true
  done
}
at_exit stop_mozc_server
dbus-daemon --session --nofork --print-address=3 3>"$t/bus" >/dev/null 2>&1 &
track $!
for _ in $(seq 50); do [ -s "$t/bus" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$t/bus")
export DBUS_SESSION_BUS_ADDRESS
ibus-daemon --panel=disable --replace >"$t/ibus.log" 2>&1 &
track $!
for _ in $(seq 150); do ibus list-engine 2>/dev/null | grep -q mozc-jp && break; sleep 0.2; done
# (ibus 1.5.27 says 1 even when it set the engine: the check below asks it back.)
ibus engine mozc-jp || true
check '[ "$(ibus engine)" = mozc-jp ]' "ibus runs mozc"

WANDERPUP_HOME=$t/folder "$build/Wanderpup/wanderpup" >"$t/program.log" 2>&1 &
pid=$!
track $pid
main=$(window "Ver 1.0") || { cat "$t/program.log"; echo "FAILED: the program did not start"; exit 1; }
a11y press "$pid" 新規作成 30
compose=$(window "新規作成" 30) || { echo "FAILED: no compose window"; exit 1; }
read -r x y < <(origin "$compose")
# Into the body, then type as a Japanese user does.
xdotool mousemove $((x + 40)) $((y + 310)) click 1
sleep 0.5
xdotool type --delay 100 nihongo
sleep 1
xdotool key space
sleep 1.5
import -window root "$t/ime-compose-converted.png"
xdotool key Return
body=
for _ in $(seq 50); do
  body=$(a11y text "$pid" 本文 1 2>/dev/null) || body=
  [ -n "$body" ] && break
  sleep 0.2
done
import -window root "$t/ime-compose-committed.png"
check '[ "$body" = 日本語 ]' "\"nihongo\", Space, Enter puts 日本語 into the body (body: \"$body\")"

# Qt's own dialogs: the history window's "開く" opens the toolkit's file dialog.
a11y press "$pid" 着信履歴 30
window "着信履歴" 30 >/dev/null || true
a11y press "$pid" 開く 30
sleep 2
import -window root "$t/ja-file-dialog.png"
check 'a11y find "$pid" "キャンセル" 20 >/dev/null' "the file dialog speaks Japanese"
[ $fail = 0 ] || { cat "$t/program.log" "$t/ibus.log"; }
exit $fail
