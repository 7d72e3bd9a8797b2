#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs the examples of README.md and checks their output.

Every ```console block is a shell session: "$ " lines are run (in bash, in one scratch
directory that sees the checkout's tests/ folder) and the lines up to the next "$ " are
their expected output. Every ```pycon block is a Python session, run as a doctest in one
namespace shared by all blocks. In both, "..." matches any text, so that timings and long
listings can be left out.
"""
import doctest
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(console|pycon)\s*\n(.*?)^```", re.M | re.S)


def matches(expected, actual):
    pattern = ".*".join(re.escape(part) for part in expected.split("..."))
    return re.fullmatch(pattern, actual, re.S) is not None


def console_steps(block):
    steps = []
    for line in block.splitlines():
        if line.startswith("$ "):
            steps.append([line[2:], []])
        elif steps:
            steps[-1][1].append(line)
    return [(command, "\n".join(output).strip()) for command, output in steps]


def run_console(block, where, failures):
    for command, expected in console_steps(block):
        run = subprocess.run(["bash", "-c", command], cwd=where, capture_output=True, text=True)
        actual = (run.stdout + run.stderr).strip()
        if run.returncode != 0 or not matches(expected, actual):
            failures.append(f"$ {command}\n(exit {run.returncode})\n--- expected\n{expected}\n"
                            f"--- got\n{actual}")


def main():
    readme, checkout = sys.argv[1], os.path.dirname(os.path.abspath(sys.argv[1]))
    with open(readme, encoding="utf-8") as file:
        blocks = FENCE.findall(file.read())
    failures = []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    namespace = {}
    with tempfile.TemporaryDirectory() as where:
        os.symlink(os.path.join(checkout, "tests"), os.path.join(where, "tests"))
        os.chdir(where)
        for number, (kind, block) in enumerate(blocks):
            if kind == "console":
                run_console(block, where, failures)
                continue
            test = doctest.DocTestParser().get_doctest(block, namespace, f"pycon block {number}",
                                                       readme, 0)
            result = runner.run(test, clear_globs=False)
            namespace = test.globs  # doctest ran on a copy
            if result.failed:
                failures.append(f"pycon block {number}: {result.failed} failed (see above)")
    for failure in failures:
        print(failure, end="\n\n")
    examples = sum(len(console_steps(b)) if k == "console" else b.count(">>> ") for k, b in blocks)
    print(f"{examples - len(failures)} passed, {len(failures)} failed")
    return 1 if failures or not blocks else 0


if __name__ == "__main__":
    sys.exit(main())
