#!/bin/sh
# Builds the decoder fuzz target with libFuzzer, ASan and UBSan.
#   fuzz/build_fuzz_decoders.sh [output]      (default: build-fuzz/fuzz_decoders)
# Run it on one core, for example:
#   build-fuzz/fuzz_decoders -max_total_time=600 -jobs=1 -workers=1 corpus_dir
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz/fuzz_decoders}
mkdir -p "$(dirname "$out")"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I "$root/src" \
  "$root/fuzz/fuzz_decoders.cpp" "$root"/src/unzip/Decode*.cpp "$root/src/unzip/Crc32.cpp" \
  -lz -o "$out"
echo "$out"
