#!/usr/bin/env python3
"""Measures what the test suite catches: each fault of tests/faults/faults.json is put, on its own,
into a scratch copy of the tree, which is built and run against the normal Linux suite.

A fault is a text that must occur exactly once in its file and the text that replaces it, so the
list survives refactoring that leaves the faulty spot alone. The scratch copy is the committed tree
(git archive HEAD), kept between runs so that each fault needs only an incremental build; a fault's
file is put back before the next fault goes in.

    python3 scripts/faults.py --list
    python3 scripts/faults.py --check
    python3 scripts/faults.py [--jobs N] [--report result.md] [fault-id ...]

Not part of scripts/test.sh: a full run builds and runs the suite once per fault and takes hours.
"""

import argparse
import hashlib
import io
import json
import os
import re
import subprocess
import sys
import tarfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent.parent
FAULTS_FILE = HERE / "tests" / "faults" / "faults.json"
PRODUCT_FOLDERS = ("app", "sim", "simconnect", "web", "pipe", "log", "platform", "ui", "res")
# Installed by npm, not tracked: the scratch copy borrows the worktree's.
NODE_MODULE_FOLDERS = ("tests/browser/node_modules", "tests/interop/node_modules")
FIELDS = ("id", "file", "find", "replace", "effect")

CAUGHT = "caught"
MISSED = "missed"
NO_BUILD = "does not build"


def load_faults():
    with open(FAULTS_FILE, encoding="utf-8") as source:
        faults = json.load(source)
    problems = []
    seen = set()
    for index, fault in enumerate(faults):
        missing = [field for field in FIELDS if not isinstance(fault.get(field), str)]
        if missing:
            problems.append(f"entry {index}: missing {', '.join(missing)}")
            continue
        if fault["id"] in seen:
            problems.append(f"{fault['id']}: id used twice")
        seen.add(fault["id"])
        if fault["find"] == fault["replace"]:
            problems.append(f"{fault['id']}: the replacement changes nothing")
        if folder_of(fault) not in PRODUCT_FOLDERS:
            problems.append(f"{fault['id']}: {fault['file']} is not in a product folder")
    if problems:
        sys.exit("faults.json:\n  " + "\n  ".join(problems))
    return faults


def folder_of(fault):
    return fault["file"].split("/", 1)[0]


def occurrences(root, fault):
    path = root / fault["file"]
    if not path.is_file():
        return None
    return path.read_text(encoding="utf-8").count(fault["find"])


def check(faults, root):
    """True when every fault's text occurs exactly once in its file under `root`."""
    ok = True
    for fault in faults:
        count = occurrences(root, fault)
        if count != 1:
            where = "file not found" if count is None else f"text found {count} times"
            print(f"{fault['id']}: {fault['file']}: {where}")
            ok = False
    return ok


def run(command, log, **kwargs):
    """Runs `command`, appending its output to the open file `log`; returns its exit code."""
    log.write(f"$ {' '.join(str(part) for part in command)}\n")
    log.flush()
    return subprocess.run(command, stdout=log, stderr=subprocess.STDOUT, **kwargs).returncode


class Scratch:
    """The scratch copy of the committed tree and its normal build."""

    def __init__(self, folder, build_dir, jobs):
        self.folder = Path(folder).resolve()
        self.src = self.folder / "src"
        self.build = Path(build_dir).resolve() if build_dir else self.folder / "build"
        self.logs = self.folder / "logs"
        self.jobs = jobs
        self.originals = {}  # path in the tree -> bytes at HEAD

    def sync(self):
        """Makes src the committed tree again. Only files whose bytes differ are written, so that
        the build afterwards is incremental; a fault left behind by an interrupted run goes too."""
        archive = subprocess.run(["git", "-C", str(HERE), "archive", "--format=tar", "HEAD"],
                                 check=True, stdout=subprocess.PIPE).stdout
        self.src.mkdir(parents=True, exist_ok=True)
        tracked = set()
        with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
            for member in tar:
                target = self.src / member.name
                if member.isdir():
                    target.mkdir(parents=True, exist_ok=True)
                    continue
                tracked.add(member.name)
                if member.issym():
                    if not target.is_symlink() or os.readlink(target) != member.linkname:
                        target.unlink(missing_ok=True)
                        target.symlink_to(member.linkname)
                    continue
                data = tar.extractfile(member).read()
                self.originals[member.name] = data
                if not target.is_file() or target.is_symlink() or target.read_bytes() != data:
                    target.unlink(missing_ok=True)
                    target.write_bytes(data)
                    target.chmod(member.mode)
        # Files the tree no longer has (a test file, say) would still be built.
        for folder, _, names in os.walk(self.src):
            for name in names:
                path = Path(folder) / name
                relative = path.relative_to(self.src).as_posix()
                if relative not in tracked and relative not in NODE_MODULE_FOLDERS:
                    path.unlink()
        for folder in NODE_MODULE_FOLDERS:
            link = self.src / folder
            if not (HERE / folder).is_dir():
                continue
            # A link left by a run from another checkout may point at a folder now gone.
            if link.is_symlink() and link.resolve() != (HERE / folder).resolve():
                link.unlink()
            if not link.exists():
                link.symlink_to(HERE / folder)

    def apply(self, fault):
        path = self.src / fault["file"]
        text = path.read_text(encoding="utf-8")
        count = text.count(fault["find"])
        if count != 1:
            raise SystemExit(f"{fault['id']}: the text occurs {count} times in {fault['file']}, "
                             "not once (python3 scripts/faults.py --check)")
        path.write_text(text.replace(fault["find"], fault["replace"]), encoding="utf-8")

    def revert(self, fault):
        (self.src / fault["file"]).write_bytes(self.originals[fault["file"]])

    def configure(self, log):
        if (self.build / "CMakeCache.txt").is_file():
            return 0
        return run(["cmake", "-S", self.src, "-B", self.build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                   log)

    def build_tree(self, log):
        if self.configure(log) != 0:
            return False
        return run(["cmake", "--build", self.build, f"-j{self.jobs}"], log) == 0

    def test(self, log_path, folder=None):
        """Runs the normal suite until its first failure; the first failing test's name, or None
        when every test passed. The tests labelled with `folder` run first: a fault is mostly
        caught there, and the rest of the suite then need not run."""
        environment = dict(os.environ, TX_TEST_SIM_PROTOCOL="IPv4")
        parts = [["-L", f"^{folder}$"], ["-LE", f"^{folder}$"]] if folder else [[]]
        for selection in parts:
            with open(log_path, "a", encoding="utf-8") as log:
                code = run(["ctest", "--test-dir", self.build, f"-j{self.jobs}", "--timeout", "300",
                            "--stop-on-failure", "--output-on-failure", *selection], log,
                           env=environment)
            if code != 0:
                return first_failure(log_path.read_text(encoding="utf-8", errors="replace"))
        return None

    def windows_test(self, log_path):
        """The Windows stage (cross build and its suites under Wine) until its first failure."""
        environment = dict(os.environ, TX_WINDOWS_BUILD_DIR=str(self.folder / "build-windows"))
        with open(log_path, "a", encoding="utf-8") as log:
            code = run(["bash", self.src / "scripts" / "windows-test.sh", self.build,
                        "--stop-on-failure"], log, env=environment)
        if code == 0:
            return MISSED, ""
        output = log_path.read_text(encoding="utf-8", errors="replace")
        if "Windows build failed" in output or "Windows build has warnings" in output:
            return NO_BUILD, ""
        return CAUGHT, first_failure(output)


def tree_without_notes():
    """A digest of the committed tree without its Markdown files and kept results, so that a
    result stays valid across commits that only change the notes (docs/testing.md) or add
    results (tests/faults/*.jsonl)."""
    listing = subprocess.run(["git", "-C", str(HERE), "ls-tree", "-r", "HEAD"], check=True,
                             stdout=subprocess.PIPE, text=True).stdout
    kept = [line for line in listing.splitlines()
            if not line.endswith(".md") and not re.search(r"\ttests/faults/[^/]*\.jsonl$", line)]
    return hashlib.sha1("\n".join(kept).encode()).hexdigest()[:12]


FAILED_LINE = re.compile(r"Test\s+#\d+: (\S+) \.*\s*\*\*\*")
SUMMARY_LINE = re.compile(r"^\s*\d+ - (\S+) \(", re.MULTILINE)


def first_failure(output):
    for pattern in (FAILED_LINE, SUMMARY_LINE):
        match = pattern.search(output)
        if match:
            return match.group(1)
    return "(see log)"


def markdown(rows, windows):
    heading = ["Fault", "Folder", "Linux suite", "First failing test", "Minutes"]
    if windows:
        heading[4:4] = ["Windows stage", "First failing Windows test"]
    lines = ["| " + " | ".join(heading) + " |", "|" + "---|" * len(heading)]
    for row in rows:
        cells = [row["id"], row["folder"], row["result"], row["failed"] or ""]
        if windows:
            cells += [row.get("windows", ""), row.get("windows_failed", "")]
        cells.append(f"{row['seconds'] / 60:.1f}")
        lines.append("| " + " | ".join(cell.replace("|", "\\|") for cell in cells) + " |")
    counts = {}
    for row in rows:
        counts[row["result"]] = counts.get(row["result"], 0) + 1
    lines.append("")
    lines.append(", ".join(f"{result}: {count}" for result, count in sorted(counts.items())) +
                 f" (of {len(rows)})")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(epilog=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    parser.add_argument("ids", nargs="*", help="faults to run (all when none is named)")
    parser.add_argument("--list", action="store_true", help="list the faults and stop")
    parser.add_argument("--check", action="store_true",
                        help="check that every fault's text occurs once in the working tree")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--scratch", default="/tmp/tx-faults",
                        help="folder of the scratch copy, kept between runs (default %(default)s)")
    parser.add_argument("--build-dir", help="the scratch copy's build folder (default <scratch>/build)")
    parser.add_argument("--baseline", action="store_true",
                        help="first run the suite on the tree without a fault, which must pass")
    parser.add_argument("--windows", action="store_true",
                        help="also run the Windows stage for the faults the Linux suite missed")
    parser.add_argument("--report", help="write the table as Markdown to this file")
    parser.add_argument("--results",
                        help="keep each fault's result in this file (JSON lines) as it ends; "
                             "faults with a result there for the same tree (Markdown files aside) "
                             "are not run again unless named, so a long run can go on where it "
                             "stopped")
    options = parser.parse_args()

    faults = load_faults()
    if options.list:
        for fault in faults:
            print(f"{fault['id']:28} {fault['file']:40} {fault['effect']}")
        return 0
    if options.check:
        if not check(faults, HERE):
            return 1
        folders = sorted({folder_of(fault) for fault in faults})
        print(f"{len(faults)} faults, each text found once; folders: {', '.join(folders)}")
        return 0

    known = {fault["id"]: fault for fault in faults}
    unknown = [name for name in options.ids if name not in known]
    if unknown:
        sys.exit("unknown fault: " + ", ".join(unknown))
    chosen = [known[name] for name in options.ids] if options.ids else faults

    scratch = Scratch(options.scratch, options.build_dir, options.jobs)
    scratch.logs.mkdir(parents=True, exist_ok=True)
    print(f"Scratch copy {scratch.src}, build {scratch.build}, logs {scratch.logs}", flush=True)
    scratch.sync()
    if not check(chosen, scratch.src):
        return 1

    if options.baseline:
        log_path = scratch.logs / "baseline.log"
        log_path.write_text("")
        with open(log_path, "a", encoding="utf-8") as log:
            built = scratch.build_tree(log)
        failed = scratch.test(log_path) if built else "(build)"
        if failed:
            sys.exit(f"The tree without a fault fails ({failed}); see {log_path}")
        print("Baseline: the suite passes without a fault", flush=True)

    commit = subprocess.run(["git", "-C", str(HERE), "rev-parse", "--short", "HEAD"], check=True,
                            stdout=subprocess.PIPE, text=True).stdout.strip()
    tree = tree_without_notes()
    kept = {}
    if options.results and Path(options.results).is_file():
        for line in Path(options.results).read_text(encoding="utf-8").splitlines():
            if line.strip():
                row = json.loads(line)
                if row.get("tree", row.get("commit")) in (tree, commit):
                    kept[row["id"]] = row
    rows = []
    for fault in chosen:
        if fault["id"] in kept and fault["id"] not in options.ids:
            rows.append(kept[fault["id"]])
            continue
        started = time.monotonic()
        log_path = scratch.logs / f"{fault['id']}.log"
        log_path.write_text("")
        row = {"id": fault["id"], "folder": folder_of(fault), "failed": ""}
        scratch.apply(fault)
        try:
            with open(log_path, "a", encoding="utf-8") as log:
                built = scratch.build_tree(log)
            if not built:
                row["result"] = NO_BUILD
            else:
                failed = scratch.test(log_path, folder_of(fault))
                row["result"] = CAUGHT if failed else MISSED
                row["failed"] = failed or ""
                if options.windows and not failed:
                    row["windows"], row["windows_failed"] = scratch.windows_test(log_path)
        finally:
            scratch.revert(fault)
        row["seconds"] = time.monotonic() - started
        row["commit"] = commit
        row["tree"] = tree
        rows.append(row)
        if options.results:
            with open(options.results, "a", encoding="utf-8") as results:
                results.write(json.dumps(row) + "\n")
        print(f"{row['id']:28} {row['folder']:10} {row['result']:15} {row['failed']:30} "
              f"{row['seconds'] / 60:.1f} min", flush=True)

    table = markdown(rows, options.windows)
    print()
    print(table, end="")
    if options.report:
        Path(options.report).write_text(table, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
