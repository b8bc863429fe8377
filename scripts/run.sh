#!/usr/bin/env bash
# The main job: builds setup.exe and runs it under Wine in the bundled sample distribution,
# then shows what it wrote to its log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
WIN_BUILD="$root/build/win"
cmake -S "$root" -B "$WIN_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSETUP_TESTS=OFF >/dev/null
ninja -C "$WIN_BUILD" setup setupkit ztkuinst sample_plugin
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_start

dist="$WIN_BUILD/distribution"
rm -rf "$dist"
cp -r "$root/samples/distribution" "$dist"
cp "$WIN_BUILD/src/setup/setup.exe" "$WIN_BUILD/src/tools/ztkuinst/ztkuinst.exe" \
  "$WIN_BUILD/sdk/sample_plugin.dll" "$dist/"
temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
log=$(winepath -u "$temp\\ztkinst.log" 2>/dev/null)
before=0
[[ -f "$log" ]] && before=$(wc -c <"$log")
echo "Running setup.exe in $dist"
(cd "$dist" && wine setup.exe "$@") || true
echo "== what this run wrote to $log"
tail -c +$((before + 1)) "$log" | iconv -f cp1251 -t utf-8
echo "== what setupkit sees in the distribution"
(cd "$dist" && wine "$WIN_BUILD/src/tools/setupkit/setupkit.exe" tree setup.idf) || true
echo
