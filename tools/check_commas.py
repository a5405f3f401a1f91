#!/usr/bin/env python3
"""Fails when a test joins expressions with the comma operator, one statement hidden in another.

Usage: tools/check_commas.py BUILD_DIR [FILE...]
Parses each test source (all of tests/ by default) with clang, using the include paths and
definitions of BUILD_DIR/compile_commands.json, and prints every comma operator written in
tests/. Clang's own -Wcomma stays quiet after a call that returns void, so the syntax tree is
read instead."""
import json
import os
import re
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTS = os.path.join(REPO, "tests") + os.sep
# a node's first location: a file and line, or a line of the file named last
LOCATION = re.compile(r"<(?:col:\d+|line:(\d+):\d+|([^<>:, ]+):(\d+):\d+)")


def flags(build):  # every include path and definition of the build, once
    seen = []
    with open(os.path.join(build, "compile_commands.json")) as f:
        for entry in json.load(f):
            words = shlex.split(entry["command"])
            for i, word in enumerate(words):
                if word in ("-isystem", "-I", "-D") and i + 1 < len(words):
                    word += " " + words[i + 1]
                if word.startswith(("-I", "-D", "-isystem ")) and word not in seen:
                    seen.append(word)
    return [part for word in seen for part in word.split(" ", 1)]


def commas(path, options):
    dump = subprocess.run(
        ["clang++-14", "-std=c++17", "-fsyntax-only", "-fno-color-diagnostics", "-Xclang", "-ast-dump", *options, path],
        capture_output=True,
        text=True,
        cwd=REPO,
    )
    if dump.returncode != 0:
        return ["%s: clang could not parse it:\n%s" % (path, dump.stderr[-2000:])]
    found, file, line = [], None, None
    for node in dump.stdout.splitlines():
        where = LOCATION.search(node)
        if where and where.group(2):
            file, line = where.group(2), where.group(3)
        elif where and where.group(1):
            line = where.group(1)
        if "BinaryOperator" in node and "','" in node and file and os.path.join(REPO, file).startswith(TESTS):
            found.append("%s:%s: comma operator" % (os.path.relpath(os.path.join(REPO, file), REPO), line))
    return found


def main():
    build = sys.argv[1]
    files = (
        sys.argv[2:]
        or subprocess.run(
            ["git", "ls-files", "tests/*.cpp"], capture_output=True, text=True, cwd=REPO, check=True
        ).stdout.split()
    )
    options = flags(build)
    with ThreadPoolExecutor(2) as pool:
        found = sorted(set(sum(pool.map(lambda f: commas(f, options), files), [])))
    print("\n".join(found) if found else "no comma operator in %d test files" % len(files))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
