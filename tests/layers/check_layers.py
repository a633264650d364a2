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
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
folder_of, uses, problems = {}, {}, []  # layer name -> folder under src, declared lower layers
for folder, _, files in os.walk(src):
    if "CMakeLists.txt" in files:
        cmake = re.sub(r"#[^\n]*", "", open(os.path.join(folder, "CMakeLists.txt")).read())
        match = re.search(r"faultkit_add_layer\((\w+)([^)]*)\)", cmake, re.S)
        if match:
            name, arguments = match.groups()
            folder_of[name] = os.path.relpath(folder, src).replace(os.sep, "/")
            uses[name] = arguments.split("USES", 1)[1].split() if "USES" in arguments else []
for name in sorted(uses):
    problems += [f"layer '{name}' uses '{lower}', which is no layer" for lower in uses[name]
                 if lower not in uses]
    uses[name] = [lower for lower in uses[name] if lower in uses]
layer_at = {folder: name for name, folder in folder_of.items()}
top_folders = {folder.split("/")[0] for folder in layer_at}


def owning_layer(path):
    """The layer of the deepest layer folder holding `path` (relative to src), or None."""
    parts = path.split("/")[:-1]
    return next((layer_at["/".join(parts[:depth])] for depth in range(len(parts), 0, -1)
                 if "/".join(parts[:depth]) in layer_at), None)


# Lowest first; the layers that cannot be placed lie on or above a cycle.
order = []
while ready := sorted(n for n in uses if n not in order and set(uses[n]) <= set(order)):
    order += ready
if len(order) < len(uses):
    path = [min(n for n in uses if n not in order)]
    while path.count(path[-1]) < 2:
        path.append(next(lower for lower in uses[path[-1]] if lower not in order))
    problems.append("cycle among declared uses: " + " -> ".join(path[path.index(path[-1]):]))

reach = {}


def reachable(name):
    """The layers `name` uses, directly or through others."""
    if name not in reach:
        reach[name] = set()  # a cycle ends here
        reach[name] = set(uses[name]).union(*(reachable(lower) for lower in uses[name]))
    return reach[name]


includes = {name: set() for name in uses}
for folder, _, files in os.walk(src):
    for file_name in sorted(f for f in files if f.endswith((".h", ".cpp", ".c"))):
        path = os.path.relpath(os.path.join(folder, file_name), src).replace(os.sep, "/")
        layer = owning_layer(path)
        for number, line in enumerate(open(os.path.join(src, path), errors="replace"), 1):
            match = include.match(line)
            if layer is None or not match or match.group(1).split("/")[0] not in top_folders:
                continue
            target = owning_layer(match.group(1))
            if target is None:
                problems.append(f"{path}:{number}: includes '{match.group(1)}', which is in no layer")
            elif target != layer and target not in reachable(layer):
                problems.append(f"{path}:{number}: layer '{layer}' includes '{target}', which it "
                                f"does not use (uses: {', '.join(sorted(reachable(layer))) or 'nothing'})")
            elif target != layer:
                includes[layer].add(target)

for name in order + sorted(set(uses) - set(order)):
    print(f"{folder_of[name] + '/':22} {name:16} uses {', '.join(uses[name]) or '-'}"
          f"; includes {', '.join(sorted(includes[name])) or '-'}")
print("\n".join(problems + [f"{len(uses)} layers checked, {len(problems)} problems"]))
sys.exit(1 if problems else 0)
