"""Writes a mutation run's results: the mutation-testing-elements JSON report,
its HTML view, and a text summary per folder with the surviving mutants."""

import json
from collections import Counter
from pathlib import Path

STATUSES = ("Killed", "Survived", "Timeout", "CompileError")
# The goals for the feature's folders; the others aim for the low mark.
THRESHOLDS = {"high": 90, "low": 85}


def write_json(path, source_root, results):
    """The report in the schema mutation-testing tools share."""
    files = {}
    for mutant, status in results:
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
            "status": status,
        })
    report = {"schemaVersion": "1", "thresholds": THRESHOLDS, "files": files}
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
    """Lines of text: a row per folder, then every survivor."""
    counts = {}
    for mutant, status in results:
        counts.setdefault(folder_of(mutant.path), Counter())[status] += 1
    lines = [f"{'folder':<20} {'killed':>6} {'survived':>8} {'timeout':>7} "
             f"{'no-build':>8} {'score':>6}"]
    total = Counter()
    for folder in sorted(counts):
        lines.append(_row(folder, counts[folder]))
        total.update(counts[folder])
    lines.append(_row("all", total))
    lines.append(f"(score = killed / built; {equivalent_count} mutants listed as "
                 "equivalent were not run)")
    survivors = [m for m, status in results if status == "Survived"]
    lines.append(f"\nsurvivors ({len(survivors)}):")
    for m in sorted(survivors, key=lambda m: (m.path, m.line, m.column)):
        change = f"{short(m.original)} -> {short(m.replacement)}"
        lines.append(f"  {m.path}:{m.line}:{m.column} {m.id} {m.operator}: {change}")
    return lines


def _row(folder, count):
    built = count["Killed"] + count["Survived"] + count["Timeout"]
    score = f"{100 * count['Killed'] / built:5.1f}%" if built else "    -"
    return (f"{folder:<20} {count['Killed']:>6} {count['Survived']:>8} {count['Timeout']:>7} "
            f"{count['CompileError']:>8} {score:>6}")


def short(text):
    """One line of at most 70 characters, quoted."""
    text = " ".join(text.split())
    return repr(text if len(text) <= 70 else text[:67] + "...")
