#!/usr/bin/env bash
# Runs one Windows program under the build's Wine prefix; used by CTest in the cross build.
set -uo pipefail
: "${SETUP_BUILD_DIR:?SETUP_BUILD_DIR must name the cross build directory}"
export WINEPREFIX="$SETUP_BUILD_DIR/wineprefix"
export WINEDEBUG=-all
# winemenubuilder turns every shell link made into a desktop entry and reads the link's
# target for its icon while the run goes on; a removal right after may then find the file in
# use. The prefix is the tests' own: no desktop of a person needs those entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
exec wine "$@"
