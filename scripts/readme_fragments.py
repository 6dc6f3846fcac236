#!/usr/bin/python3
"""The README and the manual share the text of the command-line tools: each part is a file in
docs/manual/fragments/, which a chapter of the manual includes (`<!-- include: ... -->`) and the
README holds a copy of between

    <!-- fragment: docs/manual/fragments/NAME.md -->
    ...
    <!-- end fragment -->

    readme_fragments.py --check   exit 1 and name each copy that differs from its fragment
    readme_fragments.py --write   rewrite the copies in README.md from the fragments
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BLOCK = re.compile(r"(<!-- fragment: (\S+) -->\n)(.*?)(<!-- end fragment -->)", re.S)


def main(argv):
    if len(argv) != 2 or argv[1] not in ("--check", "--write"):
        print(__doc__, file=sys.stderr)
        return 64
    readme_path = os.path.join(ROOT, "README.md")
    with open(readme_path, encoding="utf-8") as f:
        readme = f.read()
    differ = []
    found = []

    def replace(m):
        name = m.group(2)
        found.append(name)
        with open(os.path.join(ROOT, name), encoding="utf-8") as f:
            text = f.read()
        if m.group(3) != text:
            differ.append(name)
        return m.group(1) + text + m.group(4)

    updated = BLOCK.sub(replace, readme)
    if not found:
        print("readme_fragments: README.md holds no fragment", file=sys.stderr)
        return 1
    fragments_dir = os.path.join(ROOT, "docs", "manual", "fragments")
    for name in sorted(os.listdir(fragments_dir)):
        if f"docs/manual/fragments/{name}" not in found:
            print(f"readme_fragments: README.md lacks docs/manual/fragments/{name}", file=sys.stderr)
            differ.append(name)
    if argv[1] == "--write":
        with open(readme_path, "w", encoding="utf-8") as f:
            f.write(updated)
        return 0
    for name in differ:
        print(f"readme_fragments: README.md differs from {name} "
              "(run scripts/readme_fragments.py --write)", file=sys.stderr)
    if not differ:
        print(f"readme_fragments: {len(found)} fragments agree")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
