"""Prints line and branch coverage per product folder (and subfolder) from
gcovr's JSON summary.

Usage: summary.py build/coverage/summary.json
"""

import json
import sys
from collections import defaultdict
from pathlib import Path


def main():
    summary = json.loads(Path(sys.argv[1]).read_text())
    totals = defaultdict(lambda: [0, 0, 0, 0])
    for entry in summary["files"]:
        for key in folders(entry["filename"]):
            total = totals[key]
            total[0] += entry["line_covered"]
            total[1] += entry["line_total"]
            total[2] += entry["branch_covered"]
            total[3] += entry["branch_total"]
    print(f"{'folder':<20} {'lines':>17} {'branches':>17}")
    for folder in sorted(totals, key=lambda f: (f == "all", f)):
        lines_covered, lines, branches_covered, branches = totals[folder]
        print(f"{folder:<20} {percent(lines_covered, lines)} {percent(branches_covered, branches)}")


def folders(filename):
    """What a file counts toward: its product folder, its subfolder if it is
    in one (host/devhost), and the whole."""
    parts = Path(filename).parts
    keys = {parts[0], "all"}
    if len(parts) > 2:
        keys.add("/".join(parts[:2]))
    return keys


def percent(covered, total):
    share = f"{100 * covered / total:5.1f}%" if total else "    -"
    return f"{covered:>5}/{total:<5} {share}"


if __name__ == "__main__":
    main()
