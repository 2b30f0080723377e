#!/bin/sh
# Writes the release files into DIR (default build/dist) from the three
# builds: the Debian package and a Linux tarball (cpack), and
# sfxstub-VERSION-windows.zip with the 32-bit sfxpack.exe (it runs on 32-
# and 64-bit Windows and packs for every target), the three stubs beside it
# (where it looks first), the README and the licenses.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build/dist}" && cd "${1:-$root/build/dist}" && pwd)
for file in posix/bin/stub win32/bin/stub.exe win32/bin/sfxpack.exe win64/bin/stub.exe; do
  [ -f "$root/build/$file" ] || { echo "make-dist: no build/$file (make build)" >&2; exit 1; }
done
version=$("$root/build/posix/bin/sfxpack" --version | cut -d' ' -f2)

(cd "$root/build/posix" && cpack -G "DEB;TGZ" -B "$out" >/dev/null 2>&1)
rm -rf "$out/_CPack_Packages"

name=sfxstub-$version-windows
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
i686-w64-mingw32-strip -o "$stage/$name/sfxpack.exe" "$root/build/win32/bin/sfxpack.exe"
cp "$root/build/win32/bin/stub.exe" "$stage/$name/stub-win32.exe"
cp "$root/build/win64/bin/stub.exe" "$stage/$name/stub-win64.exe"
cp "$root/build/posix/bin/stub" "$stage/$name/stub-posix"
cp "$root/README.md" "$stage/$name/README.md"
cp "$root/LICENSE" "$stage/$name/LICENSE.txt"
cp "$root/tools/dist/copyright" "$stage/$name/COPYRIGHT.txt"
# The same bytes from the same files: fixed times, sorted names.
rm -f "$out/$name.zip"
(cd "$stage" && find "$name" -type f | LC_ALL=C sort >list &&
  cmake -E tar cf "$out/$name.zip" --format=zip --mtime=2026-01-01 --files-from=list)
ls "$out"
