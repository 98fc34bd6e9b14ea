#!/usr/bin/env python3
"""Mutation run for keywatch: does the native test suite catch single faults?

Each mutant in scripts/mutants.txt is one textual change to the module's own
code (interface/, module/, log/, gauge/, platform/), to the log format
(logformat/) or to keywatch-log (tools/keywatch-log/). For each one this
script applies the change, rebuilds the native build in build/mutate, runs
its ctest suite
(the tests that fail show which checks catch the fault) and puts the file
back. A mutant in tools/keywatch-log/, which nothing else links, rebuilds
only keywatch-log and its test program and runs only the keywatch_log_*
tests (but the browser's, see KEYWATCH_LOG); any other, logformat/
included (the module's tests, the log mask and the fuzz harness read logs
through it), rebuilds everything and runs the whole suite. A mutant is
"caught" when those tests fail, "survived" when they pass, "no-build" when
the change does not compile and "missing" when its text is not found
exactly once (the code moved on: update the line).

    scripts/mutate.py                      # every mutant; results in build/mutate/results.tsv
    scripts/mutate.py --only 1-20,44       # some of them, by number
    scripts/mutate.py --compare A.tsv B.tsv  # mutants caught in A but not in B

A mutant whose code moves is rewritten in place (same line of mutants.txt,
same fault, new file or text), so that --compare pairs it with its earlier
self by number; see compare().

The run refuses to start unless the unmutated tree's tests pass (those the
chosen mutants use).
"""
import argparse
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def load_mutants(path):
    mutants = []
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = line.split(" @@ ")
        if len(parts) == 2 and line.endswith(" @@ "):
            parts.append("")
        elif len(parts) == 2 and line.rstrip().endswith("@@"):
            parts = [parts[0], parts[1].rstrip()[:-2].rstrip(), ""]
        if len(parts) != 3:
            sys.exit(f"{path}:{number}: expected FILE @@ TEXT @@ REPLACEMENT")
        # \n stands for a line feed, \\n for the two characters of a C escape.
        file, text, replacement = (
            p.replace("\\\\n", "\0").replace("\\n", "\n").replace("\0", "\\n") for p in parts)
        mutants.append((len(mutants) + 1, file.strip(), text, replacement, line.strip()))
    return mutants


def selected(numbers, count):
    if not numbers:
        return set(range(1, count + 1))
    chosen = set()
    for part in numbers.split(","):
        low, _, high = part.partition("-")
        chosen.update(range(int(low), int(high or low) + 1))
    return chosen


def run(cmd, timeout):
    try:
        done = subprocess.run(cmd, cwd=ROOT, capture_output=True, text=True, timeout=timeout)
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired as e:
        return 124, f"timed out after {timeout} s: {e}"


# keywatch-log's own files: what is built from them, and the tests that
# run it. Nothing outside tools/keywatch-log/ and tests/keywatch-log/ links
# or includes them. Its browser test is left out: it takes most of the
# time, and draws the page whose bytes the report tests already compare.
KEYWATCH_LOG = ("tools/keywatch-log/", ("keywatch-log", "keywatch_log_unit_tests"),
                ("-R", "^keywatch_log_", "-E", "^keywatch_log_report_browser$"))


def scope_of(file):
    """The targets to build and the tests to run for a mutant of FILE:
    (None, None) for everything."""
    folder, targets, tests = KEYWATCH_LOG
    return (targets, tests) if file.startswith(folder) else (None, None)


def build(build_dir, timeout=600, targets=None):
    cmd = ["cmake", "--build", str(build_dir), "-j2"]
    if targets:
        cmd += ["--target", *targets]
    return run(cmd, timeout)


def test(build_dir, tests=None):
    cmd = ["ctest", "--test-dir", str(build_dir), "-j2", "--timeout", "120", "--no-tests=error"]
    if tests:
        cmd += tests
    code, out = run(cmd, 900)
    failed = [l.split("-", 1)[-1].strip().split()[0] for l in out.splitlines()
              if l.strip().startswith(tuple("0123456789")) and " - " in l and "(" in l]
    return code, failed


def compare(before, after, mutants):
    """Mutants caught in BEFORE but not in AFTER.

    A mutant is the same in both runs when its line is the same. A line
    rewritten between the runs (its code moved to another file or changed
    its text) keeps its place in mutants.txt, so a line of BEFORE found
    nowhere in AFTER is paired with the line of the same number in AFTER,
    provided that one is not in BEFORE either; each such pair is listed. A
    line of BEFORE with no partner counts as lost when it was caught.
    """
    current = {line for *_, line in mutants}

    def read(path):
        rows = {}
        for line in Path(path).read_text().splitlines()[1:]:
            cols = line.split("\t")
            rows[cols[4]] = (int(cols[0]), cols[1])
        return rows
    a, b = read(before), read(after)
    b_by_number = {number: line for line, (number, _) in b.items()}
    pairs = {}  # line in BEFORE -> its line in AFTER
    for line, (number, _) in a.items():
        if line in b:
            pairs[line] = line
        elif b_by_number.get(number) not in (None, *a):
            pairs[line] = b_by_number[number]
    for line, partner in pairs.items():
        if partner != line:
            print(f"rewritten #{a[line][0]}: {line}\n       as: {partner}")
    stale = [line for line in b if line not in current]
    if stale:
        print(f"note: {len(stale)} line(s) of {after} are not in the current mutants file")
    lost = [m for m, (_, s) in a.items()
            if s == "caught" and (m not in pairs or b[pairs[m]][1] != "caught")]
    for key, rows in (("before", a), ("after", b)):
        counts = {}
        for _, s in rows.values():
            counts[s] = counts.get(s, 0) + 1
        print(f"{key}: " + ", ".join(f"{n} {s}" for s, n in sorted(counts.items())))
    for m in lost:
        after_status = b[pairs[m]][1] if m in pairs else "no partner"
        print(f"LOST: {m} (after: {after_status})")
    print(f"{len(lost)} catches lost")
    return 1 if lost else 0


def main():
    # A run stopped by a signal still puts the mutated file back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--mutants", default=str(ROOT / "scripts/mutants.txt"))
    parser.add_argument("--build", default=str(ROOT / "build/mutate"))
    parser.add_argument("--only", help="mutant numbers, e.g. 1-20,44")
    parser.add_argument("--out", help="results file (default BUILD/results.tsv)")
    parser.add_argument("--append", action="store_true", help="add to the results file")
    parser.add_argument("--compare", nargs=2, metavar=("BEFORE", "AFTER"))
    args = parser.parse_args()
    mutants = load_mutants(Path(args.mutants))
    if args.compare:
        return compare(*args.compare, mutants)

    chosen = selected(args.only, len(mutants))
    build_dir = Path(args.build)
    out_path = Path(args.out) if args.out else build_dir / "results.tsv"

    if not (build_dir / "build.ninja").exists():
        # Optimised but without debug information: each mutant relinks every
        # test program, and that is most of a mutant's time.
        code, out = run(["cmake", "-S", ".", "-B", str(build_dir), "-G", "Ninja",
                         "-DCMAKE_BUILD_TYPE=Release"], 300)
        if code:
            sys.exit(out)
    # The unmutated tree must build, and the tests the chosen mutants use
    # pass: keywatch-log's alone when every chosen mutant is in it.
    scopes = {scope_of(file) for number, file, *_ in mutants if number in chosen}
    targets, tests = scopes.pop() if len(scopes) == 1 else (None, None)
    code, out = build(build_dir, 3600, targets)
    if code:
        sys.exit("the unmutated tree does not build:\n" + out)
    code, failed = test(build_dir, tests)
    if code:
        sys.exit(f"the unmutated suite fails ({', '.join(failed)}): fix that first")

    # Results are written as they come, so that an interrupted run keeps
    # them; --append adds to an earlier run's file.
    if not (args.append and out_path.exists()):
        out_path.write_text("#\tstatus\tfailing tests\tseconds\tmutant\n")
    counts = {}
    for number, file, text, replacement, line in mutants:
        if number not in chosen:
            continue
        path = ROOT / file
        original = path.read_text()
        start = time.time()
        if original.count(text) != 1:
            status, failed = "missing", []
        else:
            path.write_text(original.replace(text, replacement, 1))
            its_targets, its_tests = scope_of(file)
            try:
                code, out = build(build_dir, targets=its_targets)
                if code:
                    status, failed = "no-build", []
                else:
                    code, failed = test(build_dir, its_tests)
                    status = "caught" if code else "survived"
            finally:
                path.write_text(original)
        seconds = time.time() - start
        counts[status] = counts.get(status, 0) + 1
        print(f"{number:4} {status:9} {seconds:5.1f}s {line}  {' '.join(failed[:3])}", flush=True)
        with out_path.open("a") as out:
            out.write(f"{number}\t{status}\t{','.join(failed)}\t{seconds:.1f}\t{line}\n")
    build(build_dir, targets=targets)  # leave the build matching the restored sources
    print("mutate: " + ", ".join(f"{n} {s}" for s, n in sorted(counts.items())) +
          f"; results in {out_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
