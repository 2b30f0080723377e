#!/bin/sh
# Runs every test: native unit and in-process tests, end-to-end tests of the
# POSIX stub and of both Windows stubs (x86_64 under wine64, i686 under
# 32-bit Wine where the kernel runs i386 code), the static checks of both
# Windows stubs and a second build of each that must give the same bytes,
# the win64 build of the unit and in-process tests, and a minute of fuzzing
# after replaying the seeds and saved regressions.
set -e
cd "$(dirname "$0")/.."
. tools/wine-env.sh
trap wine_stop EXIT
passed=0
failed=0
suite() {
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
suite ctest --preset posix
suite ctest --preset win64
suite tools/check-reproducible.sh
suite tools/run-fuzz.sh "${SFX_FUZZ_SECONDS:-60}"
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
