#!/usr/bin/env bash
# Builds the extraction fuzz target with libFuzzer, ASan and UBSan (clang), and runs it when
# asked:  fuzz/build_fuzz_extract.sh [run SECONDS]
# FAMILY=stored|shrunk|reduced|imploded|deflated builds a target that feeds one decoder
# family only (fuzz_extract_FAMILY, corpus in build-fuzz-extract/corpus-FAMILY).
# The corpus grows in build-fuzz-extract/corpus; the archives of the shared test data are
# not used as seeds because the target wraps its own single entry around the input.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
OUT=${OUT:-$REPO/build-fuzz-extract}
NAME=fuzz_extract
CORPUS="$OUT/corpus"
DEFS=()
if [[ -n ${FAMILY:-} ]]; then
  case $FAMILY in
    stored) n=0 ;; shrunk) n=1 ;; reduced) n=2 ;; imploded) n=3 ;; deflated) n=4 ;;
    *) echo "unknown FAMILY $FAMILY" >&2; exit 2 ;;
  esac
  NAME=fuzz_extract_$FAMILY
  CORPUS="$OUT/corpus-$FAMILY"
  DEFS=(-DFUZZ_FAMILY=$n)
fi
mkdir -p "$CORPUS"

SOURCES=()
for f in "$REPO"/src/unzip/*.cpp "$REPO"/src/common/*.cpp; do
  [[ $f == *_win32.cpp ]] && continue
  SOURCES+=("$f")
done
SOURCES+=("$REPO/src/setup/Messages.cpp" "$REPO/src/setup/LogFiles.cpp" "$REPO/src/setup/SetupGlobals.cpp")

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  "${DEFS[@]}" -I "$REPO/src" "$REPO/fuzz/fuzz_extract.cpp" "${SOURCES[@]}" -o "$OUT/$NAME"
echo "built $OUT/$NAME"

if [[ ${1:-} == run ]]; then
  SECONDS_TO_RUN=${2:-600}
  # One core: a single job, no forks.
  "$OUT/$NAME" "$CORPUS" -max_total_time="$SECONDS_TO_RUN" -max_len=65536 \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
fi
