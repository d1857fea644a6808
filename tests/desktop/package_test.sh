#!/usr/bin/env bash
# Builds the Debian package and holds it to what Debian asks of one: lintian without errors or
# warnings, the desktop entry and the AppStream entry valid and naming each other, the licence,
# the changelog and the manual page where Debian keeps them. A validator that is not installed
# is skipped with a word; the rest still runs.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
missing() { echo "SKIPPED: $1 is not installed"; }

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/out/wanderpup_*_amd64.deb)
dpkg-deb -x "$deb" "$tmp/root"
id=example.wanderpup.wanderpup
entry=$tmp/root/usr/share/applications/$id.desktop
metainfo=$tmp/root/usr/share/metainfo/$id.metainfo.xml
doc=$tmp/root/usr/share/doc/wanderpup

check 'head -1 "$doc/copyright" | grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" &&
  grep -qx "License: GPL-3+" "$doc/copyright"' "copyright in the machine-readable format, GPL-3+"
check 'gzip -t "$doc/changelog.gz" && zcat "$doc/changelog.gz" | head -1 | grep -q "^wanderpup (1.0)"' "changelog.gz"
man=$tmp/root/usr/share/man/man1/wanderpup.1.gz
check '[ -f "$man" ] && [ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man" 2>&1 >/dev/null)" ] &&
  zcat "$man" | grep -q WANDERPUP_HOME && zcat "$man" | grep -q "XDG_DATA_HOME/Wanderpup"' \
  "manual page renders without warnings and names the program folder"
check 'grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" &&
  grep -q "<id>$id</id>" "$metainfo" && grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" &&
  grep -q "<name xml:lang=\"ja\">" "$metainfo" && grep -q "<summary xml:lang=\"ja\">" "$metainfo"' \
  "AppStream entry: its id is the desktop entry's, GPL-3.0-or-later, Japanese name and summary"

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$entry" 2>&1) || true
  echo "desktop-file-validate: ${out:-clean}"
  check '[ -z "$out" ]' "desktop-file-validate"
else
  missing desktop-file-validate
fi

if command -v appstreamcli >/dev/null; then
  # --no-net: nothing leaves the machine; the home page is not fetched.
  appstreamcli validate --no-net --pedantic "$metainfo" >"$tmp/as.log" 2>&1 && as=0 || as=$?
  sed 's/^/appstreamcli: /' "$tmp/as.log"
  check '[ "$as" = 0 ]' "appstreamcli validate"
  appstreamcli validate-tree --no-net "$tmp/root" >"$tmp/astree.log" 2>&1 && as=0 || as=$?
  check '[ "$as" = 0 ]' "appstreamcli validate-tree (the metainfo and the desktop entry together)"
  [ "$as" = 0 ] || cat "$tmp/astree.log"
else
  missing appstreamcli
fi

if command -v lintian >/dev/null; then
  lintian --pedantic "$deb" >"$tmp/lintian.log" 2>&1 || true
  sed 's/^/lintian: /' "$tmp/lintian.log"
  check '! grep -q "^[EW]: " "$tmp/lintian.log"' "lintian: no errors, no warnings"
else
  missing lintian
fi
exit $fail
