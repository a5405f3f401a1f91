#!/bin/sh
# Installs what is missing, builds, and runs the chipdisk from the repository root.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
sh tools/build.sh build
exec ./build/app/chipdisk
