#!/usr/bin/env python3
"""Checks that the layers under src/ include only themselves and the layers
they declare: each src/<layer>/CMakeLists.txt names its lower layers in the
USES clause of faultkit_add_layer, and every #include "<folder>/..." in the
layer must name the layer itself or one of those (directly or through them).
Prints each violation; exit status 1 when there is one."""
import os
import re
import sys

src = sys.argv[1]
uses_clause = re.compile(r"faultkit_add_layer\((\w+)[^)]*?USES([^)]*)\)", re.S)
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')

declared = {}
for layer in sorted(os.listdir(src)):
    cmake = os.path.join(src, layer, "CMakeLists.txt")
    if os.path.isfile(cmake):
        match = uses_clause.search(open(cmake).read())
        declared[layer] = set(match.group(2).split()) if match else set()


def reachable(layer, seen=None):
    seen = set() if seen is None else seen
    for lower in declared.get(layer, ()):
        if lower not in seen:
            seen.add(lower)
            reachable(lower, seen)
    return seen


problems = 0
for layer in declared:
    allowed = reachable(layer) | {layer}
    for folder, _, files in os.walk(os.path.join(src, layer)):
        for name in files:
            path = os.path.join(folder, name)
            if not name.endswith((".h", ".cpp")):
                continue
            for number, line in enumerate(open(path, errors="replace"), 1):
                match = include.match(line)
                if match and match.group(1) in declared and match.group(1) not in allowed:
                    print(f"{path}:{number}: layer '{layer}' includes '{match.group(1)}', "
                          f"which it does not use (uses: {', '.join(sorted(allowed - {layer}))})")
                    problems += 1
print(f"{len(declared)} layers checked, {problems} upward or undeclared includes")
sys.exit(1 if problems else 0)
