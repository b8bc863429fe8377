#!/usr/bin/env bash
# Builds the extraction fuzz target with libFuzzer, ASan and UBSan (clang), and runs it when
# asked:  fuzz/build_fuzz_extract.sh [run SECONDS]
# The corpus grows in build-fuzz-extract/corpus; the archives of the shared test data are
# not used as seeds because the target wraps its own single entry around the input.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
OUT=${OUT:-$REPO/build-fuzz-extract}
mkdir -p "$OUT/corpus"

SOURCES=()
for f in "$REPO"/src/unzip/*.cpp "$REPO"/src/common/*.cpp; do
  [[ $f == *_win32.cpp ]] && continue
  SOURCES+=("$f")
done
SOURCES+=("$REPO/src/setup/Messages.cpp" "$REPO/src/setup/LogFiles.cpp" "$REPO/src/setup/SetupGlobals.cpp")

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I "$REPO/src" "$REPO/fuzz/fuzz_extract.cpp" "${SOURCES[@]}" -o "$OUT/fuzz_extract"
echo "built $OUT/fuzz_extract"

if [[ ${1:-} == run ]]; then
  SECONDS_TO_RUN=${2:-600}
  # One core: a single job, no forks.
  "$OUT/fuzz_extract" "$OUT/corpus" -max_total_time="$SECONDS_TO_RUN" -max_len=65536 \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
fi
