#!/bin/sh
# Runs every test: native unit and in-process tests, end-to-end tests of the
# POSIX stub and (under Wine) of the Windows stub, the static checks of both
# Windows stubs, the win64 build of the unit and in-process tests, and a
# minute of fuzzing after replaying the seeds and saved regressions.
set -e
cd "$(dirname "$0")/.."
. tools/wine-env.sh
trap wine_stop EXIT
status=0
ctest --preset posix || status=1
ctest --preset win64 || status=1
tools/run-fuzz.sh "${SFX_FUZZ_SECONDS:-60}" || status=1
if [ $status -eq 0 ]; then echo "all test suites passed"; else echo "some test suites failed"; fi
exit $status
