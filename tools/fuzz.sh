#!/bin/sh
# Builds the libFuzzer targets in build-fuzz (clang, ASan + UBSan) and runs them.
# Usage: tools/fuzz.sh [-runs N | -time SECONDS] [name...]
# Each name has a target fuzz_<name> (tests/fuzz/CMakeLists.txt) and seeds in
# tests/fuzz/corpus/<name>/; with no names every corpus folder is run.
# Crashes are copied to tests/fuzz/regressions/<name>/, which a normal test loads.
set -e
cd "$(dirname "$0")/.."
limit="-runs=20000"
case "$1" in
  -runs) limit="-runs=$2"; shift 2 ;;
  -time) limit="-max_total_time=$2"; shift 2 ;;
esac
names="$*"
if [ -z "$names" ]; then
  for d in tests/fuzz/corpus/*/; do names="$names $(basename "$d")"; done
fi

dir=build-fuzz
mkdir -p "$dir"
targets=""
for n in $names; do targets="$targets --target fuzz_$n"; done
flock /tmp/chipdisk-build.lock sh -c "
  CC=clang CXX=clang++ cmake -S . -B $dir -DCHIPDISK_FUZZ=ON -DBUILD_TESTING=ON >$dir/configure.log 2>&1 \
    || { cat $dir/configure.log; exit 1; }
  cmake --build $dir $targets -j2"

status=0
for n in $names; do
  work="$dir/corpus/$n"; crashes="$dir/artifacts/$n"
  mkdir -p "$work" "$crashes" "tests/fuzz/regressions/$n"
  echo "== fuzz_$n $limit"
  # New inputs go to the scratch corpus; the committed seeds stay as they are.
  # libFuzzer reports every new input; keep that in a log and show it only on failure.
  log="$dir/fuzz_$n.log"
  if "$dir/tests/fuzz/fuzz_$n" "$limit" -artifact_prefix="$crashes/" \
       "$work" "tests/fuzz/corpus/$n" "tests/fuzz/regressions/$n" >"$log" 2>&1; then
    grep -E '^Done [0-9]+ runs' "$log" || tail -n 1 "$log"
  else
    tail -n 60 "$log"
    status=1
  fi
  for f in "$crashes"/*; do
    [ -e "$f" ] || continue
    mv "$f" "tests/fuzz/regressions/$n/"
    echo "kept $(basename "$f") in tests/fuzz/regressions/$n/"
  done
done
exit $status
