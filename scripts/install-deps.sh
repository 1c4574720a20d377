#!/usr/bin/env bash
# Installs the Debian packages Sonvale needs to build, run, test and benchmark.
# Idempotent: when every package is present it changes nothing.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libasound2-dev libasound2-plugins alsa-utils
  libpulse-dev pulseaudio pulseaudio-utils
  libmp3lame-dev libmpg123-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev libinih-dev
  clang libclang-rt-14-dev
  xvfb sox lame mpg123 python3 libxcb1-dev libxcb-xtest0-dev
  librsvg2-bin dpkg-dev file desktop-file-utils appstream lintian man-db
  gcovr
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
