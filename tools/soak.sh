#!/bin/sh
# Soak run of the real program: random clicks, keys and drags for a while, watching
# for crashes, stalls, memory growth and gaps in the music.
# Usage: tools/soak.sh [SECONDS] [SEED] [BUILD_DIR]   (default 120 s, seed 1, build)
set -e
cd "$(dirname "$0")/.."
seconds=${1:-120}
seed=${2:-1}
build=${3:-build}
exec /usr/bin/python3 tools/soak.py "$build/app/chipdisk" "$build/bench/swapcount.so" \
  "$build/test-output/hardening" "$seconds" "$seed"
