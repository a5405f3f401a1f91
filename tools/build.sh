#!/bin/sh
# Configures and builds one build tree. Usage: tools/build.sh BUILD_DIR [cmake options...]
# Builds are serialised through a lock so that two never compete for the two cores.
set -e
cd "$(dirname "$0")/.."
dir=$1; shift
mkdir -p "$dir"
flock /tmp/chipdisk-build.lock sh -c "cmake -S . -B '$dir' $* >'$dir/configure.log' 2>&1 || { cat '$dir/configure.log'; exit 1; }; cmake --build '$dir' -j2"
