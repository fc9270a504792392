#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3
  g++ clang clang-14 libclang-rt-14-dev
  gcc-multilib g++-multilib
  libwxgtk3.2-dev libwxbase3.2-1
  libsqlite3-dev zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev
  libicu-dev
  gettext
  unicode-data tzdata
  xvfb xauth imagemagick xdotool
  iso-codes
  libisofs-dev libburn-dev libisoburn-dev
  libcdio-dev libcdio-paranoia-dev
  libsndfile1-dev libsamplerate0-dev
  xorriso
  desktop-file-utils appstream
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

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
