#!/bin/sh
# The sanitizer stage of the test command: the whole suite built with ASan + UBSan, run once.
set -e
cd "$(dirname "$0")/.."
sh tools/build.sh build-asan -DCHIPDISK_SANITIZE=ON
# LeakSanitizer's tracer can crash at exit while the software rasteriser's worker
# threads are alive ("Tracer caught signal 11"): rasterise on the calling thread.
# The sanitizer runtime's __tls_get_addr interceptor misreads some of the dynamic TLS
# blocks Mesa's dlopened driver makes, and the tracer died reading them at exit, in
# tests whose threads were long gone: the interceptor stays off. Leaks are still found.
LP_NUM_THREADS=0 ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 CHIPDISK_SANITIZED=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure
