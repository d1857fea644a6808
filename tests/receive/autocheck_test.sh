#!/usr/bin/env bash
# The automatic check's test program (ARG 1) on a virtual display and a session bus of its own,
# where it starts its notification server; its pictures go to ARG 2.
set -euo pipefail
program=${1:?test program}
mkdir -p "${2:?screenshot folder}"
for tool in Xvfb dbus-daemon dunst dunstctl xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing (scripts/install-deps.sh)"; exit 77; }
done
source "$(dirname "$0")/../desktop/xvfb.sh"
dbus-daemon --session --nofork --print-address=3 3>"$tmp/bus" >/dev/null 2>&1 &
track $!
for _ in $(seq 50); do [ -s "$tmp/bus" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$tmp/bus")
export DBUS_SESSION_BUS_ADDRESS
# The program's own logind and network watchers find no system bus here, as on many desktops.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$tmp/no-system-bus"
WANDERPUP_SCREENSHOTS=$(cd "$2" && pwd) QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$program" "${@:3}"
