#!/usr/bin/env python3
"""Checks that a built faultkit library exports exactly the expected names.

usage: check_exports.py elf|pe TOOL LIBRARY EXPECTED_FILE

elf: TOOL is nm, read with -D --defined-only.
pe:  TOOL is objdump, read with -p (the export name table).
Itanium-mangled C++ names (_Z...) are demangled with c++filt before they
are compared, so the expected file lists their signatures; other names,
MSVC-decorated ones included, are compared as they stand.
"""
import re
import subprocess
import sys


def elf_names(tool, library):
    out = subprocess.run([tool, "-D", "--defined-only", library],
                         check=True, capture_output=True, text=True).stdout
    names = []
    for line in out.splitlines():
        parts = line.split()
        # Absolute symbols (version nodes) carry no code or data.
        if len(parts) == 3 and parts[1] not in ("A",):
            names.append(parts[2].split("@")[0])
    return names


def pe_names(tool, library):
    out = subprocess.run([tool, "-p", library],
                         check=True, capture_output=True, text=True).stdout
    section = out.split("[Ordinal/Name Pointer] Table", 1)
    if len(section) != 2:
        return []
    names = []
    for line in section[1].splitlines():
        match = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
        if match:
            names.append(match.group(1))
        elif names and not line.strip():
            break
    return names


def demangle(names):
    itanium = [name for name in names if name.startswith("_Z")]
    if not itanium:
        return names
    out = subprocess.run(["c++filt"], input="\n".join(itanium), check=True,
                         capture_output=True, text=True).stdout
    demangled = dict(zip(itanium, out.splitlines()))
    return [demangled.get(name, name) for name in names]


def main():
    mode, tool, library, expected_file = sys.argv[1:5]
    names = elf_names(tool, library) if mode == "elf" else pe_names(tool, library)
    found = demangle(names)
    duplicates = sorted({name for name in found if found.count(name) > 1})
    found = set(found)
    with open(expected_file) as handle:
        expected = {line.strip() for line in handle
                    if line.strip() and not line.startswith("#")}
    missing = sorted(expected - found)
    extra = sorted(found - expected)
    for name in missing:
        print("missing export:", name)
    for name in extra:
        print("unexpected export:", name)
    for name in duplicates:
        print("exported twice:", name)
    print(f"{len(found)} exports found, {len(expected)} expected")
    return 1 if missing or extra or duplicates else 0


if __name__ == "__main__":
    sys.exit(main())
