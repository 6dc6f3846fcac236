#!/usr/bin/env python3
"""Every option a program's --help offers is in the manual and in the README.

    options_documented.py SOURCE PROGRAM...

Each PROGRAM's --help is read for its long options (--name); each must appear, as `--name`
or at the start of `--name=...` / `--name FILE`, in the manual's chapters and fragments
(docs/manual) and in README.md. Prints one line for each option missing from either.
"""
import glob
import os
import re
import subprocess
import sys


def main():
    source, programs = sys.argv[1], sys.argv[2:]
    manual = ""
    for path in sorted(glob.glob(os.path.join(source, "docs", "manual", "**", "*.md"),
                                 recursive=True)):
        with open(path, encoding="utf-8") as f:
            manual += f.read()
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    missing = 0
    checked = 0
    for program in programs:
        name = os.path.basename(program)
        text = subprocess.run([program, "--help"], capture_output=True, text=True, env=env,
                              check=True).stdout
        options = sorted(set(re.findall(r"(?<![\w-])(--[a-z][a-z0-9-]+)", text)))
        options = [o for o in options if o not in ("--help", "--version")]
        if not options:
            print(f"{name}: --help names no option")
            missing += 1
        for option in options:
            checked += 1
            pattern = re.compile(re.escape(option) + r"(?![a-z0-9-])")
            for where, text_ in (("the manual", manual), ("the README", readme)):
                if not pattern.search(text_):
                    print(f"{name}: {option} is not in {where}")
                    missing += 1
    print(f"options documented: {checked} options, {missing} missing")
    print(f"{checked - missing if missing <= checked else 0} passed, {missing} failed")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
