#!/usr/bin/env bash
# Runs a Win32 program under Wine in the project's own prefix for the
# architecture in KORVELT_ARCH (x86 or x64) and passes its exit code through.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ "${KORVELT_ARCH:-x86}" = x64 ]; then
  export WINEPREFIX=${WINEPREFIX:-$here/build/wine64} WINEARCH=win64
  # The 64-bit loader itself: the wine wrapper prefers the 32-bit one, which
  # some machines cannot start.
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
export WINEPREFIX=${WINEPREFIX:-$here/build/wine32} WINEARCH=win32
exec wine "$@"
