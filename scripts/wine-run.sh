#!/usr/bin/env bash
# Runs one Windows program under the build's Wine prefix; used by CTest in the cross build.
set -uo pipefail
: "${SETUP_BUILD_DIR:?SETUP_BUILD_DIR must name the cross build directory}"
export WINEPREFIX="$SETUP_BUILD_DIR/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
