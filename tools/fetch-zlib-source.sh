#!/bin/sh
# Fetches zlib's source from Debian (the source of the zlib the machine
# already uses) into build/zlib-src, so that the Windows stubs can link an
# inflate-only zlib built for size. Nothing of it is committed. Adds a
# deb-src entry for Debian's main archive when the machine has none.
set -e
cd "$(dirname "$0")/.."
target=build/zlib-src
[ -f "$target/inflate.c" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! grep -rqs '^Types: deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  $sudo tee /etc/apt/sources.list.d/sfx-zlib-src.sources >/dev/null <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $sudo apt-get update -qq
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && apt-get source -qq --download-only zlib >/dev/null 2>&1)
mkdir -p "$target"
tar -xjf "$scratch"/zlib_*.orig.tar.bz2 -C "$target" --strip-components=1
echo "zlib source in $target"
