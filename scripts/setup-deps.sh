#!/usr/bin/env bash
# Installs every Debian package Vantor+ needs to build, test and run.
# Idempotent and quiet: apt-get runs only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  libusb-dev libusb-0.1-4 libudev-dev zlib1g-dev
  googletest libgtest-dev libbenchmark-dev srecord
  qt6-svg-dev qt6-translations-l10n fonts-wqy-microhei xvfb xauth
  dpkg-dev desktop-file-utils appstream lintian
  clang libclang-rt-dev
  libqt6sql6-sqlite libqt6sql6-psql postgresql
  umockdev libumockdev-dev util-linux python3-intelhex
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
