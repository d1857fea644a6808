#!/usr/bin/env bash
# The main window on a real X display: the desktop shows through the doorway, the walls do not,
# and the captions are drawn with a Japanese font.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:?program}
shot=${2:-$(mktemp --suffix=.png)}
mkdir -p "$(dirname "$shot")"

read -r x y < <("$root/scripts/screenshot.sh" "$shot" "$program" 3)
pixel() { convert "$shot" -format "%[hex:p{$(($1 + x)),$(($2 + y))}]" info: | cut -c1-6; }
desktop=3A8A55

fail=0
check() { if [ "$1" = "$2" ]; then echo "ok: $3"; else echo "FAILED: $3 ($1 vs $2)"; fail=1; fi; }
check "$(pixel 258 300)" "$desktop" "doorway shows the desktop"
check "$(pixel 200 330)" "$desktop" "doorway shows the desktop near its bottom"
[ "$(pixel 60 330)" != "$desktop" ] && echo "ok: left wall is opaque" || { echo "FAILED: left wall"; fail=1; }
[ "$(pixel 250 60)" != "$desktop" ] && echo "ok: roof is opaque" || { echo "FAILED: roof"; fail=1; }

# White glyph pixels inside the caption "受信" (Label8 at 16,188 81x17).
white=$(convert "$shot" -crop "81x17+$((16 + x))+$((188 + y))" -colorspace gray -threshold 85% -format '%[fx:mean*w*h]' info:)
if awk "BEGIN{exit !($white > 10)}"; then echo "ok: caption drawn ($white white pixels)"; else echo "FAILED: caption not drawn"; fail=1; fi
case "$(fc-match -f '%{family}' 'IPAPGothic')" in
  *IPAPGothic*|*"IPA P"*) echo "ok: Japanese font present" ;;
  *) echo "FAILED: no Japanese font"; fail=1 ;;
esac
exit $fail
