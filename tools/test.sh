#!/bin/sh
# Installs what is missing, checks the format of the C, C++ and Python files and runs every
# test: the sound layer under ThreadSanitizer, short fuzzing, the suite under ASan + UBSan,
# and last the normal build, whose summary closes the run.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
echo "== format"
clang-format-14 --dry-run -Werror $(git ls-files '*.c' '*.cpp' '*.h')
black --check -q $(git ls-files '*.py')
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
# The sanitizer runtime's __tls_get_addr interceptor misreads some of the dynamic TLS
# blocks Mesa's dlopened driver makes, and the tracer died reading them at exit, in
# tests whose threads were long gone: the interceptor stays off. Leaks are still found.
LP_NUM_THREADS=0 ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 CHIPDISK_SANITIZED=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure
echo "== whole suite"
sh tools/build.sh build && ctest --test-dir build --output-on-failure
