#!/usr/bin/env python3
"""Counts the lines of code and of tests, and the ratio between them, as docs/testing.md counts
them: non-blank lines that do not start with //, # or * (after their indentation), in the tracked
.cpp .cc .h .hpp .c .py .js .mjs .ts .sh files; a file is a test's when a folder on its path is
named tests or fuzz. The rule is a plain one on purpose: it is the one the project's budget is
checked by, so preprocessor lines (#include) do not count either.

    python3 scripts/count-lines.py [--limit 0.333]   (exit 1 when the tests pass the limit)
"""

import argparse
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent.parent
SUFFIXES = {".cpp", ".cc", ".h", ".hpp", ".c", ".py", ".js", ".mjs", ".ts", ".sh"}
TEST_FOLDERS = {"tests", "fuzz"}
COMMENT_STARTS = ("//", "#", "*")


def counted_lines(text):
    return sum(1 for line in text.splitlines()
               if line.strip() and not line.strip().startswith(COMMENT_STARTS))


def main():
    parser = argparse.ArgumentParser(epilog=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    parser.add_argument("--limit", type=float, help="fail when tests / code is above this")
    parser.add_argument("--files", action="store_true", help="also list each file's count")
    options = parser.parse_args()

    files = subprocess.run(["git", "-C", str(HERE), "ls-files", "-z"], check=True,
                           stdout=subprocess.PIPE, text=True).stdout.split("\0")
    code = tests = 0
    for path in files:
        if Path(path).suffix not in SUFFIXES or not (HERE / path).is_file():
            continue
        lines = counted_lines((HERE / path).read_text(encoding="utf-8", errors="replace"))
        if options.files:
            print(f"{lines:6} {path}")
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
