#!/usr/bin/env bash
# The window "証明書の確認" on a real X display with a window manager, for a first contact, for a
# changed certificate and for an expired one of another name, with certificates made here as the
# test servers make theirs. The pictures stay in the output folder; the check is that the window
# fits a 1024x768 screen.
set -euo pipefail
helper=${1:?helper}
out=${2:?output folder}
mkdir -p "$out"
for tool in Xvfb openbox import xprop openssl; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done

source "$(dirname "$0")/../../scripts/lib/xdisplay.sh"
work=$(mktemp -d)
at_exit rm -rf "$work"
for n in 1 2; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 3 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout "$work/key$n.pem" -out "$work/cert$n.pem" 2>/dev/null
done
xdisplay_start 1024x768
xdisplay_wm
xsetroot -solid "#3a8a55" || true

fail=0
for mode in first changed risky; do
  QT_QPA_PLATFORM=xcb "$helper" "$mode" "$work/cert2.pem" "$work/cert1.pem" >"$work/$mode.txt" 2>/dev/null &
  app=$!
  track "$app"
  for _ in $(seq 120); do [ -s "$work/$mode.txt" ] && break; sleep 0.1; done
  read -r x y w h <"$work/$mode.txt"
  import -window root -crop "${w}x${h}+${x}+${y}" "$out/certificate-$mode.png"
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  echo "$out/certificate-$mode.png: ${w}x${h} at $x,$y"
  if [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ]; then
    echo "ok: the $mode window fits the screen"
  else
    echo "FAILED: the $mode window does not fit the screen"; fail=1
  fi
done
exit $fail
