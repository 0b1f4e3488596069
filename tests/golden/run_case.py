#!/usr/bin/env python3
"""Runs one golden case of the ovra program and compares what it did with what is expected.

Usage: run_case.py <path to ovra> <case folder>

A case folder holds:
  args             the command line after the program name, one argument per line (a
                   final line end is optional; an empty line is an empty argument)
  stdin            standard input, when there is one (otherwise it is empty)
  input files      whatever the arguments name
  expected.out     standard output, byte for byte
  expected.err     standard error, when not empty
  expected.status  the exit status, when not zero
  expected-files/  every file the run writes, under the name it was written to

The program runs with a scratch copy of the case folder as its working directory, so the
source tree is never written to. Every file the run creates or changes there is an output
file and must match expected-files/; every file in expected-files/ must be written.

With UPDATE_GOLDEN=1 in the environment the expected files are rewritten from the run
instead (review the diff before committing).
"""

import difflib
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

TIMEOUT_SECONDS = 60
EXPECTED_FILES = "expected-files"
STDIN = "stdin"


def is_expectation(name):
    return name == EXPECTED_FILES or name.startswith("expected.")


def read_args(case):
    text = (case / "args").read_bytes().decode("utf-8", "surrogateescape")
    words = text.split("\n")
    if words[-1] == "":
        words.pop()
    return words


def snapshot(folder):
    """Maps every file's path relative to folder to its bytes."""
    return {
        path.relative_to(folder).as_posix(): path.read_bytes()
        for path in sorted(folder.rglob("*"))
        if path.is_file()
    }


def run(ovra, case):
    with tempfile.TemporaryDirectory(prefix="ovra-golden-") as scratch_name:
        scratch = Path(scratch_name)
        for entry in case.iterdir():
            if is_expectation(entry.name) or entry.name in ("args", STDIN):
                continue
            if entry.is_dir():
                shutil.copytree(entry, scratch / entry.name)
            else:
                shutil.copy2(entry, scratch / entry.name)
        before = snapshot(scratch)
        result = subprocess.run(
            [ovra, *read_args(case)],
            cwd=scratch,
            input=optional_bytes(case / STDIN),
            capture_output=True,
            timeout=TIMEOUT_SECONDS,
        )
        written = {
            name: data for name, data in snapshot(scratch).items() if before.get(name) != data
        }
    return result.stdout, result.stderr, result.returncode, written


def show(data):
    return data.decode("utf-8", "replace").splitlines(keepends=True)


def report_difference(what, expected, actual):
    print(f"--- {what} differs")
    if len(expected) + len(actual) < 2000:
        print(f"expected: {expected!r}\nactual:   {actual!r}")
    else:
        sys.stdout.writelines(
            difflib.unified_diff(show(expected), show(actual), "expected", "actual")
        )
        print()


def optional_bytes(path):
    return path.read_bytes() if path.is_file() else b""


def check(case, stdout, stderr, status, written):
    failures = 0

    def compare(what, expected, actual):
        nonlocal failures
        if expected != actual:
            report_difference(what, expected, actual)
            failures += 1

    compare("standard output", optional_bytes(case / "expected.out"), stdout)
    compare("standard error", optional_bytes(case / "expected.err"), stderr)
    status_file = case / "expected.status"
    expected_status = int(status_file.read_text().strip()) if status_file.is_file() else 0
    if expected_status != status:
        print(f"--- exit status: expected {expected_status}, actual {status}")
        failures += 1
    expected_folder = case / EXPECTED_FILES
    expected_written = snapshot(expected_folder) if expected_folder.is_dir() else {}
    for name in sorted(set(expected_written) | set(written)):
        if name not in written:
            print(f"--- output file {name} was not written")
            failures += 1
        elif name not in expected_written:
            print(f"--- output file {name} was written but is not expected")
            failures += 1
        else:
            compare(f"output file {name}", expected_written[name], written[name])
    return failures


def update(case, stdout, stderr, status, written):
    (case / "expected.out").write_bytes(stdout)
    for name, data, keep in (
        ("expected.err", stderr, stderr != b""),
        ("expected.status", f"{status}\n".encode(), status != 0),
    ):
        path = case / name
        if keep:
            path.write_bytes(data)
        elif path.exists():
            path.unlink()
    expected_folder = case / EXPECTED_FILES
    if expected_folder.exists():
        shutil.rmtree(expected_folder)
    for name, data in written.items():
        path = expected_folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    print(f"updated {case.name}")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    ovra = os.path.abspath(sys.argv[1])
    case = Path(sys.argv[2]).resolve()
    try:
        outcome = run(ovra, case)
    except subprocess.TimeoutExpired:
        print(f"{case.name}: no exit within {TIMEOUT_SECONDS} seconds")
        return 1
    if os.environ.get("UPDATE_GOLDEN") == "1":
        update(case, *outcome)
        return 0
    failures = check(case, *outcome)
    if failures:
        print(f"{case.name}: {failures} difference(s); run_case.py documents the case layout")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
