#!/bin/sh
# Builds the journal fuzz target (the reader and the roll-back planning) with libFuzzer, ASan
# and UBSan.
#   fuzz/build_fuzz_journal.sh [output]      (default: build-fuzz/fuzz_journal)
# Run it on one core, for example:
#   build-fuzz/fuzz_journal -max_total_time=600 -jobs=1 -workers=1 corpus_dir
# Seeds: journals as the engine writes them, each with a leading option byte (bit 0: judge
# the final paths too); fuzz/make_journal_seeds.sh writes a few.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz/fuzz_journal}
mkdir -p "$(dirname "$out")"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I "$root/src" \
  "$root/fuzz/fuzz_journal.cpp" \
  "$root/src/engine/Journal.cpp" "$root/src/engine/JournalPlan.cpp" \
  "$root/src/engine/EnginePaths.cpp" \
  "$root/src/common/pathrules.cpp" "$root/src/common/osfile_posix.cpp" "$root/src/common/text.cpp" \
  "$root/src/common/text_posix.cpp" "$root/src/common/codepages.cpp" "$root/src/common/casefold.cpp" \
  -o "$out"
echo "$out"
