#!/usr/bin/env bash
# setup.exe against an NSIS installer of the same files, both unattended under the same Wine.
#
# A seeded payload (bench/make_payload.py: about 100 MB in 5,000 files) becomes
#   ours:  a distribution with one subsystem whose archive (deflate) holds the payload, a
#          one-subsystem setup.idf, setup.exe and ztkuinst.exe; installed with
#          `setup.exe /S /DIR=...`, removed as the Windows list of programs removes it:
#          `ztkuinst.exe /S <dir>\uninst.idf` (UNINSTALL_VIA=setup: `setup.exe UNINSTALL /S`)
#   NSIS:  makensis with its default compressor (zlib) for amd64-unicode (this Wine runs
#          64-bit programs only); installed with `/S /D=...`, removed by its uninstaller with
#          `/S _?=<dir>` (without _? it copies itself to the temporary directory, starts the
#          copy and returns at once, and the time would mean nothing).
# Each round installs both into directories that do not exist yet and removes them again;
# the order alternates from round to round. Printed: each time, the medians and the ratios
# (ours / NSIS; 1.0 or below means we are as fast or faster), and the peak memory of
# setup.exe during the installation (the high-water mark VmHWM of its Wine process, read
# from /proc every 50 ms while it runs; NSIS's installer is measured the same way).
# Not a test: run it by hand on an otherwise idle machine. Installs nsis with apt-get when
# makensis is missing.
#
# usage: bench/bench_nsis.sh [ROUNDS]          (default 5)
# env:   BUILD_DIR      cross build (default <repo>/build-bench-win; configured and built here)
#        NO_BUILD=1     use setup.exe and ztkuinst.exe as they are in BUILD_DIR
#        WORK_DIR       scratch space (default /tmp/bench_nsis; about 400 MB)
#        SEED           payload seed (default: make_payload.py's)
#        UNINSTALL_VIA  ztkuinst (default) or setup
#        RUN_TIMEOUT    seconds one run may take before it counts as hung (default 900)
set -euo pipefail

ROUNDS=${1:-5}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench-win}
WORK_DIR=${WORK_DIR:-/tmp/bench_nsis}
UNINSTALL_VIA=${UNINSTALL_VIA:-ztkuinst}
RUN_TIMEOUT=${RUN_TIMEOUT:-900}

if ! command -v makensis >/dev/null; then
  echo "== installing nsis"
  DEBIAN_FRONTEND=noninteractive apt-get install -y nsis >/dev/null
fi

if [[ -z ${NO_BUILD:-} ]]; then
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-x86_64.cmake" >/dev/null
  ninja -C "$BUILD_DIR" -j2 setup ztkuinst >/dev/null
fi

# ---- the payload and both installers ----
rm -rf "$WORK_DIR"
mkdir -p "$WORK_DIR/dist"
python3 "$REPO/bench/make_payload.py" "$WORK_DIR/payload" ${SEED:+"$SEED"}
files=$(find "$WORK_DIR/payload" -type f | wc -l)
bytes=$(find "$WORK_DIR/payload" -type f -printf '%s\n' | awk '{ n += $1 } END { print n }')

python3 - "$WORK_DIR/payload" "$WORK_DIR/dist/payload.zip" <<'PY'
import os, sys, zipfile
root, target = sys.argv[1:]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, root))
PY
printf '%s\r\n' 'IDF-CPS-text' '' '[Params]' 'System name=Bench Payload' \
  'System path=C:\bench_ours' 'Program Group=Bench Payload' 'Company Name=Bench' \
  'Install type=1' 'SetupType=0' '[Language]' 'Language=English' '[SubSystems]' 'Payload=1' \
  '[Payload]' 'Short name=Payload' 'Full name=The benchmark payload' 'Archive=payload.zip' \
  >"$WORK_DIR/dist/setup.idf"
printf 'Benchmark payload.\r\n' >"$WORK_DIR/dist/licence.txt"
cp "$BUILD_DIR/src/setup/setup.exe" "$BUILD_DIR/src/tools/ztkuinst/ztkuinst.exe" "$WORK_DIR/dist/"

# The NSIS script: the same files, an uninstall entry like ours, the uninstaller in the
# installed directory.
cat >"$WORK_DIR/bench.nsi" <<NSI
Unicode true
Target amd64-unicode
Name "Bench Payload"
OutFile "nsis_setup.exe"
InstallDir "C:\\bench_nsis"
RequestExecutionLevel admin
!define UNINST_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchPayload"
Page directory
Page instfiles
Section
  SetOutPath "\$INSTDIR"
  File /r "payload\\*.*"
  WriteUninstaller "\$INSTDIR\\uninstall.exe"
  WriteRegStr HKLM "\${UNINST_KEY}" "DisplayName" "Bench Payload"
  WriteRegStr HKLM "\${UNINST_KEY}" "UninstallString" '"\$INSTDIR\\uninstall.exe"'
SectionEnd
Section "Uninstall"
  DeleteRegKey HKLM "\${UNINST_KEY}"
  RMDir /r "\$INSTDIR"
SectionEnd
NSI
(cd "$WORK_DIR" && makensis -V2 bench.nsi)
zipSize=$(stat -c %s "$WORK_DIR/dist/payload.zip")
nsisSize=$(stat -c %s "$WORK_DIR/nsis_setup.exe")

WIN_BUILD=$BUILD_DIR
# shellcheck source=../scripts/wine-env.sh
source "$REPO/scripts/wine-env.sh"
wine_env_start
drive_c="$WINEPREFIX/drive_c"
# The product key is fixed: with a product of ours installed, setup.exe would change that one.
if wine reg query 'HKLM\Software\Quorvalen' /reg:32 >/dev/null 2>&1; then
  echo "A product of ours is installed in $WINEPREFIX; remove it first" >&2
  echo "(wine 'C:\windows\ztkuinst.exe' /S '<its directory>\uninst.idf')." >&2
  exit 1
fi
winpath() { echo "Z:${1//\//\\}"; }

# timed NAME DIR PATTERN COMMAND...: runs the command in DIR, records its time in ms in
# $elapsed and the peak resident size in kB (VmHWM) of the process whose command line matches
# PATTERN in $peak; fails on a non-zero exit code or when the run takes longer than
# RUN_TIMEOUT. The process is looked up once and then read every 50 ms with shell builtins
# only, so that the measuring takes next to nothing from the installer being measured.
timed() {
  local name=$1 dir=$2 pattern=$3 start pid rc=0 target="" key value unit
  shift 3
  peak=0
  start=$(date +%s%N)
  (cd "$dir" && exec timeout "$RUN_TIMEOUT" "$@") >"$WORK_DIR/$name.out" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    # The Windows process is the child of timeout whose command line Wine made the program's.
    [[ -n $target ]] || target=$(pgrep -P "$pid" -f -- "$pattern" | head -1 || true)
    if [[ -n $target ]]; then
      while read -r key value unit; do
        [[ $key == VmHWM: ]] && ((value > peak)) && peak=$value
      done 2>/dev/null <"/proc/$target/status" || true
    fi
    sleep 0.05
  done
  wait "$pid" || rc=$?
  elapsed=$((($(date +%s%N) - start) / 1000000))
  if ((rc != 0)); then
    echo "$name: exit code $rc (124: no end within $RUN_TIMEOUT s); its output:" >&2
    cat "$WORK_DIR/$name.out" >&2
    return 1
  fi
}

# installed DIR: the number of payload files found there (installers add their own files).
installed() {
  [[ -d $1 ]] || { echo 0; return; }
  (cd "$1" && find . -type f | grep -v -e '^\./uninst' -e '^\./EXE/' -e '^\./uninstall\.exe$' | wc -l)
}

run_ours() {
  local dir="$drive_c/bench_ours"
  rm -rf "$dir"
  timed ours-install "$WORK_DIR/dist" 'setup\.exe /S' wine setup.exe /S '/DIR=C:\bench_ours' || {
    echo "setup.exe /S did not install (without the unattended switches it opens the wizard" >&2
    echo "and waits for a person)." >&2
    exit 1
  }
  oursInstall+=("$elapsed") oursPeak+=("$peak")
  local n
  n=$(installed "$dir")
  [[ $n -eq $files ]] || { echo "ours: $n of $files files installed" >&2; exit 1; }
  if [[ $UNINSTALL_VIA == setup ]]; then
    timed ours-uninstall "$WORK_DIR/dist" 'setup\.exe UNINSTALL' wine setup.exe UNINSTALL /S
  else
    timed ours-uninstall "$WORK_DIR" 'ztkuinst' wine 'C:\windows\ztkuinst.exe' /S 'C:\bench_ours\uninst.idf'
  fi
  oursUninstall+=("$elapsed")
  [[ ! -e "$dir" ]] || { echo "ours: $dir is still there after the removal" >&2; exit 1; }
}

run_nsis() {
  local dir="$drive_c/bench_nsis"
  rm -rf "$dir"
  timed nsis-install "$WORK_DIR" 'nsis_setup\.exe' wine "$(winpath "$WORK_DIR/nsis_setup.exe")" /S '/D=C:\bench_nsis'
  nsisInstall+=("$elapsed") nsisPeak+=("$peak")
  local n
  n=$(installed "$dir")
  [[ $n -eq $files ]] || { echo "NSIS: $n of $files files installed" >&2; exit 1; }
  timed nsis-uninstall "$WORK_DIR" 'uninstall\.exe' wine 'C:\bench_nsis\uninstall.exe' /S '_?=C:\bench_nsis'
  nsisUninstall+=("$elapsed")
  # With _? the uninstaller cannot delete itself; the directory is left with it alone.
  n=$(find "$dir" -type f 2>/dev/null | wc -l)
  [[ $n -le 1 ]] || { echo "NSIS: $n files left after the removal" >&2; exit 1; }
  rm -rf "$dir"
}

oursInstall=() oursUninstall=() oursPeak=() nsisInstall=() nsisUninstall=() nsisPeak=()
echo "== payload: $files files, $bytes bytes; payload.zip $zipSize bytes, nsis_setup.exe $nsisSize bytes"
for ((r = 1; r <= ROUNDS; r++)); do
  if ((r % 2)); then run_ours; run_nsis; else run_nsis; run_ours; fi
  echo "round $r: ours install ${oursInstall[-1]} ms, uninstall ${oursUninstall[-1]} ms, peak ${oursPeak[-1]} kB;" \
    "NSIS install ${nsisInstall[-1]} ms, uninstall ${nsisUninstall[-1]} ms, peak ${nsisPeak[-1]} kB"
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ratio() { python3 -c "print(f'{$1/$2:.2f}')"; }
oi=$(median "${oursInstall[@]}") ou=$(median "${oursUninstall[@]}") op=$(median "${oursPeak[@]}")
ni=$(median "${nsisInstall[@]}") nu=$(median "${nsisUninstall[@]}") np=$(median "${nsisPeak[@]}")
{
  echo "== medians of $ROUNDS rounds ($files files, $bytes bytes)"
  echo "install:   ours $oi ms, NSIS $ni ms, ratio $(ratio "$oi" "$ni")"
  echo "uninstall: ours $ou ms ($UNINSTALL_VIA), NSIS $nu ms, ratio $(ratio "$ou" "$nu")"
  echo "peak memory during the install: setup.exe $op kB, NSIS installer $np kB"
} | tee "$WORK_DIR/results.txt"
