#!/usr/bin/env python3
"""Checks that the program's includes only point down the layers.

Layers, top to bottom: run/ (the run: main flow, sections, items, includes),
actions/ (one module per item kind) and report/ (the report of many
workstations' run logs; neither includes the other), script/ and engine/
(side by side: the script language and the engine binding; neither includes
the other), core/ (what everything uses). A module (a header and its source) may include its
own layer's modules and the layers below; no two modules may include each
other, directly or through others. Prints every wrong arrow; exit code 1 when
there is one.
"""
import os
import re
import sys

LAYERS = {"run": 3, "actions": 2, "report": 2, "script": 1, "engine": 1, "core": 0}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([A-Za-z0-9_]+)\.h"', re.M)


def modules(src):
    found = {}
    for layer in LAYERS:
        folder = os.path.join(src, layer)
        for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
            stem, ext = os.path.splitext(name)
            if ext in (".h", ".cpp"):
                found.setdefault(f"{layer}/{stem}", []).append(os.path.join(folder, name))
    return found


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    mods = modules(src)
    edges = {m: set() for m in mods}
    wrong = []
    for module, files in mods.items():
        layer = module.split("/")[0]
        for path in files:
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for target_layer, target in INCLUDE.findall(text):
                target_module = f"{target_layer}/{target}"
                if target_module == module:
                    continue
                if target_layer not in LAYERS:
                    wrong.append(f"{path}: includes {target_module}.h, which belongs to no layer")
                    continue
                same = target_layer == layer
                if not same and LAYERS[target_layer] >= LAYERS[layer]:
                    wrong.append(f"{path}: {layer}/ must not include {target_module}.h")
                if same or LAYERS[target_layer] < LAYERS[layer]:
                    edges[module].add(target_module)
    # Modules that reach themselves through their includes.
    state = {}
    stack = []

    def visit(module):
        state[module] = 1
        stack.append(module)
        for target in sorted(edges.get(module, ())):
            if state.get(target) == 1:
                cycle = stack[stack.index(target):] + [target]
                wrong.append("modules include each other: " + " -> ".join(cycle))
            elif target not in state:
                visit(target)
        stack.pop()
        state[module] = 2

    for module in sorted(edges):
        if module not in state:
            visit(module)
    for line in wrong:
        print(line)
    if wrong:
        return 1
    print(f"layers: {len(mods)} modules, {sum(len(e) for e in edges.values())} includes, all pointing down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
