#!/usr/bin/env python3
"""Checks that the program's includes only point down the layers.

Layers, top to bottom (the same rank: side by side, neither includes the
other): run/; actions/ and report/; machine/; script/, engine/ and release/;
core/. A module (a header and its source, directly in its layer's folder) may
include its own layer's modules and the layers below; no two modules may
include each other, directly or through others.

Every folder under src/ must be a layer and hold no folders of its own, and
there must be modules at all. Includes are read in every form the compiler
takes ("core/x.h", <core/x.h>, "../core/x.h", "x.h"). With --deps <build dir>
the compiler's own dependency files (*.d) are read as well, so that an include
the text does not show (a macro, a header of another name) is still judged.
Prints every wrong arrow; exit code 1 when there is one.
"""
import argparse
import os
import re
import sys

LAYERS = {"run": 4, "actions": 3, "report": 3, "machine": 2, "script": 1, "engine": 1, "release": 1, "core": 0}
SOURCE_EXTENSIONS = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def find_modules(src, wrong):
    found = {}
    for entry in sorted(os.listdir(src)):
        path = os.path.join(src, entry)
        if not os.path.isdir(path):
            if entry.endswith(SOURCE_EXTENSIONS):
                wrong.append(f"{path}: a source file outside every layer")
            continue
        if entry not in LAYERS:
            wrong.append(f"{path}: folder {entry}/ is no layer (known: {', '.join(sorted(LAYERS))})")
            continue
        for name in sorted(os.listdir(path)):
            inner = os.path.join(path, name)
            if os.path.isdir(inner):
                wrong.append(f"{inner}: a folder inside layer {entry}/; modules sit directly in their layer")
                continue
            stem, ext = os.path.splitext(name)
            if ext in SOURCE_EXTENSIONS:
                found.setdefault(f"{entry}/{stem}", []).append(inner)
    return found


def module_of(path, src):
    """The module a file below src/ belongs to ("core/x"), or None for files elsewhere."""
    relative = os.path.relpath(os.path.normpath(path), src)
    if relative.startswith(".."):
        return None
    parts = relative.replace(os.sep, "/").split("/")
    stem = os.path.splitext(parts[-1])[0]
    return "/".join(parts[:-1] + [stem])


def included_module(including_file, kind, name, src):
    """The module an include names, or None when it names nothing of the program's."""
    name = name.strip()
    candidates = []
    if kind == '"':
        candidates.append(os.path.join(os.path.dirname(including_file), name))
    candidates.append(os.path.join(src, name))
    for candidate in candidates:
        if os.path.exists(candidate):
            return module_of(candidate, src)
    # A path the compiler would look for in src/ that is not there still names a layer.
    first = name.replace("\\", "/").split("/")[0]
    if first in LAYERS or first == "..":
        resolved = os.path.normpath(candidates[0])
        return module_of(resolved, src)
    return None


def judge(module, target, edges, wrong, where):
    if target is None or target == module:
        return
    layer, target_layer = module.split("/")[0], target.split("/")[0]
    if "/" in target[len(target_layer) + 1:] or target_layer not in LAYERS:
        wrong.append(f"{where}: includes {target}.h, which belongs to no layer")
        return
    same = target_layer == layer
    if not same and LAYERS[target_layer] >= LAYERS[layer]:
        wrong.append(f"{where}: {layer}/ must not include {target}.h")
    elif module in edges:
        edges[module].add(target)


def read_text_includes(mods, src, edges, wrong):
    for module, files in mods.items():
        for path in files:
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for kind, name in INCLUDE.findall(text):
                judge(module, included_module(path, kind, name, src), edges, wrong, path)


def read_dependency_files(build, mods, src, edges, wrong):
    """The compiler's dependency lists of the program's sources: every file below
    src/ that a translation unit read, including what came through other headers."""
    count = 0
    for root, _, names in os.walk(build):
        for name in names:
            if not name.endswith(".d"):
                continue
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                text = f.read().replace("\\\n", " ")
            _, _, deps = text.partition(": ")
            files = deps.split()
            if not files:
                continue
            module = module_of(files[0], src)
            if module not in mods:
                continue  # a test or fixture: not the program's
            count += 1
            for dep in files[1:]:
                target = module_of(dep, src)
                if target is not None and target.split("/")[0] == module.split("/")[0]:
                    continue  # the same layer: direct includes judge cycles
                judge(module, target, {}, wrong, files[0])
    return count


def find_cycles(edges, wrong):
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


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("src", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "src"))
    parser.add_argument("--deps", help="a build directory whose compiler dependency files (*.d) are read too")
    args = parser.parse_args(argv)
    src = os.path.abspath(args.src)
    wrong = []
    if not os.path.isdir(src):
        print(f"{src}: no such folder")
        return 1
    mods = find_modules(src, wrong)
    if not mods:
        wrong.append(f"{src}: no module found in any layer")
    edges = {m: set() for m in mods}
    read_text_includes(mods, src, edges, wrong)
    units = 0
    if args.deps:
        units = read_dependency_files(args.deps, mods, src, edges, wrong)
        if units == 0:
            wrong.append(f"{args.deps}: no dependency file of the program's sources")
    find_cycles(edges, wrong)
    for line in wrong:
        print(line)
    if wrong:
        return 1
    deps = f", {units} compiled sources' dependencies" if args.deps else ""
    print(f"layers: {len(mods)} modules, {sum(len(e) for e in edges.values())} includes{deps}, all pointing down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
