#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need; only the missing ones.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ make pkg-config libheif-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-image-formats-plugins qt6-translations-l10n libgl-dev libxcb1-dev
  fonts-ipafont-gothic xvfb xauth x11-utils xdotool imagemagick xdg-utils openbox wmctrl
  desktop-file-utils appstream librsvg2-bin
  libjpeg62-turbo-dev libjpeg-turbo-progs
  ripgrep time python3 clang libclang-rt-14-dev ccache
  syncthing
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
