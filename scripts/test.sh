#!/usr/bin/env bash
# Runs every test: the portable core natively, natively under AddressSanitizer/UBSan, a
# 32-bit build check, and the whole program cross-built with MinGW-w64 under Wine. Installs
# what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"

jobs=$(nproc)
werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
testdata="${SETUP_TESTDATA_DIR:-$root/../shared/testdata}"

build() {  # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DSETUP_WERROR=$werror -DSETUP_TESTDATA_DIR="$testdata" "$@" >/dev/null
  ninja -C "$dir" -j"$jobs"
}

echo "== native build and tests"
build "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSETUP_TESTS=ON
ctest --test-dir "$root/build/native" --output-on-failure -j"$jobs"

echo "== native build and tests with AddressSanitizer and UBSan"
build "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DSETUP_SANITIZE=ON -DSETUP_TESTS=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure -j"$jobs"

echo "== 32-bit cross build (compile and link only: no 32-bit Windows programs run here)"
WIN32_BUILD="$root/build/win32"
build "$WIN32_BUILD" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DSETUP_TESTS=OFF
# Earlier plug-in libraries are looked up by plain export names: the sample must export them
# undecorated (not "Perform@0").
exports=$(i686-w64-mingw32-objdump -p "$WIN32_BUILD/sdk/sample_plugin.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
for name in SetLogCallBack SetTreePointer SetExternalParameter SetIUGRegim SetQuestionsLevel \
  SetPath SetClientNumber SetProgressCallBack SetSessionName SetHideProgressCallBack \
  SetShowProgressCallBack AskQuestions Perform UserAbort UserSuspendThread UserResumeThread; do
  if ! grep -qE "\] $name\$" <<<"$exports"; then
    echo "32-bit sample plug-in does not export $name under its plain name" >&2
    exit 1
  fi
done
echo "32-bit setup.exe, setupkit.exe and sample_plugin.dll built; plain exports checked"

echo "== cross build, tests under Wine"
WIN_BUILD="$root/build/win"
# The main job configures this directory without its tests; the test command wants them.
build "$WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DSETUP_TESTS=ON
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_start
# A test program that fails is run once more and its first output kept above: Wine's own
# services (started lazily in a fresh prefix) can still race a test's files; a fault of ours
# fails both runs.
ctest --test-dir "$WIN_BUILD" --output-on-failure --repeat until-pass:2

