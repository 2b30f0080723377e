#!/bin/sh
# Makes a 32-bit Wine in build/wine32 for running the i686 stub, where the
# kernel runs i386 code. Debian's wine32:i386 and libwine:i386 of exactly the
# installed wine64 version are downloaded and unpacked there; nothing of the
# i386 architecture stays installed (installing wine32:i386 through dpkg
# would upgrade dozens of amd64 libraries). Prints one line and succeeds
# without doing anything where the kernel runs no i386 code.
set -e
cd "$(dirname "$0")/.."
target=build/wine32
[ -x "$target/usr/lib/wine/wine" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! dpkg-query -W -f='${Status}' libc6-i386 2>/dev/null | grep -q "install ok installed"; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libc6-i386 >/dev/null
fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "i686 stub: this kernel runs no i386 code; its tests under 32-bit Wine are skipped"
  exit 0
fi
version=$(dpkg-query -W -f='${Version}' wine64)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
$sudo dpkg --add-architecture i386
downloaded=true
# An index that fails to refresh (a mirror mid-update) fails the update but
# not the download, which needs only the i386 lists.
$sudo apt-get update -qq || true
(cd "$scratch" && $sudo apt-get download -qq "wine32:i386=$version" "libwine:i386=$version" \
  >/dev/null 2>&1) || downloaded=false
$sudo dpkg --remove-architecture i386
$sudo apt-get update -qq || true
if [ "$downloaded" != true ]; then
  echo "i686 stub: 32-bit Wine $version could not be downloaded; its tests are skipped"
  exit 0
fi
mkdir -p "$target"
for package in "$scratch"/*.deb; do
  dpkg-deb -x "$package" "$target"
done
# One wineserver serves both widths.
ln -sf /usr/lib/wine/wineserver "$target/usr/lib/wine/wineserver"
# Wine's user32 imports zlib1.dll, which libwine's install script makes from
# MinGW's as a builtin DLL; unpacking runs no script, so make it here.
zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
{ head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } \
  >"$target/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
echo "32-bit Wine $version in $target"
