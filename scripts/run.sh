#!/usr/bin/env bash
# The main job: builds everything, then, under Wine (on a virtual display unless DISPLAY is
# set), the robot installs the demonstration distribution (samples/distribution) through the
# wizard as a person would, saving a screenshot of every page it passes. Then it prints what
# the machine holds now: installed files, registry records, links, search path entries, the
# end of the log, and where the screenshots are.
#
#   scripts/run.sh                a fresh installation (an earlier one is removed first)
#   scripts/run.sh --uninstall    the removal through the Windows uninstall entry
#   scripts/run.sh --interactive  setup.exe on the display, for a person to click
#
# SETUP_WIN_BUILD chooses the cross build directory (default build/win).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:---install}
case "$mode" in
  --install | --uninstall | --interactive) ;;
  *)
    echo "usage: scripts/run.sh [--uninstall | --interactive]" >&2
    exit 2
    ;;
esac
if [[ $mode == --interactive && -z "${DISPLAY:-}" ]]; then
  echo "--interactive needs a display (DISPLAY is not set)" >&2
  exit 2
fi
"$root/scripts/deps.sh"

WIN_BUILD="${SETUP_WIN_BUILD:-$root/build/win}"
werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
cmake -S "$root" -B "$WIN_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSETUP_WERROR=$werror \
  -DSETUP_TESTDATA_DIR="${SETUP_TESTDATA_DIR:-$root/../shared/testdata}" >/dev/null
echo "== building (cross build in $WIN_BUILD)"
ninja -C "$WIN_BUILD" -j"$(nproc)"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_start
# The demonstration product is Russian: its programs run under the Russian ANSI code page,
# which Wine takes from the Unix locale.
export LC_ALL=ru_RU.UTF-8

dist="$WIN_BUILD/distribution"
if [[ $mode != --uninstall || ! -d $dist ]]; then
  rm -rf "$dist"
  cp -r "$root/samples/distribution" "$dist"
  cp "$WIN_BUILD/src/setup/setup.exe" "$WIN_BUILD/src/tools/ztkuinst/ztkuinst.exe" \
    "$WIN_BUILD/sdk/sample_plugin.dll" "$dist/"
fi
temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
log=$(winepath -u "$temp\\ztkinst.log" 2>/dev/null)

if [[ $mode == --interactive ]]; then
  echo "== setup.exe runs on $DISPLAY in $dist"
  (cd "$dist" && wine setup.exe) || true
  echo "== the end of the log $log"
  [[ -f $log ]] && tail -n 40 "$log" | iconv -f cp1251 -t utf-8 | tr -d '\r'
  exit 0
fi

shots="$WIN_BUILD/screenshots/${mode#--}"
rm -rf "$shots"
mkdir -p "$shots"
winpath() { winepath -w "$1" 2>/dev/null; }
echo "== the robot: ${mode#--} of the demonstration product"
status=0
wine "$WIN_BUILD/tests/robot/robot.exe" "$mode" "$(winpath "$dist")" "$(winpath "$root/samples/source")" \
  "$(winpath "$shots")" 2> >(grep -v '^reg:' >&2) || status=$?
echo "== the end of the log $log"
[[ -f $log ]] && tail -n 40 "$log" | iconv -f cp1251 -t utf-8 | tr -d '\r'
python3 "$root/scripts/bmp2png.py" --remove "$shots"
echo "== screenshots of the pages the robot passed, in $shots"
ls -1 "$shots"
exit $status
