#!/usr/bin/env bash
# Regenerates the sample distribution (description, licence, archives, pictures) from
# samples/source. The build outputs that complete it (setup.exe, ztkuinst.exe,
# sample_plugin.dll) are not made here: scripts/run.sh copies them in.
#
# usage: samples/make_distribution.sh [--english] [DIST_DIR]   (default samples/distribution)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
language=Russian
if [[ ${1:-} == --english ]]; then
  language=English
  shift
fi
dist=${1:-$here/distribution}
mkdir -p "$dist"
# Only what this script writes is replaced; anything else in the directory stays.
rm -f "$dist"/*.zip "$dist"/*.bmp "$dist/setup.idf" "$dist/licence.txt"
python3 "$here/make_distribution.py" "$here/source" "$dist" --language "$language"
echo "sample distribution ($language) written to $dist"
