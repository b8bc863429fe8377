#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is missing.
# Usage: scripts/deps.sh [--no-wine]
set -euo pipefail
want=(cmake ninja-build g++ make googletest libgtest-dev zlib1g-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix zip unzip)
if [[ "${1:-}" != "--no-wine" ]]; then
  want+=(wine wine64 xvfb xauth)
fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
