#!/bin/sh
# Installs what is missing and runs every test: the sound layer under ThreadSanitizer, short
# fuzzing, the suite under ASan + UBSan, and last the normal build, whose summary closes the run.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
echo "== sound layer under ThreadSanitizer"
flock /tmp/chipdisk-build.lock sh -c "cmake -S . -B build-tsan -DCHIPDISK_TSAN=ON >/dev/null &&
  cmake --build build-tsan -j2 --target test_music_sound test_music_songctrl"
ctest --test-dir build-tsan -R '^music\.' --output-on-failure
echo "== fuzzing (short runs)"
sh tools/fuzz.sh 20000
echo "== whole suite under AddressSanitizer + UndefinedBehaviorSanitizer"
sh tools/build.sh build-asan -DCHIPDISK_SANITIZE=ON
# LeakSanitizer's tracer can crash at exit while the software rasteriser's worker
# threads are alive ("Tracer caught signal 11"): rasterise on the calling thread.
# It also crashed, 3 runs of 3, in a test whose threads were long gone: the
# sanitizer runtime's __tls_get_addr interceptor misreads some of the dynamic TLS
# blocks Mesa's dlopened driver makes, and the tracer dies reading them at exit.
# With the interceptor off the same test passed 3 of 3, and a planted leak was still
# reported.
asan() {
  LP_NUM_THREADS=0 ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 CHIPDISK_SANITIZED=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    ctest --test-dir build-asan --output-on-failure "$@"
}
status=0
asan >build-asan/ctest.log 2>&1 || status=$?
cat build-asan/ctest.log
if [ "$status" -ne 0 ]; then
  # It still does at times, after a test has passed (seen in the director's clicks-and-keys
  # test, busy machine or not). That crash is no finding about this program: only then,
  # the failed tests run once more.
  grep -q "Tracer caught signal" build-asan/ctest.log || exit "$status"
  echo "== LeakSanitizer's tracer crashed: the failed tests once more"
  asan --rerun-failed
fi
echo "== whole suite"
sh tools/build.sh build && ctest --test-dir build --output-on-failure
