#!/usr/bin/env bash
# The compose window at its three sizes and the reply window on a real X display with a window
# manager. The pictures stay in the output folder; the check is that the sizes follow the rules.
set -euo pipefail
helper=${1:?helper}
out=${2:?output folder}
mkdir -p "$out"
for tool in Xvfb openbox import xprop; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done

source "$(dirname "$0")/../../scripts/lib/xdisplay.sh"
work=$(mktemp -d)
at_exit rm -rf "$work"
home=$work/home
mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound"
xdisplay_start 1024x768
xdisplay_wm
xsetroot -solid "#3a8a55" || true

declare -A width height
for mode in normal wide tall reply; do
  WANDERPUP_HOME=$home QT_QPA_PLATFORM=xcb "$helper" "$mode" >"$work/$mode.txt" 2>/dev/null &
  app=$!
  track "$app"
  for _ in $(seq 120); do [ -s "$work/$mode.txt" ] && break; sleep 0.1; done
  read -r x y w h aw bh <"$work/$mode.txt"
  name=compose-$mode
  [ "$mode" = reply ] && name=reply
  import -window root -crop "${w}x${h}+${x}+${y}" "$out/$name.png"
  width[$mode]=$w
  height[$mode]=$h
  if [ "$mode" = reply ]; then reply_attach=$aw reply_body=$bh; fi
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  if [ "$mode" = reply ]; then
    echo "$out/$name.png: ${w}x${h} at $x,$y, attachment field $aw wide, body $bh high"
  else
    echo "$out/$name.png: ${w}x${h} at $x,$y"
  fi
done

fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
# 2600 twips wider with the address panel, 755 twips higher with the paste strip (15 per pixel).
check "[ $((width[wide] - width[normal])) -ge 170 ] && [ $((width[wide] - width[normal])) -le 176 ]" \
  "the address panel widens the window by 2600 twips"
check "[ $((height[tall] - height[normal])) -ge 48 ] && [ $((height[tall] - height[normal])) -le 52 ]" \
  "the paste strip makes it 755 twips higher"
check "[ ${width[normal]} -ge 470 ] && [ ${width[normal]} -le 476 ]" "the normal outer width is 7100 twips"
# The reply window lays itself out for its outer size from its first showing on: the attachment
# field 0.4 of the outer width, the body 0.74 of the outer height (within a pixel).
near() { [ $(($1 * 100 - $2 * $3)) -ge -100 ] && [ $(($1 * 100 - $2 * $3)) -le 100 ]; }
check "near $reply_attach ${width[reply]} 40 && near $reply_body ${height[reply]} 74" \
  "the reply window's first layout follows its outer size"
exit $fail
