#!/usr/bin/env bash
# Emoji and 𠮷 drawn as glyphs, not as the box of a missing one, in the history, compose and
# reply windows on a real X display; the pictures stay in the output folder.
set -euo pipefail
helper=${1:?helper}
out=${2:?output folder}
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }
source "$(dirname "$0")/xvfb.sh"
home=$tmp/home
mkdir -p "$home/★MailData" "$home/添付フォルダ" "$home/Sound" "$out"
# The fonts the package recommends; without them the checks below fail, as they should.
for font in "Noto Color Emoji" "Noto Sans CJK JP"; do
  check "[ -n \"\$(fc-list \"$font\")\" ]" "font $font installed"
done
(cd "$tmp" && WANDERPUP_HOME=$home QT_QPA_PLATFORM=xcb "$helper" "$out") || fail=1
exit $fail
