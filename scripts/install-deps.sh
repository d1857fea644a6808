#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need, skipping those present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev qt6-multimedia-dev qt6-translations-l10n libvmime-dev libgtest-dev
  fonts-ipafont-gothic fonts-urw-base35
  xvfb openbox x11-utils x11-xserver-utils xdotool imagemagick desktop-file-utils
  dovecot-pop3d python3 python3-aiosmtpd
  pulseaudio pulseaudio-utils sox
  oneko
  poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
