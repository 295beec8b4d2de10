#!/usr/bin/env bash
# Installs the Debian packages Varnosk needs to build, run and test.
# Idempotent: when every package is already present it returns at once.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  googletest libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  libavcodec-extra
  libsdl2-dev
  ffmpeg
  fonts-wqy-microhei
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
