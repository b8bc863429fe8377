#!/usr/bin/env bash
# The installer's own overhead under Wine: a fresh installation of one subsystem whose
# archive holds 5,000 small files, against `setupkit.exe unzip --extract` of the same archive
# under the same Wine. Both run ROUNDS times into fresh folders; the medians and their ratio
# are printed. Run it on an otherwise idle machine.
#
# usage: bench/bench_install.sh [ROUNDS]        (default 5)
# env:   BUILD_DIR  cross build with the benchmarks (default <repo>/build-bench-win; made here)
#        WORK_DIR   scratch space                (default /tmp/bench_install)
set -euo pipefail

ROUNDS=${1:-5}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench-win}
WORK_DIR=${WORK_DIR:-/tmp/bench_install}

cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_TESTS=OFF \
  -DSETUP_BENCH=ON -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C "$BUILD_DIR" -j2 setupkit bench_install >/dev/null

rm -rf "$WORK_DIR"
mkdir -p "$WORK_DIR"
python3 - "$WORK_DIR/files5000.zip" <<'PY'
import random, sys, zipfile
random.seed(5000)
words = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu".split()
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(5000):
        text = " ".join(random.choice(words) for _ in range(random.randint(50, 400)))
        z.writestr(f"dir{i % 50:02d}/sub{i % 7}/file{i:04d}.txt", text)
PY

WIN_BUILD=$BUILD_DIR
# shellcheck source=../scripts/wine-env.sh
source "$REPO/scripts/wine-env.sh"
wine_env_start
winpath() { echo "Z:${1//\//\\}"; }

echo "== setupkit.exe unzip --extract"
kit=()
for ((r = 1; r <= ROUNDS; r++)); do
  out="$WORK_DIR/kit$r"
  start=$(date +%s%N)
  wine "$BUILD_DIR/src/tools/setupkit/setupkit.exe" unzip --extract "$(winpath "$out")" \
    "$(winpath "$WORK_DIR/files5000.zip")" >/dev/null
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "round $r: $ms ms"
  kit+=("$ms")
  rm -rf "$out"
done

echo "== bench_install.exe (setup's engine)"
wine "$BUILD_DIR/bench/bench_install.exe" "$(winpath "$WORK_DIR/files5000.zip")" \
  "$(winpath "$WORK_DIR/engine")" "$ROUNDS" | tee "$WORK_DIR/engine.txt"

echo "== bench_install.exe without a log file"
wine "$BUILD_DIR/bench/bench_install.exe" "$(winpath "$WORK_DIR/files5000.zip")" \
  "$(winpath "$WORK_DIR/engine")" "$ROUNDS" nolog | tee "$WORK_DIR/engine-nolog.txt"

kitMedian=$(printf '%s\n' "${kit[@]}" | sort -n | sed -n "$(( (ROUNDS + 1) / 2 ))p")
engineMedian=$(sed -n 's/^median \([0-9]*\) ms.*/\1/p' "$WORK_DIR/engine.txt")
noLogMedian=$(sed -n 's/^median \([0-9]*\) ms.*/\1/p' "$WORK_DIR/engine-nolog.txt")
ratio() { python3 -c "print(f'{$1/$2:.2f}')"; }
echo "median setupkit $kitMedian ms, engine $engineMedian ms (ratio $(ratio "$engineMedian" "$kitMedian")), engine without log file $noLogMedian ms (ratio $(ratio "$noLogMedian" "$kitMedian"))"
