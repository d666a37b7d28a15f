#!/usr/bin/env bash
# Installs the Debian packages that building, testing, running and packaging
# Quorvel need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  qt6-serialport-dev
  xvfb xauth
  tshark
  libmosquitto-dev mosquitto mosquitto-clients openssl
  lintian appstream dpkg-dev fakeroot file
  ccache clang-format-14 clang-14 libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  # tshark asks whether non-root users may capture; answer no, never ask.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
