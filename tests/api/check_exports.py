#!/usr/bin/env python3
"""Checks that a built faultkit library exports exactly the expected names.

usage: check_exports.py elf|pe TOOL LIBRARY EXPECTED_FILE

elf: TOOL is nm, read with -D --defined-only (absolute symbols, the version
nodes, left out). pe: TOOL is objdump, read with -p (the export name table).
Itanium-mangled C++ names (_Z...) are demangled with c++filt, so the expected
file lists their signatures; MSVC-decorated names are compared as they stand.
"""
import re
import subprocess
import sys


def output(*command, data=None):
    return subprocess.run(command, input=data, check=True, capture_output=True, text=True).stdout


def exported_names(mode, tool, library):
    if mode == "elf":
        return [parts[2].split("@")[0] for parts in map(str.split, output(
            tool, "-D", "--defined-only", library).splitlines()) if len(parts) == 3 and parts[1] != "A"]
    table = output(tool, "-p", library).partition("[Ordinal/Name Pointer] Table")[2]
    return re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table.split("\n\n")[0], re.M)


def main():
    mode, tool, library, expected_file = sys.argv[1:5]
    names = exported_names(mode, tool, library)
    itanium = [name for name in names if name.startswith("_Z")]
    demangled = dict(zip(itanium, output("c++filt", data="\n".join(itanium)).splitlines())) if itanium else {}
    found = [demangled.get(name, name) for name in names]
    with open(expected_file) as handle:
        expected = {line.strip() for line in handle if line.strip() and not line.startswith("#")}
    problems = [f"missing export: {name}" for name in sorted(expected - set(found))]
    problems += [f"unexpected export: {name}" for name in sorted(set(found) - expected)]
    problems += [f"exported twice: {name}" for name in sorted({n for n in found if found.count(n) > 1})]
    print("\n".join(problems + [f"{len(set(found))} exports found, {len(expected)} expected"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
