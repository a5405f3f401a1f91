#!/bin/sh
# Installs what is missing, checks the format of the C, C++ and Python files and that no test
# joins statements with a comma, and runs every test: the sound layer under ThreadSanitizer,
# short fuzzing, the suite under ASan + UBSan, and last the normal build, whose summary closes
# the run.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
echo "== format, and no comma operator in the tests"
clang-format-14 --dry-run -Werror $(git ls-files '*.c' '*.cpp' '*.h')
black --check -q $(git ls-files '*.py')
flock /tmp/chipdisk-build.lock cmake -S . -B build >/dev/null
python3 tools/check_commas.py build
echo "== sound layer under ThreadSanitizer"
flock /tmp/chipdisk-build.lock sh -c "cmake -S . -B build-tsan -DCHIPDISK_TSAN=ON >/dev/null &&
  cmake --build build-tsan -j2 --target test_music_sound test_music_songctrl"
ctest --test-dir build-tsan -R '^music\.' --output-on-failure
echo "== fuzzing (short runs)"
sh tools/fuzz.sh 20000
echo "== whole suite under AddressSanitizer + UndefinedBehaviorSanitizer"
sh tools/sanitize.sh
echo "== whole suite"
sh tools/build.sh build && ctest --test-dir build --output-on-failure
