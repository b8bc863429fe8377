#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is missing.
# Usage: scripts/deps.sh [--no-wine]
set -euo pipefail
want=(cmake ninja-build g++ make googletest libgtest-dev zlib1g-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix zip unzip locales)
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
# The end-to-end robot runs the Russian sample distribution under the Russian ANSI code page,
# which Wine takes from the Unix locale: ru_RU.UTF-8 must exist.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf-\?8'; then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8 >/dev/null 2>&1 || echo "Could not generate the ru_RU.UTF-8 locale" >&2
fi
