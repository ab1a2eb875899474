#!/usr/bin/python3
"""Keeps a guide's code real: every code block after a paragraph that starts
with a file's name and ends with a colon ("`path/to/file`, whole:") must
stand, as it is, in that file of the tree; the name holds for the blocks
after it until the next name or heading. Shell
blocks (```sh, commands to type) and blocks without a name are not checked.

    guide_code_check.py <source tree> <guide.md>
"""
import os
import re
import sys

ROOT, GUIDE = sys.argv[1], sys.argv[2]


def blocks(text):
    """(file named before it or None, the block's text) for each code block
    but the shell's."""
    named = None
    block = None
    paragraph = []  # the lines of the last paragraph, kept over blank lines
    ended = False
    for line in text.splitlines():
        if block is not None:
            if line.startswith("```"):
                if language != "sh":
                    yield named, "\n".join(block) + "\n"
                block = None
            else:
                block.append(line)
        elif line.startswith("```"):
            block, language = [], line[3:]
            label = re.match(r"`([^`]+)`.*:$", " ".join(paragraph))
            if label:
                named = label.group(1)
            paragraph = []
        elif line.startswith("#"):
            named, paragraph = None, []
        elif line:
            if ended:
                paragraph = []
            paragraph.append(line)
        ended = not line


def main():
    with open(GUIDE) as guide:
        found = [(named, code) for named, code in blocks(guide.read()) if named is not None]
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
