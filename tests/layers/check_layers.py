#!/usr/bin/env python3
"""Checks the layers under src/. A layer is a folder whose CMakeLists.txt calls
faultkit_add_layer(NAME ... USES lower...); layers may nest (src/text/encoding
is layer text_encoding), and a file belongs to the deepest layer folder that
holds it. Three rules:
  - the declared uses form no cycle;
  - every #include "<path>" that names a folder of src/ names a file of a
    layer, and that layer is the includer's own or one it uses, directly or
    through the layers it uses;
  - every name after USES is a layer.
Prints the layers lowest first with what each uses and what it includes, then
each violation; exit status 1 when there is one."""
import os
import re
import sys

src = sys.argv[1]
layer_call = re.compile(r"faultkit_add_layer\((\w+)([^)]*)\)", re.S)
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

folder_of = {}  # layer name -> folder relative to src
uses = {}  # layer name -> declared lower layers
for folder, _, files in os.walk(src):
    if "CMakeLists.txt" in files:
        cmake = re.sub(r"#[^\n]*", "", open(os.path.join(folder, "CMakeLists.txt")).read())
        match = layer_call.search(cmake)
        if match:
            name, arguments = match.groups()
            folder_of[name] = os.path.relpath(folder, src).replace(os.sep, "/")
            uses[name] = arguments.split("USES", 1)[1].split() if "USES" in arguments else []
layer_at = {folder: name for name, folder in folder_of.items()}
top_folders = {folder.split("/")[0] for folder in layer_at}


def owning_layer(path):
    """The layer of the deepest layer folder holding `path` (relative to src), or None."""
    parts = path.split("/")[:-1]
    for depth in range(len(parts), 0, -1):
        name = layer_at.get("/".join(parts[:depth]))
        if name:
            return name
    return None


problems = []
for name in sorted(uses):
    for lower in uses[name]:
        if lower not in uses:
            problems.append(f"layer '{name}' uses '{lower}', which is no layer")
            uses[name] = [used for used in uses[name] if used in uses]

# Lowest first; a layer that cannot be placed lies on a cycle.
order, placed = [], set()
while len(order) < len(uses):
    ready = sorted(n for n in uses if n not in placed and placed.issuperset(uses[n]))
    if not ready:
        break
    order += ready
    placed.update(ready)


def find_cycle(start):
    """A cycle of declared uses through layers that could not be placed."""
    path, at = [start], start
    while True:
        at = next(lower for lower in uses[at] if lower not in placed)
        if at in path:
            return path[path.index(at):] + [at]
        path.append(at)


if len(order) < len(uses):
    cycle = find_cycle(min(n for n in uses if n not in placed))
    problems.append("cycle among declared uses: " + " -> ".join(cycle))

reach = {}


def reachable(name, seen=()):
    if name not in reach:
        below = set()
        for lower in uses[name]:
            if lower not in seen:
                below |= {lower} | reachable(lower, seen + (name,))
        reach[name] = below
    return reach[name]


includes = {name: set() for name in uses}
for folder, _, files in os.walk(src):
    for file_name in sorted(files):
        if not file_name.endswith((".h", ".cpp", ".c")):
            continue
        path = os.path.relpath(os.path.join(folder, file_name), src).replace(os.sep, "/")
        layer = owning_layer(path)
        if layer is None:
            continue
        for number, line in enumerate(open(os.path.join(src, path), errors="replace"), 1):
            match = include.match(line)
            if not match or match.group(1).split("/")[0] not in top_folders:
                continue
            target = owning_layer(match.group(1))
            if target is None:
                problems.append(f"{path}:{number}: includes '{match.group(1)}', "
                                f"which is in no layer")
            elif target != layer and target not in reachable(layer):
                problems.append(f"{path}:{number}: layer '{layer}' includes '{target}', "
                                f"which it does not use (uses: "
                                f"{', '.join(sorted(reachable(layer))) or 'nothing'})")
            elif target != layer:
                includes[layer].add(target)

for name in order + sorted(set(uses) - set(order)):
    print(f"{folder_of[name] + '/':22} {name:16} uses {', '.join(uses[name]) or '-'}"
          f"; includes {', '.join(sorted(includes[name])) or '-'}")
for problem in problems:
    print(problem)
print(f"{len(uses)} layers checked, {len(problems)} problems")
sys.exit(1 if problems else 0)
