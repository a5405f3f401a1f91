#!/bin/sh
# Installs what is missing, builds, and runs every test: the normal build,
# the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer,
# and the sound layer under ThreadSanitizer.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
sh tools/build.sh build
ctest --test-dir build --output-on-failure
sh tools/build.sh build-asan -DCHIPDISK_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
  ctest --test-dir build-asan --output-on-failure
