#!/usr/bin/env bash
# Runs a Win32 program under Wine in the project's own prefix for the
# architecture in KORVELT_ARCH (x86 or x64), set up as testing/wine-ARCH.env
# says, and passes its exit code through. The caller's WINEPREFIX, WINEDEBUG
# and WINEDLLOVERRIDES win over the file's.
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=testing/wine-x86.env
. "$here/testing/wine-${KORVELT_ARCH:-x86}.env" || exit 1
export WINEPREFIX=${WINEPREFIX:-$here/build/$prefix} WINEARCH=$winearch
export WINEDEBUG=${WINEDEBUG:-$winedebug} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-$winedlloverrides}
if [ -n "$wineloader" ]; then export WINELOADER=$wineloader; else unset WINELOADER; fi
exec "$loader" "$@"
