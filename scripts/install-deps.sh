#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need, skipping those present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev qt6-multimedia-dev qt6-translations-l10n libvmime-dev libgtest-dev
  fonts-ipafont-gothic fonts-urw-base35 fonts-noto-color-emoji fonts-noto-cjk
  xvfb openbox x11-utils x11-xserver-utils xdotool imagemagick desktop-file-utils
  dovecot-pop3d python3 python3-aiosmtpd
  pulseaudio pulseaudio-utils sox
  oneko
  poppler-utils strace
  fuse3 libfuse3-dev
  weston xwayland qt6-wayland
  lintian appstream
  locales ibus ibus-mozc dbus-daemon at-spi2-core gir1.2-atspi-2.0
  dunst
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# The Japanese desktop the tests run under.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "Generating the locale ja_JP.UTF-8"
  $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen --keep-existing
fi
