#!/bin/sh
# Builds the libFuzzer targets in build-fuzz (clang, ASan + UBSan) and runs each
# fuzz_<name> on tests/fuzz/corpus/<name>/ (all of them when no name is given).
# Usage: tools/fuzz.sh [-runs N | -time SECONDS] [name...]
# A crash lands in tests/fuzz/regressions/<name>/, which the suite replays: rename
# it after the fault it caught.
set -e
cd "$(dirname "$0")/.."
limit="-runs=20000"
case "$1" in
  -runs) limit="-runs=$2"; shift 2 ;;
  -time) limit="-max_total_time=$2"; shift 2 ;;
esac
names=${*:-$(ls tests/fuzz/corpus)}
dir=build-fuzz
mkdir -p $dir
flock /tmp/chipdisk-build.lock sh -c "
  CC=clang CXX=clang++ cmake -S . -B $dir -DCHIPDISK_FUZZ=ON >$dir/configure.log 2>&1 || { cat $dir/configure.log; exit 1; }
  cmake --build $dir -j2 $(for n in $names; do printf ' --target fuzz_%s' "$n"; done)"
status=0
for n in $names; do
  kept=tests/fuzz/regressions/$n; log=$dir/fuzz_$n.log
  mkdir -p $dir/corpus/$n $dir/artifacts/$n
  echo "== fuzz_$n $limit"
  # new inputs go to the scratch corpus, the committed ones stay; the log shows on failure
  if $dir/tests/fuzz/fuzz_$n "$limit" -artifact_prefix=$dir/artifacts/$n/ $dir/corpus/$n tests/fuzz/corpus/$n \
       $(ls -d $kept 2>/dev/null) >$log 2>&1; then grep -E '^Done [0-9]+ runs' $log || tail -n 1 $log
  else tail -n 60 $log; status=1
  fi
  for f in $dir/artifacts/$n/*; do
    [ -e "$f" ] && mkdir -p $kept && mv "$f" $kept/ && echo "kept $f in $kept/: name it after the fault"
  done
done
exit $status
