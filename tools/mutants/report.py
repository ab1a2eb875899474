"""Writes a mutation run's results: the mutation-testing-elements JSON report,
its HTML view, and a text summary per folder with the surviving mutants."""

import json
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path

# The goals for the feature's folders; the others aim for the low mark.
THRESHOLDS = {"high": 90, "low": 85}


@dataclass
class Result:
    """What became of one mutant: Killed, Survived, Timeout or CompileError;
    the test executable that failed, whether it is the subsystem's own, and
    the tests that failed ("executable Suite.Name"; all of them by test)."""

    status: str
    by: str = ""
    own_tests: bool = True
    tests: list = field(default_factory=list)


def write_json(path, source_root, results, tests):
    """The report in the schema mutation-testing tools share; by test, with
    each test executable as a test file."""
    files = {}
    for mutant, result in results:
        entry = files.get(mutant.path)
        if entry is None:
            source = (Path(source_root) / mutant.path).read_text(errors="replace")
            entry = files[mutant.path] = {"language": "cpp", "source": source, "mutants": []}
        entry["mutants"].append({
            "id": mutant.id,
            "mutatorName": mutant.operator,
            "replacement": mutant.replacement,
            "location": {
                "start": {"line": mutant.line, "column": mutant.column},
                "end": {"line": mutant.end_line, "column": mutant.end_column},
            },
            "status": result.status,
            **({"statusReason": f"failed {result.by}"} if result.by else {}),
            **({"killedBy": result.tests} if tests else {}),
        })
    report = {"schemaVersion": "1", "thresholds": THRESHOLDS, "files": files}
    if tests:
        report["testFiles"] = {}
        for test in tests:
            exe, name = test.split(" ", 1)
            report["testFiles"].setdefault(exe, {"tests": []})["tests"].append(
                {"id": test, "name": name})
    Path(path).write_text(json.dumps(report, indent=1))
    return report


def write_html(path, report, elements_script):
    """A page that shows the report with the elements' web component, inline,
    so it opens from the disk without loading anything."""
    script = Path(elements_script).read_text()
    data = json.dumps(report).replace("</", "<\\/")
    page = f"""<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>Mutation report</title></head>
<body>
<mutation-test-report-app title-postfix="Mutation report"></mutation-test-report-app>
<script>{script}</script>
<script>document.querySelector('mutation-test-report-app').report = {data};</script>
</body>
</html>
"""
    Path(path).write_text(page)


def summary(results, folder_of, equivalent_count):
    """Lines of text: a row per folder, every survivor, and the mutants that
    only another subsystem's tests kill."""
    counts = {}
    for mutant, result in results:
        key = "Killed by others" if result.status == "Killed" and not result.own_tests \
            else result.status
        counts.setdefault(folder_of(mutant.path), Counter())[key] += 1
    lines = [f"{'folder':<20} {'killed':>6} {'by-other':>8} {'survived':>8} {'timeout':>7} "
             f"{'no-build':>8} {'own':>6} {'all':>6}"]
    total = Counter()
    for folder in sorted(counts):
        lines.append(_row(folder, counts[folder]))
        total.update(counts[folder])
    lines.append(_row("all", total))
    lines.append("killed: by the folder's own test executable; by-other: only by another that "
                 "links the file.\nScores are killed / built (killed + survived + timeout): own "
                 "counts the folder's own tests, all counts every test executable.")
    lines.append(f"{equivalent_count} mutants listed as equivalent were not drawn.")
    lines += _listing("survivors", [(m, r) for m, r in results if r.status == "Survived"])
    lines += _listing("killed only by another subsystem's tests",
                      [(m, r) for m, r in results if r.status == "Killed" and not r.own_tests])
    return lines


def kills_by_test(results, tests):
    """Lines of text: each test with the mutants it kills and those no other
    test kills, fewest alone first. A test that kills nothing alone is one a
    table or another test could absorb."""
    kills, alone = Counter(), Counter()
    for _, result in results:
        kills.update(result.tests)
        if len(result.tests) == 1:
            alone.update(result.tests)
    lines = [f"\ntests by the mutants they kill alone ({len(tests)} tests):",
             f"{'alone':>5} {'kills':>5}  test"]
    for test in sorted(tests, key=lambda t: (alone[t], kills[t], t)):
        lines.append(f"{alone[test]:>5} {kills[test]:>5}  {test}")
    return lines


def _listing(title, entries):
    """One line per mutant: place, id, operator, change, and what killed it."""
    lines = [f"\n{title} ({len(entries)}):"]
    for mutant, result in sorted(entries, key=lambda e: (e[0].path, e[0].line, e[0].column)):
        change = f"{short(mutant.original)} -> {short(mutant.replacement)}"
        by = f" [{result.by}]" if result.by else ""
        lines.append(f"  {mutant.path}:{mutant.line}:{mutant.column} {mutant.id} "
                     f"{mutant.operator}: {change}{by}")
    return lines


def _row(folder, count):
    killed = count["Killed"] + count["Killed by others"]
    built = killed + count["Survived"] + count["Timeout"]
    return (f"{folder:<20} {count['Killed']:>6} {count['Killed by others']:>8} "
            f"{count['Survived']:>8} {count['Timeout']:>7} {count['CompileError']:>8} "
            f"{_percent(count['Killed'], built)} {_percent(killed, built)}")


def _percent(part, whole):
    return f"{100 * part / whole:5.1f}%" if whole else "     -"


def short(text):
    """One line of at most 70 characters, quoted."""
    text = " ".join(text.split())
    return repr(text if len(text) <= 70 else text[:67] + "...")
