#!/usr/bin/env python3
"""How much test there is against the rest: non-blank characters outside comments, and
lines that hold any of them, in C, C++, Python, shell and CMake files tracked by git.
The tests are everything under tests/ and the scripts the test command runs."""

import io
import re
import subprocess
import sys
import tokenize

SOURCES = re.compile(r"\.(c|cpp|h|py|sh|cmake)$|CMakeLists\.txt$|^\.ci/run$")
TESTS = re.compile(r"^tests/|^tools/((test|fuzz|sanitize)\.sh|check_commas\.py)$|^\.ci/run$")
RAW_STRING = re.compile(r'R"([^()\\ ]{0,16})\(')


def strip_c(text):
    """C and C++ without comments; string, raw string and character literals kept whole."""
    out = []
    i = 0
    while i < len(text):
        raw = RAW_STRING.match(text, i) if text[i] == "R" and (i == 0 or not text[i - 1].isalnum()) else None
        if raw:
            end = text.find(")" + raw.group(1) + '"', raw.end())
            end = len(text) if end < 0 else end + len(raw.group(1)) + 2
            out.append(text[i:end])
            i = end
        elif text[i] == '"' or (text[i] == "'" and not (i and text[i - 1].isalnum())):
            end = i + 1
            while end < len(text) and text[end] not in (text[i], "\n"):
                end += 2 if text[end] == "\\" else 1
            out.append(text[i : end + 1])
            i = end + 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = len(text) if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            out.append(" ")
            i = len(text) if end < 0 else end + 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def strip_python(text):
    """Python without comments; docstrings count as code, as they are strings."""
    kept = []
    try:
        for token in tokenize.generate_tokens(io.StringIO(text).readline):
            if token.type != tokenize.COMMENT:
                kept.append((token.start, token.end, token.string))
    except (tokenize.TokenError, SyntaxError):
        return text
    lines = [[] for _ in text.split("\n")]
    for (row, _), _, string in kept:
        lines[row - 1].append(string)
    return "\n".join(" ".join(parts) for parts in lines)


def strip_hash(text):
    """Shell and CMake without comments: a '#' that starts a word outside quotes."""
    out_lines = []
    for line in text.split("\n"):
        quote = None
        cut = len(line)
        for i, ch in enumerate(line):
            if quote:
                quote = None if ch == quote else quote
            elif ch in "\"'":
                quote = ch
            elif ch == "#" and (i == 0 or line[i - 1].isspace()):
                cut = i
                break
        out_lines.append(line[:cut])
    return "\n".join(out_lines)


def measure(path):
    """(characters, lines) of code in one file."""
    text = open(path, errors="replace").read()
    if path.endswith((".c", ".cpp", ".h")):
        text = strip_c(text)
    elif path.endswith(".py"):
        text = strip_python(text)
    else:
        text = strip_hash(text)
    chars = sum(1 for ch in text if not ch.isspace())
    lines = sum(1 for line in text.split("\n") if line.strip())
    return chars, lines


def main():
    files = subprocess.check_output(["git", "ls-files"], text=True).split("\n")
    totals = {True: [0, 0], False: [0, 0]}
    per_file = []
    for path in filter(SOURCES.search, files):
        chars, lines = measure(path)
        is_test = bool(TESTS.search(path))
        totals[is_test][0] += chars
        totals[is_test][1] += lines
        per_file.append((chars, path))
    if "--files" in sys.argv:
        for chars, path in sorted(per_file, reverse=True):
            print(f"{chars:8d} {path}")
    (test_chars, test_lines), (rest_chars, rest_lines) = totals[True], totals[False]
    print(f"characters: tests {test_chars}, rest {rest_chars}, ratio {test_chars / rest_chars:.3f}")
    print(f"lines:      tests {test_lines}, rest {rest_lines}, ratio {test_lines / rest_lines:.3f}")


if __name__ == "__main__":
    main()
