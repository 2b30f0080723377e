#!/bin/sh
# Installs the Debian packages the build and the tests need, only those
# missing, so that a prepared machine does not touch the network.
set -e
packages="cmake ninja-build g++ zlib1g-dev googletest libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64
  clang libclang-rt-14-dev nasm osslsigncode openssl python3 lintian locales"
missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
