#!/usr/bin/env python3
"""Counts the lines of code and of tests, and the ratio between them, as docs/testing.md counts
them: non-blank lines that are not only comment, in the tracked .cpp .cc .h .hpp .c .py .js .mjs
.ts .sh files; a file is a test's when a folder on its path is named tests or fuzz.

    python3 scripts/count-lines.py [--limit 0.333]   (exit 1 when the tests pass the limit)
"""

import argparse
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent.parent
SLASH_COMMENTS = {".cpp", ".cc", ".h", ".hpp", ".c", ".js", ".mjs", ".ts"}
HASH_COMMENTS = {".py", ".sh"}
TEST_FOLDERS = {"tests", "fuzz"}


def slash_comment_lines(text):
    """Lines of a C-family file that hold something besides comments and white space. Quoted
    texts are stepped over, so that "*/*" or "http://" inside them starts no comment."""
    counted = 0
    in_block = False
    for line in text.splitlines():
        has_code = False
        quote = None
        i = 0
        while i < len(line):
            c = line[i]
            pair = line[i:i + 2]
            if in_block:
                if pair == "*/":
                    in_block = False
                    i += 2
                    continue
            elif quote:
                if c == "\\":
                    i += 2
                    continue
                if c == quote:
                    quote = None
            elif pair == "//":
                break
            elif pair == "/*":
                in_block = True
                i += 2
                continue
            elif c in "\"'`":
                quote = c
                has_code = True
            elif not c.isspace():
                has_code = True
            i += 1
        # A quote left open at the line's end: a template literal goes on; a C string cannot.
        if quote != "`":
            quote = None
        counted += has_code
    return counted


def hash_comment_lines(text):
    return sum(1 for line in text.splitlines() if line.strip() and not line.strip().startswith("#"))


def count(path):
    text = (HERE / path).read_text(encoding="utf-8", errors="replace")
    suffix = Path(path).suffix
    return slash_comment_lines(text) if suffix in SLASH_COMMENTS else hash_comment_lines(text)


def main():
    parser = argparse.ArgumentParser(epilog=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    parser.add_argument("--limit", type=float, help="fail when tests / code is above this")
    options = parser.parse_args()

    files = subprocess.run(["git", "-C", str(HERE), "ls-files", "-z"], check=True,
                           stdout=subprocess.PIPE, text=True).stdout.split("\0")
    code = tests = 0
    for path in files:
        if Path(path).suffix not in SLASH_COMMENTS | HASH_COMMENTS or not (HERE / path).is_file():
            continue
        lines = count(path)
        if TEST_FOLDERS & set(Path(path).parts[:-1]):
            tests += lines
        else:
            code += lines
    ratio = tests / code if code else 0.0
    print(f"code:  {code}")
    print(f"tests: {tests}")
    print(f"ratio: {ratio:.3f} (tests / code)")
    if options.limit is not None and ratio > options.limit:
        print(f"The tests are more than {options.limit:g} of the code.")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
