#!/usr/bin/env bash
# Korvelt's one entry point: deps, build, test, demo, bench.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=$ROOT/build
JOBS=$(nproc)
# The 32-bit loader whose start tells whether this machine runs 32-bit
# programs (tests/build/test_arches.sh puts others in its place).
WINE32_LOADER=${KORVELT_WINE32_LOADER:-/usr/lib/wine/wine}

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libssl-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 wixl msitools nginx-light tinyproxy curl
  xvfb xauth xdotool x11-utils imagemagick python3 python3-pefile openssl osslsigncode)
# 32-bit Wine, for the i686 programs: wanted, but a machine that cannot
# run 32-bit programs may not take it, and the rest goes on without it.
PACKAGES_I386=(wine32:i386)

say() { printf '== %s\n' "$*"; }

missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
  done
}

deps() {
  local missing missing32
  missing=$(missing_packages "${PACKAGES[@]}")
  missing32=$(missing_packages "${PACKAGES_I386[@]}")
  [ -z "$missing$missing32" ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -q i386; then $sudo dpkg --add-architecture i386; fi
  $sudo apt-get update -qq
  if [ -n "$missing" ]; then
    say "installing" $missing
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
  fi
  if [ -n "$missing32" ]; then
    say "installing" $missing32
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing32 >/dev/null \
      || say "could not install $missing32: the i686 programs will be built but not run"
  fi
}

configure() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null; fi
}

build() {
  say "native build"
  configure "$BUILD/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$BUILD/native" -j "$JOBS"
  say "Win32 build, i686"
  configure "$BUILD/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw.cmake" -DKORVELT_ARCH=x86 -DCMAKE_BUILD_TYPE=MinSizeRel
  cmake --build "$BUILD/win32" -j "$JOBS"
  say "Win32 build, x86_64"
  configure "$BUILD/win64" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw.cmake" -DKORVELT_ARCH=x64 -DCMAKE_BUILD_TYPE=MinSizeRel
  cmake --build "$BUILD/win64" -j "$JOBS"
}

# The architectures whose programs this machine can run under Wine: x64
# always; x86 only where the kernel still starts 32-bit programs, which
# Wine's 32-bit loader needs. KORVELT_NO_I686=1 acts as if it could not.
ARCHES=()
find_arches() {
  [ ${#ARCHES[@]} -gt 0 ] && return 0
  local why="" answer
  if [ -n "${KORVELT_NO_I686:-}" ]; then
    why="KORVELT_NO_I686 is set"
  elif [ ! -x "$WINE32_LOADER" ]; then
    why="32-bit Wine is not installed"
  elif ! answer=$("$WINE32_LOADER" --version 2>&1); then
    if [ -z "$answer" ] || [ "$answer" = "${answer%cannot execute binary file*}" ]; then
      why="32-bit Wine does not start (${answer##*$'\n'})"
    else
      # The kernel's refusal, in the shell's words ("Exec format error").
      why="this kernel does not start 32-bit programs (${answer##*: })"
    fi
  fi
  if [ -z "$why" ]; then
    ARCHES=(x86 x64)
    say "this machine runs 32-bit and 64-bit programs: i686 and x86_64 are tested"
  else
    ARCHES=(x64)
    say "i686 is SKIPPED: $why; only the x86_64 programs run here"
  fi
}

# Selects one architecture's Wine as testing/wine-ARCH.env sets it up: its
# prefix, its loader, its build folder. The caller's WINEDEBUG and
# WINEDLLOVERRIDES win over the file's.
use_arch() {
  local loader wineloader winearch prefix win_build stub winedebug winedlloverrides
  # shellcheck source=testing/wine-x86.env
  . "$ROOT/testing/wine-$1.env"
  export KORVELT_ARCH=$1 WINEPREFIX=$BUILD/$prefix WINEARCH=$winearch
  export WINEDEBUG=${WINEDEBUG:-$winedebug} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-$winedlloverrides}
  if [ -n "$wineloader" ]; then export WINELOADER=$wineloader; else unset WINELOADER; fi
  WINE=$loader
  WIN_BUILD=$BUILD/$win_build
}

# The architecture the demo and the benchmarks use: i686 where it runs.
use_first_arch() {
  find_arches
  use_arch "${ARCHES[0]}"
  say "using the ${ARCHES[0]} bootstrapper"
}

build_checked() {
  say "sanitizer build"
  configure "$BUILD/asan" -DCMAKE_BUILD_TYPE=Debug -DKORVELT_SANITIZE=ON
  cmake --build "$BUILD/asan" -j "$JOBS"
  say "fuzz build"
  configure "$BUILD/fuzz" -DCMAKE_BUILD_TYPE=Debug -DKORVELT_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
  cmake --build "$BUILD/fuzz" -j "$JOBS"
}

XVFB_PID=""
stop_wine() {
  local prefix
  for prefix in "$BUILD/wine32" "$BUILD/wine64"; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  done
}
stop_display() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; XVFB_PID=""; stop_wine; }

# A display for the tests that show windows: the caller's, or our own Xvfb.
start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local number
  for number in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    trap stop_display EXIT
    return 0
  done
  echo "no free display number for Xvfb" >&2
  return 1
}

# The Wine prefix of the architecture selected by use_arch.
wine_prefix() {
  [ -f "$WINEPREFIX/.korvelt-ready" ] && return 0
  say "making the $KORVELT_ARCH Wine prefix"
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1
  # Windows opens a package with "msiexec /i "%1" %*", which hands the
  # setup's parameters on; Wine's registration drops them.
  "$WINE" reg add 'HKCR\Msi.Package\shell\Open\command' /ve /d 'C:\windows\system32\msiexec.exe /i "%1" %*' /f >/dev/null 2>&1
  # Without a window manager, Wine waits for one at every managed window.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.korvelt-ready"
}

fuzz() {
  say "fuzz corpus and crash reproducers"
  ctest --test-dir "$BUILD/fuzz" --output-on-failure
  say "fuzzing"
  local target name corpus dict
  for target in "$BUILD"/fuzz/*_fuzz; do
    name=$(basename "$target" _fuzz)
    corpus=$BUILD/fuzz-corpus/$name
    mkdir -p "$corpus"
    [ -d "$ROOT/fuzz/corpus/$name" ] && cp -n "$ROOT/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
    # A target's dictionary, when it has one: the words its input is made of.
    dict=()
    [ -f "$ROOT/fuzz/$name.dict" ] && dict=(-dict="$ROOT/fuzz/$name.dict")
    # One input that takes half a minute is a finding, not a wait of twenty.
    "$target" -max_total_time="${KORVELT_FUZZ_SECONDS:-60}" -timeout=30 -print_final_stats=0 "${dict[@]}" "$corpus" 2>"$BUILD/fuzz-$name.log" \
      || { tail -30 "$BUILD/fuzz-$name.log"; echo "fuzz target $name failed"; return 1; }
    grep -E '^#[0-9]+.*DONE' "$BUILD/fuzz-$name.log" | tail -1 | sed "s/^/$name: /"
  done
}

run_tests() {
  deps
  build
  build_checked
  find_arches
  start_display
  say "native unit tests"
  ctest --test-dir "$BUILD/native" --output-on-failure
  say "native unit tests under ASan and UBSan"
  ctest --test-dir "$BUILD/asan" --output-on-failure
  local arch
  for arch in "${ARCHES[@]}"; do
    use_arch "$arch"
    wine_prefix
    say "Win32 and end-to-end tests under Wine, $arch"
    ctest --test-dir "$WIN_BUILD" --output-on-failure -j 1
  done
  [ ${#ARCHES[@]} -eq 2 ] || say "i686 was skipped (see above); only x86_64 ran under Wine"
  fuzz
  stop_display
}

# The Win32 and end-to-end tests of every architecture this machine runs,
# without building first; the arguments go to ctest (-R NAME picks tests).
wintest() {
  find_arches
  start_display
  local arch
  for arch in "${ARCHES[@]}"; do
    use_arch "$arch"
    wine_prefix
    say "Win32 tests under Wine, $arch"
    ctest --test-dir "$WIN_BUILD" --output-on-failure -j 1 "$@"
  done
  stop_display
}

demo() {
  deps
  build
  use_first_arch
  wine_prefix
  start_display
  python3 "$ROOT/examples/demo.py" "$BUILD"
  stop_display
}

bench() {
  deps
  build
  use_first_arch
  wine_prefix
  start_display
  local script
  for script in "$ROOT"/bench/*.py; do python3 "$script" "$BUILD"; done
  stop_display
}

case "${1:-}" in
  deps) deps ;;
  build) deps; build ;;
  test) run_tests ;;
  demo) demo ;;
  bench) bench ;;
  wintest) shift; wintest "$@" ;;
  arches) find_arches ;;
  *) echo "usage: ./build.sh deps|build|test|demo|bench|arches|wintest [CTEST ARGUMENTS]" >&2; exit 2 ;;
esac
