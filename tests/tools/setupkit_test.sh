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
check "tree sample: everything selected" test "$(count "$out" '"selected":true')" -eq 6
out=$("$KIT" tree "$SAMPLES/setup.idf" --deselect 1)
# Unticking the core unticks its children, what depends on it and the view group left
# empty; the hidden runtime (5) stays.
check "tree --deselect 1 unticks its dependents" test "$(count "$out" '"selected":false')" -eq 5
check "tree --deselect 1 keeps the hidden runtime" \
  contains "$(grep -o '"number":5,"section":"Runtime"[^{]*' <<<"$out")" '"selected":true'
out=$("$KIT" tree "$SAMPLES/setup.idf" --deselect 1 --select 3)
# Ticking an example ticks its parent (2), what it depends on (1) and its view group (6).
check "tree --select 3 ticks parent and dependencies" test "$(count "$out" '"selected":true')" -eq 5
# The core's archive shows both methods: stored and deflated members.
out=$("$KIT" unzip --list "$SAMPLES/core.zip")
check "the sample's core archive has stored members" contains "$out" '"method":0,'
check "the sample's core archive has deflated members" contains "$out" '"method":8,'
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

# check: the preflight of a distribution, on copies of the sample with one problem each.
# make_pe OUT MACHINE dll|exe NAME... writes a minimal PE image (headers, one section holding
# the export directory) with those export names; enough for the checker's header reading.
# Plain bash, so that the test needs nothing beyond the build's packages.
bytes() { printf "$(printf '\\x%02x' "$@")"; }
le16() { bytes $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { bytes $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
zeros() { head -c "$1" /dev/zero; }
make_pe() {
  local out=$1 machine=$((16#$2)) kind=$3 name
  shift 3
  local n=$# va=4096 raw=512 dirs=108 flags=$((0x2022)) magic=$((0x20B))
  if ((machine == 0x14C)); then dirs=92 magic=$((0x10B)); fi
  [[ $kind == dll ]] || flags=$((0x22))
  local optsize=$((dirs + 4 + 16 * 8)) edsize=$((40 + 4 * n))
  for name; do edsize=$((edsize + ${#name} + 1)); done
  {
    printf 'MZ'; zeros 58; le32 64
    printf 'PE\0\0'
    le16 $machine; le16 1; le32 0; le32 0; le32 0; le16 $optsize; le16 $flags
    le16 $magic; zeros $((dirs - 2)); le32 16; le32 $va; le32 $edsize; zeros $((optsize - dirs - 12))
    printf '.edata\0\0'; le32 $edsize; le32 $va; le32 $edsize; le32 $raw; zeros 12; le32 $((0x40000040))
    zeros $((raw - 64 - 4 - 20 - optsize - 40))
    le32 0; le32 0; le32 0; le32 0; le32 1; le32 $n; le32 $n; le32 0; le32 $((va + 40)); le32 0
    local at=$((va + 40 + 4 * n))
    for name; do le32 $at; at=$((at + ${#name} + 1)); done
    for name; do printf '%s\0' "$name"; done
  } >"$out"
}
CONTRACT="SetLogCallBack SetTreePointer SetExternalParameter SetIUGRegim SetQuestionsLevel SetPath
 SetClientNumber SetProgressCallBack SetSessionName SetHideProgressCallBack
 SetShowProgressCallBack AskQuestions Perform UserAbort UserSuspendThread UserResumeThread"
# The library the sample names, whichever subsystem names it.
LIB=$(grep -a -i '^Library=' "$SAMPLES/setup.idf" | head -1 | cut -d= -f2 | tr -d '\r')
# dist NAME: a copy of the sample distribution with its library (x86-64, every export).
dist() {
  rm -rf "$WORK/$1"
  cp -r "$SAMPLES" "$WORK/$1"
  # shellcheck disable=SC2086
  [[ -n "$LIB" ]] && make_pe "$WORK/$1/$LIB" 8664 dll $CONTRACT
  echo "$WORK/$1"
}
# edit_idf FILE SED-SCRIPT: edits the description's bytes (lines end in CR LF).
edit_idf() { LC_ALL=C sed -i "$2" "$1"; }
problems() { grep -c -E '^[^ ].*: ' <<<"$(sed -n '/problems\?:$/,$p' <<<"$1" | tail -n +2)"; }

out=$("$KIT" check "$SAMPLES"); rc=$?
# The sample ships without its plug-in DLL (the cross build makes it): that is its only problem.
check "check of the sample as shipped exits 1" test $rc -eq 1
check "check of the sample as shipped: only its library is missing" test "$(problems "$out")" -eq 1
check "check of the sample names the missing library" contains "$out" "$LIB: ["
d=$(dist good)
out=$("$KIT" check "$d"); rc=$?
check "check of a good distribution exits 0" test $rc -eq 0
check "check of a good distribution finds nothing" contains "$out" "no problems"
check "check says the default machine type" contains "$out" "machine type x86-64 (no setup.exe: the default)"
check "check gives the size of each subsystem" contains "$out" "  archive core.zip: 4 entries, "
check "check lists the library's exports" contains "$out" "x86-64, exports SetLogCallBack, SetTreePointer"
out=$("$KIT" check "$d" --json); rc=$?
check "check --json of a good distribution exits 0" test $rc -eq 0
check "check --json: no problems" contains "$out" '"problems":[],"ok":true}'
check "check --json: the archive's size" contains "$out" '{"name":"core.zip","readable":true,"entries":4,"size":'
check "check --json: the links found" contains "$out" '{"key":"MenuLink1","target":"bin\\qvdemo.bat","found":true}'
# help.zip belongs to two subsystems and counts in both.
check "check --json: a shared archive in both subsystems" \
  test "$(count "$out" '{"name":"help.zip","readable":true,')" -eq 2
out=$("$KIT" check 2>&1); rc=$?
check "check without a directory is a bad command line" test $rc -eq 2
out=$("$KIT" check "$d" --verbose 2>&1); rc=$?
check "check with an unknown option is a bad command line" test $rc -eq 2
out=$("$KIT" check "$WORK/nodir" 2>&1); rc=$?
check "check of a missing directory exits 1" test $rc -eq 1

# Each kind of problem: the exit status and the line naming file, section and key.
expect_problem() {  # expect_problem NAME DIR LINE [ARGS...]
  local name=$1 dir=$2 line=$3
  shift 3
  local out rc
  out=$("$KIT" check "$dir" "$@"); rc=$?
  check "check: $name exits 1" test $rc -eq 1
  check "check: $name is reported" contains "$out" "$line"
}
# A DLL that no Library key names is said, but is not a problem of the installer's.
d=$(dist stray); make_pe "$d/version.dll" 8664 dll; make_pe "$d/Extra.DLL" 8664 dll
out=$("$KIT" check "$d"); rc=$?
check "check: stray DLLs leave the exit status 0" test $rc -eq 0
check "check: a stray DLL is warned about" contains "$out" "warning: version.dll: a DLL that no Library key names"
check "check: whatever the case of its name" contains "$out" "warning: Extra.DLL: a DLL that no Library key names"
check "check: the named library is not" test "$(count "$out" "warning: $LIB")" -eq 0
out=$("$KIT" check "$d" --json)
check "check --json: the warnings" contains "$out" '"warnings":[{"file":"Extra.DLL","section":"","key":"","message":"a DLL that no Library key names'
d=$(dist noarchive); rm "$d/docs.zip"
expect_problem "missing archive" "$d" "docs.zip: [Docs] Archive: the archive does not exist"
d=$(dist badentry)
# One byte of the data of bin/qvdemo.bat (stored) changed: after its local header's name and
# extra field.
name_at=$(LC_ALL=C grep -obUa 'bin/qvdemo.bat' "$d/core.zip" | head -1 | cut -d: -f1)
extra=$(od -An -tu2 -j $((name_at - 2)) -N2 "$d/core.zip" | tr -d ' ')
data_at=$((name_at + 14 + extra))
old=$(od -An -tu1 -j $data_at -N1 "$d/core.zip" | tr -d ' ')
bytes $((old ^ 0x55)) | dd of="$d/core.zip" bs=1 seek=$data_at conv=notrunc status=none
expect_problem "damaged archive entry" "$d" "core.zip: [Core] Archive: entry bin\\qvdemo.bat: CRC-32 mismatch"
d=$(dist truncated); head -c 40 "$SAMPLES/docs.zip" >"$d/docs.zip"
expect_problem "cut-off archive" "$d" "docs.zip: [Docs] Archive: the archive has no readable central directory"
d=$(dist notzip); echo "not an archive" >"$d/docs.zip"
expect_problem "unreadable archive" "$d" "docs.zip: [Docs] Archive: the archive cannot be read"
d=$(dist nolib); rm "$d/$LIB"
expect_problem "missing library" "$d" "$LIB: ["
expect_problem "missing library (key)" "$d" "Library: the library does not exist in the distribution"
d=$(dist noext); edit_idf "$d/setup.idf" "s/^Library=$LIB/Library=${LIB%.dll}/"
out=$("$KIT" check "$d"); rc=$?
check "check: a library named without .dll is found as Windows finds it" test $rc -eq 0
d=$(dist i386); make_pe "$d/$LIB" 14C dll $CONTRACT
expect_problem "library of the wrong machine type" "$d" "Library: built for i386, the installer is x86-64"
make_pe "$d/setup.exe" 14C exe
out=$("$KIT" check "$d"); rc=$?
check "check: an i386 library beside an i386 setup.exe exits 0" test $rc -eq 0
check "check: the machine type of setup.exe is said" contains "$out" "machine type i386 (of setup.exe)"
make_pe "$d/$LIB" 8664 dll $CONTRACT
expect_problem "x86-64 library beside an i386 setup.exe" "$d" "Library: built for x86-64, the installer is i386"
d=$(dist exe); make_pe "$d/$LIB" 8664 exe $CONTRACT
expect_problem "library that is not a DLL" "$d" "Library: a program, not a DLL"
d=$(dist text); echo "not a library" >"$d/$LIB"
expect_problem "library that is no PE file" "$d" "Library: not a Windows program file: no MZ signature"
d=$(dist noask); make_pe "$d/$LIB" 8664 dll SetPath Perform
expect_problem "missing export" "$d" "Library: does not export AskQuestions"
d=$(dist decorated); make_pe "$d/$LIB" 14C dll _AskQuestions@0 Perform; make_pe "$d/setup.exe" 14C exe
expect_problem "decorated export" "$d" "Library: exports AskQuestions only as _AskQuestions@0"
d=$(dist nolicence); rm "$d/licence.txt"
expect_problem "missing licence" "$d" "licence.txt: the licence does not exist"
d=$(dist badlink); edit_idf "$d/setup.idf" 's/^MenuLink1=bin\\qvdemo.bat/MenuLink1=bin\\gone.exe/'
expect_problem "link target in no archive" "$d" "setup.idf: [Core] MenuLink1: the target bin\\gone.exe is in no archive"
# A link may start a file of a subsystem it depends on, or the installer's own copy, but
# not a file of a subsystem below it.
d=$(dist deplinks)
edit_idf "$d/setup.idf" 's/^\[Docs\]\r$/[Docs]\r\nMenuLink5=BIN\/QvDemo.bat\r\nMenuLink6=EXE\\setup.exe|UNINSTALL\r\nMenuLink7=examples\\hello.bat\r/'
out=$("$KIT" check "$d")
check "check: a link to a file of a dependency is found" contains "$out" "  link MenuLink5: BIN/QvDemo.bat"$'\n'
check "check: a link to the installer's copy is found" contains "$out" "  link MenuLink6: EXE\\setup.exe"$'\n'
check "check: a link to a file of a child is not" contains "$out" "setup.idf: [Docs] MenuLink7: the target examples\\hello.bat is in no archive"
check "check: that is the only problem" test "$(problems "$out")" -eq 1
d=$(dist noidf); rm "$d/setup.idf"
expect_problem "missing description" "$d" "setup.idf: the description does not exist"
d=$(dist lfidf); printf 'IDF-CPS-text\nA=1\n' >"$d/setup.idf"
expect_problem "unreadable description" "$d" "setup.idf: Invalid file format"
d=$(dist dupidf); edit_idf "$d/setup.idf" 's/^Docs=2/Docs=1/'
expect_problem "duplicate numbers" "$d" "setup.idf: [SubSystems]"
check "check: the duplicate numbers are one problem" test "$(problems "$("$KIT" check "$d")")" -eq 1
d=$(dist orphan); edit_idf "$d/setup.idf" 's/^Parent=2/Parent=9/'
expect_problem "subsystem outside the tree" "$d" "setup.idf: [Examples] Parent: the subsystem is not in the tree"
d=$(dist baddepend); edit_idf "$d/setup.idf" 's/^Depend=1, 2/Depend=1, x/'
expect_problem "message while the tree builds" "$d" "setup.idf: [Examples]: Invalid 'depend' string in setup.idf. Section - Examples"
out=$("$KIT" check "$d" --json)
check "check --json names file, section and key" contains "$out" '{"file":"setup.idf","section":"Examples","key":"","message":"Invalid '"'"'depend'"'"' string in setup.idf. Section - Examples"}'
check "check --json: ok is false with problems" contains "$out" '],"ok":false}'

echo "setupkit: $passed passed, $failed failed"
test $failed -eq 0
