#!/usr/bin/env bash
# setupkit as a vendor runs it: exit codes, error texts and the JSON of each command on the
# sample distribution and the shared ZIP corpus.
# Usage: setupkit_test.sh SETUPKIT SAMPLES_DIR TESTDATA_DIR
set -uo pipefail
KIT=$1
SAMPLES=$2
ZIPS=$3/zip
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0
failed=0

check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
  fi
}
contains() { grep -qF -- "$2" <<<"$1"; }
count() { grep -oF -- "$2" <<<"$1" | wc -l; }

# dump-idf
out=$("$KIT" dump-idf "$WORK/none.idf" 2>&1); rc=$?
check "dump-idf missing file exits 1" test $rc -eq 1
check "dump-idf missing file message" contains "$out" "$WORK/none.idf does not exist"
printf 'IDF-CPS-text\nA=1\n' >"$WORK/lf.idf"
out=$("$KIT" dump-idf "$WORK/lf.idf" 2>&1); rc=$?
check "dump-idf LF-only file is invalid" test $rc -eq 1
check "dump-idf invalid message" contains "$out" "Invalid file format $WORK/lf.idf"
out=$("$KIT" dump-idf "$SAMPLES/setup.idf"); rc=$?
check "dump-idf sample exits 0" test $rc -eq 0
check "dump-idf reads code page 1251" contains "$out" '{"name":"System name","type":"string","value":"Кворвален Демо"}'
check "dump-idf has no roots" contains "$out" '{"roots":[],"sections":['
out=$("$KIT" dump-idf "$SAMPLES/setup.idf" --codepage 866)
check "dump-idf --codepage changes the reading" contains "$out" '"System name"'
check "dump-idf --codepage 866 reads other letters" test "$(count "$out" 'Кворвален')" -eq 0

# tree
out=$("$KIT" tree "$SAMPLES/setup.idf"); rc=$?
check "tree sample exits 0" test $rc -eq 0
check "tree sample is loaded" contains "$out" '"loaded":true'
check "tree sample: everything selected" test "$(count "$out" '"selected":true')" -eq 3
out=$("$KIT" tree "$SAMPLES/setup.idf" --deselect 1)
# Unticking the core unticks what depends on it.
check "tree --deselect 1 unticks its dependents" test "$(count "$out" '"selected":false')" -eq 3
out=$("$KIT" tree "$SAMPLES/setup.idf" --deselect 1 --select 3)
# Ticking an example ticks its parent and what it depends on.
check "tree --select 3 ticks parent and dependencies" test "$(count "$out" '"selected":true')" -eq 3
printf 'IDF-CPS-text\r\n\r\n[SubSystems]\r\nA=1\r\nB=1\r\n[A]\r\n[B]\r\n' >"$WORK/dup.idf"
out=$("$KIT" tree "$WORK/dup.idf"); rc=$?
check "tree with duplicate numbers exits 1" test $rc -eq 1
check "tree with duplicate numbers is not loaded" contains "$out" '"loaded":false'

# unzip --list
out=$("$KIT" unzip --list "$ZIPS/generated/iz_split.zip"); rc=$?
check "list of a multi-disk set" test $rc -eq 0
check "list sees the four disks" contains "$out" '"disks":4'
out=$("$KIT" unzip --list "$WORK/none.zip" 2>&1); rc=$?
check "list of a missing archive exits 1" test $rc -eq 1
check "list names the exception class" contains "$out" "EFOpenError"

# unzip --test
out=$("$KIT" unzip --test "$ZIPS/generated/hw_all_methods.zip"); rc=$?
check "test of every method exits 0" test $rc -eq 0
check "test reports no failure" test "$(count "$out" '"ok":false')" -eq 0
out=$("$KIT" unzip --test "$ZIPS/generated/hw_store.zip")
check "test gives both CRC-32 values as numbers" contains "$out" '"path":"one.bin","method":0,"ok":true,"crc32":3554254475,"computedCrc32":3554254475}'
out=$("$KIT" unzip --test "$ZIPS/generated/iz_bzip2_unsupported.zip"); rc=$?
check "test with an unsupported method exits 1" test $rc -eq 1
check "test names the unsupported method" contains "$out" "Unknown Compression Method"
check "test creates no file" test -z "$(ls -A "$WORK" | grep -v -e none -e lf.idf -e dup.idf)"

# unzip --extract
out=$("$KIT" unzip --extract "$WORK/out" "$ZIPS/generated/hw_deflate.zip"); rc=$?
check "extract exits 0" test $rc -eq 0
for f in english.txt binrep.bin one.bin empty.txt same200k.bin; do
  check "extract gives the bytes of $f" cmp -s "$WORK/out/$f" "$ZIPS/inputs/$f"
done
out=$("$KIT" unzip --extract "$WORK/enc" "$ZIPS/generated/iz_encrypted.zip" --password wrong 2>&1); rc=$?
check "extract with a wrong password exits 1" test $rc -eq 1

out=$("$KIT" unzip --extract "$WORK/enc" "$ZIPS/generated/iz_encrypted.zip" --password test123); rc=$?
check "extract with the password exits 0" test $rc -eq 0
check "extract with the password decrypts" cmp -s "$WORK/enc/english.txt" "$ZIPS/inputs/english.txt"

# An archive named like one of its entries, extracted into its own directory, is not
# written over (natively nothing else would stop it).
mkdir -p "$WORK/self"
cp "$ZIPS/generated/hw_store.zip" "$WORK/self/one.bin"
out=$("$KIT" unzip --extract "$WORK/self" "$WORK/self/one.bin" 2>&1); rc=$?
check "extract over the archive itself exits 1" test $rc -eq 1
check "extract over the archive itself says why" contains "$out" "It is the archive being read."
check "extract over the archive itself keeps it" cmp -s "$WORK/self/one.bin" "$ZIPS/generated/hw_store.zip"

echo "setupkit: $passed passed, $failed failed"
test $failed -eq 0
