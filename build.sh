#!/usr/bin/env bash
# Korvelt's one entry point: deps, build, test, demo, bench.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=$ROOT/build
export WINEPREFIX=$BUILD/wine
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win32
JOBS=$(nproc)

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 wixl msitools nginx-light curl
  xvfb xauth xdotool x11-utils imagemagick python3)

say() { printf '== %s\n' "$*"; }

deps() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -q i386; then $sudo dpkg --add-architecture i386; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null; fi
}

build() {
  say "native build"
  configure "$BUILD/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$BUILD/native" -j "$JOBS"
  say "Win32 build"
  configure "$BUILD/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
  cmake --build "$BUILD/win32" -j "$JOBS"
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
stop_display() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; XVFB_PID=""; wineserver -k 2>/dev/null || true; }

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

wine_prefix() {
  [ -f "$WINEPREFIX/.korvelt-ready" ] && return 0
  say "making the Wine prefix"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # Windows opens a package with "msiexec /i "%1" %*", which hands the
  # setup's parameters on; Wine's registration drops them.
  wine reg add 'HKCR\Msi.Package\shell\Open\command' /ve /d 'C:\windows\system32\msiexec.exe /i "%1" %*' /f >/dev/null 2>&1
  # Without a window manager, Wine waits for one at every managed window.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
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
    "$target" -max_total_time="${KORVELT_FUZZ_SECONDS:-60}" -print_final_stats=0 "${dict[@]}" "$corpus" 2>"$BUILD/fuzz-$name.log" \
      || { tail -30 "$BUILD/fuzz-$name.log"; echo "fuzz target $name failed"; return 1; }
    grep -E '^#[0-9]+.*DONE' "$BUILD/fuzz-$name.log" | tail -1 | sed "s/^/$name: /"
  done
}

run_tests() {
  deps
  build
  build_checked
  wine_prefix
  start_display
  say "native unit tests"
  ctest --test-dir "$BUILD/native" --output-on-failure
  say "native unit tests under ASan and UBSan"
  ctest --test-dir "$BUILD/asan" --output-on-failure
  say "Win32 and end-to-end tests under Wine"
  ctest --test-dir "$BUILD/win32" --output-on-failure -j 1
  fuzz
  stop_display
}

demo() {
  deps
  build
  wine_prefix
  start_display
  python3 "$ROOT/examples/demo.py" "$BUILD"
  stop_display
}

bench() {
  deps
  build
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
  *) echo "usage: ./build.sh deps|build|test|demo|bench" >&2; exit 2 ;;
esac
