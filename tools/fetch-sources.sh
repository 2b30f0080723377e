#!/bin/sh
# Fetches from Debian the sources that the build compiles itself, into
# build/: zlib's (the stubs take only its inflate, built for size or speed)
# libdeflate's (sfxpack's compressor, for every build of the tool) and
# ISA-L's (the 64-bit stubs take only its inflate).
# Nothing of them is committed. Adds a deb-src entry for Debian's main
# archive when the machine has none.
set -e
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
fetch() { # package directory file-that-shows-it-is-there
  [ -f "build/$2/$3" ] && return 0
  if ! grep -rqs '^Types: deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    $sudo tee /etc/apt/sources.list.d/sfx-sources.sources >/dev/null <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    $sudo apt-get update -qq
  fi
  scratch=$(mktemp -d)
  (cd "$scratch" && apt-get source -qq --download-only "$1" >/dev/null 2>&1)
  mkdir -p "build/$2"
  tar -xf "$scratch"/"$1"_*.orig.tar.* -C "build/$2" --strip-components=1
  rm -rf "$scratch"
  echo "$1 source in build/$2"
}
fetch zlib zlib-src inflate.c
fetch libdeflate libdeflate-src lib/deflate_compress.c
fetch libisal isal-src igzip/igzip_inflate.c
