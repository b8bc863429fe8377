#!/bin/sh
# Builds the archive directory fuzz target with libFuzzer, ASan and UBSan.
#   fuzz/build_fuzz_directory.sh [output]      (default: build-fuzz/fuzz_directory)
# Run it on one core, for example:
#   build-fuzz/fuzz_directory -max_total_time=600 -jobs=1 -workers=1 corpus_dir
# A useful seed corpus is the shared test archives, each with a leading option byte.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz/fuzz_directory}
mkdir -p "$(dirname "$out")"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I "$root/src" \
  "$root/fuzz/fuzz_directory.cpp" \
  "$root/src/unzip/UnZip.cpp" "$root/src/unzip/ZipRecords.cpp" "$root/src/unzip/Streams.cpp" \
  "$root/src/unzip/ObjectList.cpp" "$root/src/unzip/UnZipSeams.cpp" "$root/src/unzip/Crc32.cpp" "$root/src/unzip/UnZipListing.cpp" \
  "$root/src/unzip/UnZipSeams_posix.cpp" \
  "$root/src/common/osfile_posix.cpp" "$root/src/common/text.cpp" \
  "$root/src/common/text_posix.cpp" "$root/src/common/codepages.cpp" "$root/src/common/casefold.cpp" \
  -o "$out"
echo "$out"
