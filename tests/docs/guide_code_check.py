#!/usr/bin/python3
"""Keeps a guide's code real: each code block after a paragraph that starts
with a file's name and ends with a colon ("`path/to/file`, whole:"), up to the
next name or heading, must stand as it is in that file of the tree. Shell
blocks and blocks without a name are not checked.

    guide_code_check.py <source tree> <guide.md>
"""
import os
import re
import sys

ROOT, GUIDE = sys.argv[1], sys.argv[2]


def blocks(text):
    """(file named before it or None, its text) for each block but the shell's."""
    named, start = None, 0
    for block in re.finditer(r"^```([^\n]*)\n(.*?)^```[^\n]*", text, re.M | re.S):
        # The last paragraph before the block, if no heading follows it.
        sections = re.split(r"^#.*$", text[start:block.start()], flags=re.M)
        paragraph = re.split(r"\n\n+", sections[-1].strip("\n"))[-1].replace("\n", " ")
        label = re.match(r"`([^`]+)`.*:$", paragraph)
        named = label.group(1) if label else None if len(sections) > 1 else named
        start = block.end()
        if block.group(1) != "sh":
            yield named, block.group(2) or "\n"


def main():
    found = [(named, code) for named, code in blocks(open(GUIDE).read()) if named is not None]
    failures = 0
    for named, code in found:
        path = os.path.join(ROOT, named)
        if code not in (open(path).read() if os.path.exists(path) else ""):
            failures += 1
            print("FAILED %s: a block is not in the file:\n%s" % (named, code))
    print("%d passed, %d failed" % (len(found) - failures, failures))
    return 1 if failures or not found else 0


if __name__ == "__main__":
    sys.exit(main())
