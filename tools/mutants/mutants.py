"""Mutation testing of the product code.

Copies the sources into build/mutants/src and builds them there (Debug, no
sanitizers), so the working tree is never touched. A fixed seed and a cap per
folder choose the mutants. Each is patched into its file, and the test
executable of its subsystem is rebuilt (ninja recompiles the one object and
relinks) and run with a time-out; when that one misses the mutant, the other
test executables that link the file are tried, so a mutant is killed by its
own subsystem's tests or only by the others'. The file is restored, also on
Ctrl-C.
Results: build/mutants/report.json, report.html and summary.txt.

With --by-test, every test executable that links a mutant's file runs in
full, and each test that fails is named: report.json's killedBy, and in the
summary a table of what each test kills that no other does, which shows the
tests a table could absorb.

Usage: mutants.py [--cap N] [--jobs N] [--own-tests] [--by-test] [path ...]
                                                (default: every product folder)
"""

import argparse
import hashlib
import itertools
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import operators
import report

ROOT = Path(__file__).resolve().parents[2]
WORK = ROOT / "build" / "mutants"
SOURCE = WORK / "src"
BUILD = WORK / "build"
EQUIVALENT = Path(__file__).with_name("equivalent.txt")
ELEMENTS = ROOT / "build/npm/node_modules/mutation-testing-elements/dist/mutation-test-elements.js"
FOLDERS = ["email_verification", "plugin", "api", "binding", "formats", "logging", "util",
           "boundary", "host"]
SEED = 20


def main():
    args = parse_arguments()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    start = time.monotonic()
    sync_sources()
    configure()
    tests_of = test_executables()
    files = product_files(args.paths, tests_of)
    equivalent = read_equivalent()
    sample, skipped, stale = choose(files, equivalent, args.cap, args.seed)
    print(f"mutants: {len(sample)} from {len(files)} files "
          f"(cap {args.cap} per folder, seed {args.seed})", flush=True)
    for path, mutant_id in stale:
        print(f"mutants: {path} {mutant_id} is listed as equivalent but is no mutant of the "
              f"code now; argue its mutant again", flush=True)
    orders = {m.path: test_order(m.path, tests_of, args.own_tests) for m in sample}
    needed = sorted({exe for executables, _ in orders.values() for exe in executables})
    build(needed, args.jobs, check=True)
    limits, tests = baseline(needed, args.by_test)
    results = []
    try:
        for number, mutant in enumerate(sample, 1):
            result = run_mutant(mutant, orders[mutant.path], limits, args.jobs, args.by_test)
            results.append((mutant, result))
            status = result.status + (f" by {result.by}" if result.by else "")
            print(f"[{number}/{len(sample)}] {status:<12} {mutant.path}:{mutant.line} "
                  f"{mutant.operator}: {report.short(mutant.original)} -> "
                  f"{report.short(mutant.replacement)}", flush=True)
    finally:
        write_reports(results, tests, len(sample), skipped, stale, time.monotonic() - start)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="*", default=FOLDERS,
                        help="product folders or files (default: every product folder)")
    parser.add_argument("--cap", type=int, default=100, help="mutants per folder (default 100)")
    # Tests cut or sharpened while looking at one sample are best judged on
    # another.
    parser.add_argument("--seed", type=int, default=SEED,
                        help=f"draws another sample (default {SEED})")
    parser.add_argument("--jobs", type=int, default=2, help="ninja's jobs (default 2)")
    parser.add_argument("--own-tests", action="store_true",
                        help="try each mutant on its folder's own test executable only "
                             "(builds much less)")
    parser.add_argument("--by-test", action="store_true",
                        help="run every test executable that links the file in full and name "
                             "the tests that kill each mutant")
    return parser.parse_args()


# The build tree.

def sync_sources():
    """Copies the tracked and new files into the copy, only those that differ,
    so ninja rebuilds what changed and a mutant left by a killed run is undone."""
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                            check=True, capture_output=True).stdout.decode().split("\0")
    # Removed from the working tree but not from git's index: gone all the same.
    names = {name for name in listed if name and (ROOT / name).is_file()}
    for stale in [p for p in SOURCE.rglob("*") if p.is_file()]:
        if stale.relative_to(SOURCE).as_posix() not in names:
            stale.unlink()
    for name in sorted(names):
        source = ROOT / name
        target = SOURCE / name
        data = source.read_bytes()
        if not target.is_file() or target.read_bytes() != data:
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(data)


def configure():
    subprocess.run(["cmake", "-S", SOURCE, "-B", BUILD, "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Debug", "-DZVM_BENCH=OFF"],
                   check=True, stdout=subprocess.DEVNULL)


def test_executables():
    """Maps each source file (relative path) to the test executables whose
    build needs it, from ninja's graph."""
    targets = ninja_tool("targets", "all")
    executables = re.findall(r"^(\w+_tests): CXX_EXECUTABLE_LINKER", targets, re.MULTILINE)
    tests_of = {}
    for exe in executables:
        for line in ninja_tool("inputs", exe).splitlines():
            path = Path(line)
            if path.suffix == ".cc" and path.is_relative_to(SOURCE):
                tests_of.setdefault(str(path.relative_to(SOURCE)), set()).add(exe)
    return tests_of


def ninja_tool(*words):
    return subprocess.run(["ninja", "-C", BUILD, "-t", *words], check=True,
                          capture_output=True, text=True).stdout


def test_order(path, tests_of, own_only):
    """The test executables to try on the file's mutants, in order, and the
    subsystem's own among them, which comes first (a folder without tests of
    its own has none, and tries all that link the file)."""
    # A file in a folder below the subsystem's has the subsystem's tests.
    candidates = (f"{Path(path).parent.name}_tests", f"{folder_of(path)}_tests")
    own = next((name for name in candidates if name in tests_of[path]), None)
    if own is None:
        return sorted(tests_of[path]), None
    if own_only:
        return [own], own
    return sorted(tests_of[path], key=lambda exe: (exe != own, exe)), own


def build(targets, jobs, check=False):
    result = subprocess.run(["ninja", "-C", BUILD, f"-j{jobs}", *targets],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if check and result.returncode != 0:
        sys.exit(f"mutants: the unmutated build failed:\n{result.stdout}")
    return result.returncode == 0


def baseline(executables, by_test):
    """Runs each test executable once unmutated: all must pass. Returns a
    time-out per executable, well above its normal run time, and, by test,
    the names of all the tests ("executable Suite.Name")."""
    limits, tests = {}, []
    for exe in executables:
        began = time.monotonic()
        if run_tests(exe, timeout=None)[0] != "pass":
            sys.exit(f"mutants: {exe} fails without any mutant")
        limits[exe] = 10 + 5 * (time.monotonic() - began)
        if by_test:
            tests += [f"{exe} {name}" for name in test_names(exe)]
    return limits, tests


def test_names(exe):
    listing = subprocess.run([BUILD / exe, "--gtest_list_tests"], cwd=BUILD, check=True,
                             capture_output=True, text=True).stdout
    names, suite = [], ""
    for line in listing.splitlines():
        if not line.startswith(" "):
            suite = line.split("#")[0].strip()
        else:
            names.append(suite + line.split("#")[0].strip())
    return names


def end_group(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:  # the group ended meanwhile
        pass


def run_tests(exe, timeout, whole=False):
    """The outcome, "pass", "fail" or "timeout", and the tests that failed
    when the executable ran `whole` (otherwise it stops at the first)."""
    # A session of its own: a mutant that signals its process group (the
    # development host stops builds that way) reaches only the tests, and a
    # time-out ends every process they started.
    flags = [] if whole else ["--gtest_brief=1", "--gtest_fail_fast"]
    process = subprocess.Popen([BUILD / exe, *flags], cwd=BUILD, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    timed_out = False
    try:
        output = process.communicate(timeout=timeout)[0].decode(errors="replace")
    except subprocess.TimeoutExpired:
        end_group(process)
        output = process.communicate()[0].decode(errors="replace")
        timed_out = True
    except BaseException:
        # Interrupted or stopped: its own session would outlive the runner.
        end_group(process)
        raise
    failed = re.findall(r"^\[  FAILED  \] (\S+) \(", output, re.MULTILINE)
    if timed_out:
        # A whole run may have failed tests before the one that hung: those
        # killed the mutant.
        return ("fail" if failed else "timeout"), [f"{exe} {name}" for name in failed]
    # A test that crashed the executable was the last to start.
    started = re.findall(r"^\[ RUN      \] (\S+)$", output, re.MULTILINE)
    if process.returncode != 0 and started and not re.search(
            r"^\[ +(OK|FAILED|SKIPPED) +\] " + re.escape(started[-1]) + " ", output, re.MULTILINE):
        failed.append(started[-1])
    failed = [f"{exe} {name}" for name in failed]
    return ("pass" if process.returncode == 0 else "fail"), failed


# The sample.

def folder_of(path):
    return Path(path).parts[0]


def product_files(paths, tests_of):
    """The product's .cc files under the paths that some test executable links."""
    wanted = [p.rstrip("/") for p in paths]
    files = sorted(path for path in tests_of
                   if folder_of(path) not in ("tests", "bench", "fuzz")
                   and any(path == w or path.startswith(w + "/") for w in wanted))
    if not files:
        sys.exit(f"mutants: no product file linked by the tests under {' '.join(paths)}")
    return files


def read_equivalent():
    """Ids of the mutants argued equivalent: 'path id reason' lines."""
    ids = set()
    for line in EQUIVALENT.read_text().splitlines():
        words = line.split()
        if words and not line.startswith("#"):
            ids.add((words[0], words[1]))
    return ids


def choose(files, equivalent, cap, seed):
    """A repeatable sample: per folder, the `cap` mutants that rank first by
    a hash of the seed and their id. A mutant's rank does not depend on the
    others, so an edit, or a mutant listed as equivalent, changes the sample
    only where it changes mutants, and runs before and after compare."""
    commands = {Path(e["file"]).relative_to(SOURCE).as_posix(): e["command"]
                for e in json.loads((BUILD / "compile_commands.json").read_text())
                if Path(e["file"]).is_relative_to(SOURCE)}
    by_folder = {}
    skipped = set()
    for path in files:
        for mutant in operators.FileMutator(SOURCE, path, commands[path]).find():
            if (mutant.path, mutant.id) in equivalent:
                skipped.add((mutant.path, mutant.id))
            else:
                by_folder.setdefault(folder_of(path), []).append(mutant)
    # An entry of these files that matches no mutant was argued for code
    # that has changed since.
    stale = sorted(entry for entry in equivalent if entry[0] in files and entry not in skipped)
    files_by_folder = []
    for folder in sorted(by_folder):
        ranked = sorted(by_folder[folder], key=lambda m: (rank(m, seed), m.path))
        files_by_folder.append(group_by_file(ranked[:cap]))
    return interleave(files_by_folder), len(skipped), stale


def rank(mutant, seed):
    return hashlib.sha256(f"{seed} {mutant.path} {mutant.id}".encode()).hexdigest()


def group_by_file(mutants):
    files = {}
    for mutant in sorted(mutants, key=lambda m: (m.path, m.start, m.id)):
        files.setdefault(mutant.path, []).append(mutant)
    return list(files.values())


def interleave(files_by_folder):
    """A file of each folder in turn, so a run cut short has results from
    every folder; a file's mutants stay together, since ninja recompiles a
    file once more when the run moves on from it."""
    order = []
    for turn in itertools.zip_longest(*files_by_folder):
        for mutants in filter(None, turn):
            order += mutants
    return order


# One mutant.

def run_mutant(mutant, order, limits, jobs, by_test):
    """Patches the file, rebuilds and runs the tests one executable at a time
    until one fails (by test: all of them, naming the tests that fail), and
    always restores the file."""
    executables, own = order
    file = SOURCE / mutant.path
    original = file.read_bytes()
    try:
        mutated = original[:mutant.start] + mutant.replacement.encode() + original[mutant.end:]
        file.write_bytes(mutated)
        result = report.Result("Survived")
        for exe in executables:
            if not build([exe], jobs):
                return report.Result("CompileError")
            outcome, failed = run_tests(exe, limits[exe], whole=by_test)
            result.tests += failed
            if outcome != "pass" and result.status == "Survived":
                result.status = "Killed" if outcome == "fail" else "Timeout"
                result.by, result.own_tests = exe, own in (None, exe)
            if result.status != "Survived" and not by_test:
                break
        return result
    finally:
        file.write_bytes(original)


def write_reports(results, tests, drawn, equivalent_count, stale, seconds):
    json_report = report.write_json(WORK / "report.json", SOURCE, results, tests)
    if ELEMENTS.is_file():
        report.write_html(WORK / "report.html", json_report, ELEMENTS)
    else:
        print(f"mutants: no HTML view ({ELEMENTS} is missing; ./setup.sh installs it)")
    lines = report.summary(results, folder_of, equivalent_count)
    if stale:
        lines.append(f"listed as equivalent but no mutant of the code now ({len(stale)}):")
        lines += [f"  {path} {mutant_id}" for path, mutant_id in stale]
    if tests:
        lines += report.kills_by_test(results, tests)
    lines.append(f"\n{len(results)} mutants in {seconds / 60:.1f} minutes")
    if len(results) < drawn:
        lines.append(f"cut short: {drawn - len(results)} of the {drawn} drawn were not run")
    text = "\n".join(lines) + "\n"
    (WORK / "summary.txt").write_text(text)
    print(text + f"reports: {WORK}/summary.txt, report.json, report.html")


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit("mutants: interrupted; the mutated file was restored")
