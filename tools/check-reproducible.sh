#!/bin/sh
# Builds both Windows stubs a second time in scratch build trees and compares
# them with the first build byte for byte: the same source gives the same
# stub.
set -e
cd "$(dirname "$0")/.."
status=0
for preset in win32 win64; do
  again=build/reproduce-$preset
  rm -rf "$again"
  cmake --preset "$preset" -B "$again" -DSFX_TESTS=OFF >/dev/null
  cmake --build "$again" --target stub >/dev/null
  if cmp -s "build/$preset/bin/stub.exe" "$again/bin/stub.exe"; then
    echo "$preset stub: reproducible"
  else
    echo "$preset stub: a second build differs"
    status=1
  fi
  rm -rf "$again"
done
exit $status
