#!/usr/bin/env python3
"""Line and branch coverage of the library (src/) and the tool (tools/).

Reads the merged profile of a clang source-based coverage run
(-fprofile-instr-generate -fcoverage-mapping), asks llvm-cov for the
per-line and per-branch counts of every binary in the build folder, and
prints the figures per file, per layer of src/ and for src/ and tools/ as a
whole. A branch counts twice, once for each side; a side taken in any
instantiation of a template counts as taken. It also writes llvm-cov's HTML
report into the build folder.

Code that no test can reach is marked in the source, each mark with the
reason after a colon:
    LCOV_EXCL_BR_LINE: why   the branches on this line are not counted
    LCOV_EXCL_LINE: why      neither the line nor its branches are counted
    LCOV_EXCL_START: why     ... up to a line with LCOV_EXCL_STOP
    LCOV_EXCL_BR_START: why  branches only, up to LCOV_EXCL_BR_STOP
The figures printed here honour the marks; llvm-cov's HTML shows the raw
counts. A mark without a reason is an error.

usage: coverage_report.py LLVM_COV PROFDATA BUILD_DIR SOURCE_DIR
"""

import json
import os
import re
import subprocess
import sys
from collections import defaultdict

SOURCE_FOLDERS = ("src", "tools")
IGNORED = r"(/tests/|/fuzz/|/bench/|/examples/|googletest|/build[^/]*/|^/usr/)"
MARK = re.compile(r"LCOV_EXCL_(BR_LINE|LINE|BR_START|BR_STOP|START|STOP)(.*)")


def coverage_binaries(build_dir):
    """Executables and shared libraries that carry a coverage mapping."""
    found = []
    for root, _, files in os.walk(build_dir):
        for name in files:
            path = os.path.join(root, name)
            if os.path.islink(path) or not os.access(path, os.X_OK):
                continue
            with open(path, "rb") as f:
                if f.read(4) != b"\x7fELF":
                    continue
                if b"__llvm_covmap" in f.read():
                    found.append(path)
    return sorted(found)


def exclusions(path, problems):
    """Line numbers whose lines, and whose branches, are not counted."""
    lines, branches = set(), set()
    region = None  # "START" or "BR_START" while inside a region
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, text in enumerate(f, 1):
            match = MARK.search(text)
            kind, rest = match.groups() if match else (None, "")
            if kind is not None and not kind.endswith("STOP") and not re.match(r":\s*\S", rest):
                problems.append(f"{path}:{number}: LCOV_EXCL_{kind} without a reason")
            if kind in ("START", "BR_START"):
                region = kind
            if region is not None or kind is not None:
                branches.add(number)
            if region == "START" or kind in ("LINE", "START", "STOP"):
                lines.add(number)
            if kind in ("STOP", "BR_STOP"):
                region = None
    return lines, branches


def library_file(path, source_dir):
    """The path relative to the source folder, or None outside src/ and tools/."""
    relative = os.path.relpath(os.path.realpath(path), source_dir)
    return relative if relative.split(os.sep)[0] in SOURCE_FOLDERS else None


def read_lines(lcov, source_dir):
    """Per file: {line: hits}, every instantiation of a template merged."""
    files = defaultdict(dict)
    current = None
    for row in lcov.splitlines():
        if row.startswith("SF:"):
            current = library_file(row[3:], source_dir)
        elif current is not None and row.startswith("DA:"):
            line, hits = (int(x) for x in row[3:].split(",")[:2])
            files[current][line] = max(files[current].get(line, 0), hits)
    return files


def read_branches(export, source_dir):
    """Per file: [(line, true taken, false taken)], one entry per branch in
    the source: the instantiations of a template are added up, so that a
    side taken in any of them counts."""
    files = {}
    for data in json.loads(export)["data"]:
        for entry in data["files"]:
            name = library_file(entry["filename"], source_dir)
            if name is None:
                continue
            merged = defaultdict(lambda: [0, 0])
            for branch in entry["branches"]:
                taken = merged[tuple(branch[0:4])]
                taken[0] += branch[4]
                taken[1] += branch[5]
            files[name] = [(key[0], t, f) for key, (t, f) in merged.items()]
    return files


def figures(lines, branches, excluded):
    """Lines, lines hit, branch sides, branch sides taken."""
    excluded_lines, excluded_branches = excluded
    lines = {n: h for n, h in lines.items() if n not in excluded_lines}
    branches = [(t, f) for n, t, f in branches if n not in excluded_branches]
    return (len(lines), sum(1 for h in lines.values() if h > 0),
            2 * len(branches), sum((t > 0) + (f > 0) for t, f in branches))


def percent(hit, total):
    return f"{100.0 * hit / total:6.2f} %" if total else "     - "


def row(name, counts):
    lines, lines_hit, branches, branches_hit = counts
    return (f"{name:<52} {lines_hit:>6}/{lines:<6} {percent(lines_hit, lines)}"
            f"   {branches_hit:>5}/{branches:<5} {percent(branches_hit, branches)}")


def add(a, b):
    return tuple(x + y for x, y in zip(a, b))


def main():
    llvm_cov, profdata, build_dir, source_dir = sys.argv[1:5]
    source_dir = os.path.realpath(source_dir)
    binaries = coverage_binaries(build_dir)
    if not binaries:
        sys.exit("no binaries with a coverage mapping in " + build_dir)
    objects = [binaries[0]] + [a for b in binaries[1:] for a in ("-object", b)]
    common = ["-instr-profile", profdata, "-ignore-filename-regex", IGNORED]
    def export(form):
        return subprocess.run([llvm_cov, "export", "-format=" + form] + common + objects,
                              check=True, capture_output=True, text=True).stdout

    lines = read_lines(export("lcov"), source_dir)
    branches = read_branches(export("text"), source_dir)
    html = os.path.join(build_dir, "coverage-html")
    subprocess.run([llvm_cov, "show", "-format=html", "-show-branches=count",
                    "-output-dir", html] + common + objects, check=True)

    problems = []
    groups = defaultdict(lambda: (0, 0, 0, 0))
    print(f"{'file':<52} {'lines':>13} {'':8}   {'branches':>11}")
    for name in sorted(set(lines) | set(branches)):
        excluded = exclusions(os.path.join(source_dir, name), problems)
        counts = figures(lines.get(name, {}), branches.get(name, []), excluded)
        print(row(name, counts))
        parts = name.split(os.sep)
        groups[parts[0] + "/"] = add(groups[parts[0] + "/"], counts)
        if parts[0] == "src" and len(parts) > 2:
            layer = os.sep.join(parts[:2]) + "/"
            groups[layer] = add(groups[layer], counts)
    print()
    for name in sorted(groups, key=lambda g: (g.count("/"), g)):
        print(row(name, groups[name]))
    print(row("src/ + tools/", add(groups["src/"], groups["tools/"])))
    print(f"\nHTML report (raw counts, marks not applied): {html}/index.html")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
