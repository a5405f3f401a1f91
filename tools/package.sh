#!/bin/sh
# Installs what is missing, builds, and makes the Debian package
# build/chipdisk_<version>_<arch>.deb. Install it with: apt-get install ./build/chipdisk_*.deb
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
sh tools/build.sh build
cd build
cpack -G DEB
