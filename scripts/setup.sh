#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, test and package, when they are missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
          googletest libgtest-dev libgmock-dev libbenchmark-dev tzdata python3
          qt6-base-dev qt6-multimedia-dev qt6-speech-dev qt6-declarative-dev qt6-speech-flite-plugin
          libcurl4-openssl-dev libminizip-dev zlib1g-dev python3-pyftpdlib unzip
          xvfb xauth x11-apps imagemagick ccache
          dpkg-dev file help2man lintian appstream desktop-file-utils procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
