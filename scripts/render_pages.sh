#!/usr/bin/env bash
# Draws every window of the installer in both languages into PNG files: each page of the
# wizard, the progress window, the directory dialog, the duplicate-file form and the
# background window. Builds render_pages.exe (cross build), runs it under Wine (on a virtual
# display unless DISPLAY is set) and converts its BMP pictures.
# Usage: scripts/render_pages.sh [OUTDIR]      (default build/pages)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build/pages}" && cd "${1:-$root/build/pages}" && pwd)
"$root/scripts/deps.sh"

# A build of its own with the tests on (the program lives among them), and so a Wine prefix
# of its own: the program makes and removes the product's registry record there.
WIN_BUILD="$root/build/render-win"
cmake -S "$root" -B "$WIN_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSETUP_TESTS=ON >/dev/null
ninja -C "$WIN_BUILD" render_pages
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
# The Russian licence is a file in the ANSI code page, which Wine takes from the locale.
if locale -a 2>/dev/null | grep -qix 'ru_RU.utf-\?8'; then export LC_ALL=ru_RU.UTF-8; fi
wine_env_start

rm -f "$out"/ru-*.bmp "$out"/en-*.bmp "$out"/ru-*.png "$out"/en-*.png
status=0
log=$(mktemp)
wine "$WIN_BUILD/tests/render/render_pages.exe" "$(winepath -w "$out" 2>/dev/null)" >/dev/null 2>"$log" ||
  status=$?
# Wine's own remark on the drive list reading the volume of the root file system is noise.
tr -d '\r' <"$log" | grep -v '^wine: Read access denied for device' >&2 || true
rm -f "$log"
python3 "$root/scripts/bmp2png.py" --remove "$out"
echo "$(find "$out" -name '*.png' | wc -l) pictures in $out"
if ((status != 0)); then
  echo "render_pages ended with $status: some windows did not reach their page (see above)" >&2
fi
exit "$status"
