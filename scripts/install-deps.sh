#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3 ccache
  libasio-dev libssl-dev openssl
  libgtk2.0-dev libhidapi-dev
  libgtest-dev libgmock-dev
  xvfb xauth xdotool imagemagick fonts-liberation2
  gtk2-engines gtk2-engines-pixbuf
  python3-pyatspi libatk-adaptor libgail-common dbus-x11 at-spi2-core
  nginx
  lintian desktop-file-utils appstream librsvg2-bin
  qemu-system-x86 busybox-static kmod cpio udev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
