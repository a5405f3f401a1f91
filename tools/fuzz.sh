#!/bin/sh
# Usage: tools/fuzz.sh [RUNS]. Builds the libFuzzer targets in build-fuzz (clang, ASan + UBSan)
# and runs each fuzz_<name> on tests/fuzz/corpus/<name>/ for RUNS inputs (20000; the decoders,
# which render audio, a twentieth of that). A crash lands
# in tests/fuzz/regressions/<name>/, which the suite replays: name it after its fault.
set -e
cd "$(dirname "$0")/.."
d=build-fuzz
mkdir -p $d
flock /tmp/chipdisk-build.lock sh -c "CC=clang CXX=clang++ cmake -S . -B $d -DCHIPDISK_FUZZ=ON >$d/configure.log &&
  cmake --build $d -j2 --target fuzz_md2 fuzz_png fuzz_songscan fuzz_decoders"
status=0
for n in $(ls tests/fuzz/corpus); do
  kept=tests/fuzz/regressions/$n
  mkdir -p $d/corpus/$n $kept
  runs=${1:-20000}
  # a decoder renders a second of each song it takes, some 60 ms: a twentieth as many
  [ $n = decoders ] && runs=$(( runs / 20 > 100 ? runs / 20 : 100 ))
  echo "== fuzz_$n -runs=$runs"
  # new inputs go to the scratch corpus, the committed ones stay; the log shows on failure
  $d/tests/fuzz/fuzz_$n -runs=$runs -artifact_prefix=$kept/ \
    $d/corpus/$n tests/fuzz/corpus/$n $kept >$d/$n.log 2>&1 &&
    grep '^Done' $d/$n.log || { tail -n 60 $d/$n.log; status=1; }
  rmdir $kept 2>/dev/null || true  # kept only with a crash in it
done
exit $status
