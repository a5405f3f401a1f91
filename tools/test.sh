#!/bin/sh
# Installs what is missing, builds, and runs every test: the normal build, the
# whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer, the
# sound layer under ThreadSanitizer, and short fuzzing runs.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh

echo "== sound layer under ThreadSanitizer"
flock /tmp/chipdisk-build.lock sh -c "cmake -S . -B build-tsan -DCHIPDISK_TSAN=ON >/dev/null && \
  cmake --build build-tsan -j2 --target test_music_spectrum test_music_load test_music_layer test_music_avsync \
    test_music_songctrl test_music_pulse_player"
ctest --test-dir build-tsan -R '^music\.' --output-on-failure

echo "== fuzzing (short runs)"
sh tools/fuzz.sh -runs 20000

echo "== whole suite under AddressSanitizer + UndefinedBehaviorSanitizer"
sh tools/build.sh build-asan -DCHIPDISK_SANITIZE=ON
# LeakSanitizer's tracer can crash at exit while the software rasteriser's worker
# threads are alive ("Tracer caught signal 11"): rasterise on the calling thread.
LP_NUM_THREADS=0 ASAN_OPTIONS=detect_leaks=1 CHIPDISK_SANITIZED=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure

# Last, so that its summary line closes the run.
echo "== whole suite"
sh tools/build.sh build
ctest --test-dir build --output-on-failure
