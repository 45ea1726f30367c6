#!/usr/bin/env python3
"""Checks that the source folders include each other only down the stack.

Every #include "folder/..." in a layer folder must name the folder itself or
one the folder is declared to build on (directly or through the folders it
builds on). An include that runs the other way is reported with its file and
line, and so is any cycle between folders, so the libraries stay a one-way
stack. The declared order mirrors the target_link_libraries of each folder's
CMakeLists.txt.

    check_layers.py [ROOT]      check the tree at ROOT (default: this repo)
    check_layers.py --self-test check that the checker catches what it should
"""

import os
import re
import sys
import tempfile

# Each folder and the folders it builds on directly, lowest first.
LAYERS = {
    "base": [],
    "midi": ["base"],
    "engine": ["midi"],
    "styles": ["engine"],
    "lyrics": ["midi"],
    "playback": ["lyrics"],
    "app": ["styles", "playback"],
    "cli": ["app"],
    "gui": ["app"],
    # The singing plug-in links no code of the host; it reads the shared
    # VST 2 interface header.
    "voice": ["base"],
}

# Layers a folder reads only headers of (nothing to link): the singing plug-in
# takes the VST 2 interface from base/ but no code.
HEADERS_ONLY = {"voice": {"base"}}

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([A-Za-z0-9_]+)/')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".inc")


def below(layers):
    """Every folder each folder may include, itself included."""
    reach = {}

    def visit(folder, path):
        if folder in path:
            raise ValueError("declared layers form a cycle: " + " -> ".join(path + [folder]))
        if folder not in reach:
            found = {folder}
            for dep in layers[folder]:
                found |= visit(dep, path + [folder])
            reach[folder] = found
        return reach[folder]

    for folder in layers:
        visit(folder, [])
    return reach


def includes(root, layers):
    """(folder, included folder, file, line number, line) for every include
    of another layer folder."""
    for folder in sorted(layers):
        top = os.path.join(root, folder)
        for dirpath, dirnames, filenames in os.walk(top):
            dirnames.sort()
            for name in sorted(filenames):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and m.group(1) in layers and m.group(1) != folder:
                            yield folder, m.group(1), os.path.relpath(path, root), number, line.strip()


def find_cycle(graph):
    """One cycle of folders in graph (folder -> set of folders), or None."""
    state = {}

    def visit(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, stack)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node, [])
            if found:
                return found
    return None


LINK = re.compile(r"target_link_libraries\(\s*\S+\s+(?:PUBLIC|PRIVATE|INTERFACE)\s+([^)]*)\)")


def linked(root, folder, layers):
    """The layer folders a folder's CMakeLists.txt links (harmolin_<folder>),
    or None when it has none."""
    path = os.path.join(root, folder, "CMakeLists.txt")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        text = f.read()
    found = set()
    for m in LINK.finditer(text):
        for name in re.findall(r"harmolin_([a-z]+)\b", m.group(1)):
            if name in layers and name != folder:
                found.add(name)
    return found


def check(root, layers=LAYERS, out=sys.stdout):
    """Prints every offending include; returns the number of problems."""
    try:
        allowed = below(layers)
    except ValueError as e:
        print(e, file=out)
        return 1
    problems = 0
    for folder in sorted(layers):
        links = linked(root, folder, layers)
        if links is not None and links | HEADERS_ONLY.get(folder, set()) != set(layers[folder]):
            print(f"{folder}/CMakeLists.txt links {sorted(links)} but the declared layers say "
                  f"{sorted(layers[folder])}", file=out)
            problems += 1
    graph = {}
    first = {}
    for folder, target, path, number, line in includes(root, layers):
        graph.setdefault(folder, set()).add(target)
        first.setdefault((folder, target), f"{path}:{number}")
        if target not in allowed[folder]:
            print(f"{path}:{number}: {line}: {folder}/ may not include {target}/ "
                  f"(it builds on {', '.join(sorted(allowed[folder] - {folder})) or 'nothing'})", file=out)
            problems += 1
    cycle = find_cycle(graph)
    if cycle:
        steps = [f"{a}/ -> {b}/ ({first[(a, b)]})" for a, b in zip(cycle, cycle[1:])]
        print("folders include each other in a cycle: " + "; ".join(steps), file=out)
        problems += 1
    return problems


def self_test():
    """The checker passes a clean tree, and reports an upward include, a
    sideways one and a cycle with the offending file and line."""
    import io

    layers = {"low": [], "mid": ["low"], "side": ["low"], "top": ["mid"]}

    def tree(files):
        root = tempfile.mkdtemp(prefix="check_layers.")
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        return root

    def run(files):
        out = io.StringIO()
        return check(tree(files), layers, out), out.getvalue()

    clean = {"low/A.h": "#pragma once\n", "mid/B.cpp": '#include "low/A.h"\n',
             "top/sub/C.cpp": '#include "mid/B.h"\n#include "low/A.h"\n#include <vector>\n'}
    failures = []
    n, text = run(clean)
    if n:
        failures.append("clean tree reported:\n" + text)
    n, text = run(dict(clean, **{"low/D.cpp": '\n  #  include "mid/B.h"\n'}))
    if n != 2 or "low/D.cpp:2:" not in text or "cycle" not in text:
        failures.append("upward include closing a cycle not reported:\n" + text)
    n, text = run(dict(clean, **{"side/E.h": '#include "mid/B.h"\n'}))
    if n != 1 or "side/E.h:1:" not in text:
        failures.append("sideways include not reported:\n" + text)
    n, text = run(dict(clean, **{"low/F.h": '#include <top/G.h>\n'}))
    if n != 2 or "low/F.h:1:" not in text:
        failures.append("include in angle brackets not reported:\n" + text)
    n, text = check(tree(clean), {"a": ["b"], "b": ["a"]}, io.StringIO()), ""
    if n != 1:
        failures.append("a cycle in the declared layers not reported")
    for f in failures:
        print(f)
    print("self-test: " + ("failed" if failures else "passed"))
    return 1 if failures else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems = check(root)
    if problems:
        print(f"check_layers: {problems} problem(s) with the layer order", file=sys.stderr)
        return 1
    print("check_layers: every include runs down the stack")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
