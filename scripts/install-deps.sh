#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev
  libsndfile1-dev libsdl2-dev
  libkissfft-dev libebur128-dev ladspa-sdk
  qt6-base-dev
  libopenal-dev
  sox libsox-fmt-all
  pulseaudio pulseaudio-utils
  xvfb xdotool x11-apps imagemagick
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
