#!/bin/sh
# Runs every test: native unit and in-process tests, end-to-end tests of the
# POSIX stub and (under Wine) of the Windows stub, the static checks of both
# Windows stubs, and the win64 build of the unit and in-process tests.
set -e
cd "$(dirname "$0")/.."
. tools/wine-env.sh
trap wine_stop EXIT
status=0
ctest --preset posix || status=1
ctest --preset win64 || status=1
exit $status
