#!/usr/bin/env bash
# Installs what building and running the console needs, on Debian 12 or a recent Ubuntu.
# Only missing packages are installed; a machine that has them all is left alone.
set -euo pipefail

# librsvg2-bin renders the icons; desktop-file-utils and appstream check the desktop metadata;
# qt6-translations-l10n gives the standard buttons their Chinese words; qt6-wayland lets the window run
# natively in a Wayland session, as the package does, instead of through XWayland.
packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-private-dev qt6-serialport-dev qt6-translations-l10n
    qt6-wayland libgl-dev fonts-noto-cjk librsvg2-bin desktop-file-utils appstream "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
