# shellcheck shell=bash
# Sourced by the tests here: a virtual display of their own with its helpers, a temporary folder
# and checks.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xdisplay.sh"
tmp=$(mktemp -d)
at_exit rm -rf "$tmp"
fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
xdisplay_start 1280x800
