#!/usr/bin/env bash
# Builds the removal-list fuzz target (uninst.inf and temp.inf read into the lists of files
# to delete) with libFuzzer, ASan and UBSan (clang), and runs it when asked:
#   fuzz/build_fuzz_removal_lists.sh [run SECONDS]
# The corpus grows in build-fuzz-removal/corpus, seeded with a small list and a saved state.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
OUT=${OUT:-$REPO/build-fuzz-removal}
NAME=fuzz_removal_lists
CORPUS="$OUT/corpus"
mkdir -p "$CORPUS"

SOURCES=()
for f in "$REPO"/src/description/*.cpp "$REPO"/src/unzip/*.cpp "$REPO"/src/common/*.cpp; do
  [[ $f == *_win32.cpp ]] && continue
  SOURCES+=("$f")
done
SOURCES+=("$REPO/src/setup/Messages.cpp" "$REPO/src/setup/LogFiles.cpp" "$REPO/src/setup/SetupGlobals.cpp"
          "$REPO/src/engine/RemovalPlan.cpp" "$REPO/src/engine/EnginePaths.cpp"
          "$REPO/src/engine/UninstallList.cpp")

if [[ ! -e $CORPUS/seed-list ]]; then
  printf 'IDF-CPS-text\r\n\r\n[base.zip]\r\nUsesCount=1\r\nC:\\Program Files\\Prod\\EXE\\a.exe=\r\nC:\\Program Files\\Prod\\..\\..\\Windows\\x.dll=\r\n[shared.zip]\r\nUsesCount=2\r\nC:\\Program Files\\Prod\\DATA\\b=c.txt=\r\n' >"$CORPUS/seed-list"
  printf 'IDF-CPS-text\r\n\r\n[Params]\r\nPath=C:\\Program Files\\Prod\r\nLevel=1\r\n[SubSystems]\r\n1=Base\r\n[Base]\r\nNumber=1\r\nArchive=base.zip,shared.zip\r\n[base.zip]\r\nUsesCount=1\r\n\\\\?\\C:\\Program Files\\Prod\\SYSTEM\\s.dll=\r\n' >"$CORPUS/seed-state"
fi

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I "$REPO/src" "$REPO/fuzz/fuzz_removal_lists.cpp" "${SOURCES[@]}" -o "$OUT/$NAME"
echo "built $OUT/$NAME"

if [[ ${1:-} == run ]]; then
  SECONDS_TO_RUN=${2:-600}
  # One core: a single job, no forks.
  "$OUT/$NAME" "$CORPUS" -max_total_time="$SECONDS_TO_RUN" -max_len=16384 \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
fi
