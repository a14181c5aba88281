#!/usr/bin/env bash
# build.sh tells which architectures this machine tests from whether the
# 32-bit loader starts. Each case puts another loader in its place and reads
# the one line back; the script must go on in every case.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# An ELF header for a processor no kernel runs: exec gives "Exec format
# error", as a kernel without 32-bit support does for the real loader.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\357\276\001\000\000\000' >"$WORK/foreign"
chmod +x "$WORK/foreign"
printf '#!/bin/sh\necho wine-8.0\n' >"$WORK/starts"
printf '#!/bin/sh\necho "wine: could not load ntdll.so" >&2\nexit 1\n' >"$WORK/fails"
chmod +x "$WORK/starts" "$WORK/fails"
printf 'not a program\n' >"$WORK/plain"

failures=0
check() {  # loader, KORVELT_NO_I686, the line expected
  local output status
  output=$(cd "$ROOT" && env -u KORVELT_NO_I686 ${2:+KORVELT_NO_I686=$2} KORVELT_WINE32_LOADER="$1" \
    ./build.sh arches 2>&1)
  status=$?
  if [ "$status" -ne 0 ] || [ "$output" != "== $3" ]; then
    echo "FAILED: loader $1, KORVELT_NO_I686='$2': status $status, said: $output"
    echo "        expected: == $3"
    failures=$((failures + 1))
  fi
}

both="this machine runs 32-bit and 64-bit programs: i686 and x86_64 are tested"
only="only the x86_64 programs run here"
check "$WORK/starts" "" "$both"
check "$WORK/foreign" "" "i686 is SKIPPED: this kernel does not start 32-bit programs (Exec format error); $only"
check "$WORK/fails" "" "i686 is SKIPPED: 32-bit Wine does not start (wine: could not load ntdll.so); $only"
check "$WORK/missing" "" "i686 is SKIPPED: 32-bit Wine is not installed; $only"
check "$WORK/plain" "" "i686 is SKIPPED: 32-bit Wine is not installed; $only"
check "$WORK/starts" 1 "i686 is SKIPPED: KORVELT_NO_I686 is set; $only"
[ "$failures" -eq 0 ] && echo "all 6 cases passed"
exit "$failures"
