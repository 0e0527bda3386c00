#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need.
# Idempotent: asks apt only for what is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  libsqlite3-dev sqlite3 libsodium-dev
  xvfb xauth dbus at-spi2-core python3-pyatspi
  fonts-wine fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
