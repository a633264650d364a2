#!/usr/bin/env python3
"""Line and branch coverage of the library (src/) and the tool (tools/).

Reads the merged profile of a clang source-based coverage run
(-fprofile-instr-generate -fcoverage-mapping), asks llvm-cov for the
per-line and per-branch counts of every binary in the build folder, and
prints the figures per file, per layer of src/ and for src/ and tools/ as a
whole. A branch counts twice, once for each side; a side taken in any
instantiation of a template counts as taken. A condition the compiler
folded to a constant (an `if constexpr`, a test of a template constant) is
no branch in the code that runs: like llvm-cov's own report, the figures
leave it out. It also writes llvm-cov's HTML report into the build folder.

Code that no test can reach is listed beside this script, in
coverage_unreachable.txt, not marked in the source. Each entry names a file,
what is left out (its lines, or only their branches), a piece of the text of
a line found exactly once in the file (the anchor), optionally the span as
first..last offsets from the anchor, and the reason:
    src/a.cpp | branches | if (fd < 0) { | why        (the anchor line only)
    src/a.cpp | lines 0..3 | if (size <= 0) { | why   (it and the 3 lines after)
    src/a.cpp | lines 1..3 | int Open() { | why       (the 3 lines after the anchor)
    src/a.cpp | lines -1 | } else { | why           (the line before the anchor)
The report prints the figures twice: raw, every line and branch counted,
and with the listed lines left out. An entry whose text is not found once,
or that gives no reason, is an error.

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
UNREACHABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "coverage_unreachable.txt")


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


def unreachable(source_dir, problems):
    """Per file: (lines, branch lines) that the list leaves out."""
    excluded = defaultdict(lambda: (set(), set()))
    with open(UNREACHABLE, encoding="utf-8") as listing:
        for number, entry in enumerate(listing, 1):
            entry = entry.strip()
            if not entry or entry.startswith("#"):
                continue
            where = f"{UNREACHABLE}:{number}"
            try:
                path, kind, rest = entry.split(" | ", 2)
                anchor, reason = rest.rsplit(" | ", 1)
                kind, *span = kind.split()
                offsets = [int(offset) for offset in (span or ["0"])[0].split("..")]
                first, last = offsets[0], offsets[-1]
            except ValueError:
                problems.append(f"{where}: not 'file | lines|branches [first[..last]] | text | reason'")
                continue
            with open(os.path.join(source_dir, path), encoding="utf-8") as f:
                found = [n for n, text in enumerate(f, 1) if anchor in text]
            if len(found) != 1 or kind not in ("lines", "branches") or not reason.strip():
                problems.append(f"{where}: '{anchor}' stands {len(found)} times in {path}, "
                                f"or the kind or the reason is missing")
                continue
            lines, branches = excluded[path]
            span = range(found[0] + first, found[0] + last + 1)
            branches.update(span)
            if kind == "lines":
                lines.update(span)
    return excluded


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


BRANCH = re.compile(r"Branch \((\d+):(\d+)\): \[(.*)\]")


def folded_branches(show, source_dir):
    """Per file: the (line, column) of the conditions that llvm-cov's text
    report shows as "Folded - Ignored" in every instantiation."""
    folded, kept = defaultdict(set), defaultdict(set)
    current = None
    for row in show.splitlines():
        if row.startswith("/") and row.endswith(":"):
            current = library_file(row[:-1], source_dir)
            continue
        branch = BRANCH.search(row)
        if current is not None and branch:
            where = (int(branch[1]), int(branch[2]))
            (folded if branch[3] == "Folded - Ignored" else kept)[current].add(where)
    return defaultdict(set, {name: where - kept[name] for name, where in folded.items()})


def read_branches(export, folded, source_dir):
    """Per file: [(line, true taken, false taken)], one entry per branch in
    the source, folded conditions left out: the instantiations of a template
    are added up, so that a side taken in any of them counts."""
    files = {}
    for data in json.loads(export)["data"]:
        for entry in data["files"]:
            name = library_file(entry["filename"], source_dir)
            if name is None:
                continue
            merged = defaultdict(lambda: [0, 0])
            for branch in entry["branches"]:
                if tuple(branch[0:2]) in folded[name]:
                    continue
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
    def show(form, *options):
        return subprocess.run([llvm_cov, "show", "-format=" + form, "-show-branches=count",
                               *options] + common + objects,
                              check=True, capture_output=True, text=True).stdout

    folded = folded_branches(show("text"), source_dir)
    branches = read_branches(export("text"), folded, source_dir)
    html = os.path.join(build_dir, "coverage-html")
    show("html", "-output-dir", html)

    problems = []
    excluded = unreachable(source_dir, problems)
    groups = defaultdict(lambda: (0, 0, 0, 0))
    raw_groups = defaultdict(lambda: (0, 0, 0, 0))
    print(f"{'file (listed lines left out)':<52} {'lines':>13} {'':8}   {'branches':>11}")
    for name in sorted(set(lines) | set(branches)):
        counts = figures(lines.get(name, {}), branches.get(name, []), excluded[name])
        raw = figures(lines.get(name, {}), branches.get(name, []), (set(), set()))
        print(row(name, counts))
        parts = name.split(os.sep)
        for key in [parts[0] + "/"] + ([os.sep.join(parts[:2]) + "/"]
                                       if parts[0] == "src" and len(parts) > 2 else []):
            groups[key] = add(groups[key], counts)
            raw_groups[key] = add(raw_groups[key], raw)
    for title, table in (("listed lines left out", groups), ("raw: every line counted", raw_groups)):
        print(f"\n{title}")
        for name in sorted(table, key=lambda g: (g.count("/"), g)):
            print(row(name, table[name]))
        print(row("src/ + tools/", add(table["src/"], table["tools/"])))
    print(f"\nconditions folded to constants, not counted: "
          f"{sum(len(where) for name, where in folded.items() if name.startswith('src'))} in src/")
    print(f"HTML report (raw counts): {html}/index.html")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
