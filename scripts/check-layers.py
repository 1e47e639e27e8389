#!/usr/bin/env python3
"""check-layers.py BUILD: fails when a file includes a header of a target its target does not link.

BUILD is a configured build tree; its layers.txt (cmake/Layers.cmake) lists every target's folder,
sources, include directories and links. Each quoted include must be found beside the including
file (without leaving its folder) or in an include directory of the file's own target or of a
target it links, directly or through what those publish. A header found in a target's published
directory is checked against that target's links in turn, so a lower layer's header cannot lean
on what happens to be on the includer's path. No target may put the project root, or another
folder's directory, on its include path.
"""
import os
import re
import sys
from collections import defaultdict

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
GENEX = re.compile(r"\$<(BUILD_INTERFACE|LINK_ONLY):([^>]*)>")


def values(text):
    text = GENEX.sub(lambda m: m.group(2), text)
    return [v for v in text.split(";") if v and "$<" not in v]


def main():
    build = os.path.realpath(sys.argv[1])
    root = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
    props = defaultdict(dict)
    with open(os.path.join(build, "layers.txt")) as f:
        for line in f:
            target, prop, value = line.rstrip("\n").split("\t", 2)
            props[target][prop] = values(value)
    problems = []

    def own_dirs(t):
        p = props[t]
        return p.get("INCLUDE_DIRECTORIES", []) + p.get("INTERFACE_INCLUDE_DIRECTORIES", [])

    for t in props:
        source_dir = os.path.realpath(props[t]["SOURCE_DIR"][0])
        for d in own_dirs(t):
            real = os.path.realpath(d)
            if real == root:
                problems.append(f"{t}: the project root is on its include path")
            elif not (d.startswith(build + os.sep) or real.startswith(source_dir + os.sep)
                      or real == source_dir):
                problems.append(f"{t}: includes from {d}, outside its folder")

    def links(t):
        p = props[t]
        return p.get("LINK_LIBRARIES", []) + p.get("INTERFACE_LINK_LIBRARIES", [])

    closure = {}

    def linked(t):
        if t not in closure:
            seen, todo = set(), list(links(t))
            while todo:
                d = todo.pop()
                if d in props and d not in seen:
                    seen.add(d)
                    todo.extend(props[d].get("INTERFACE_LINK_LIBRARIES", []))
            closure[t] = seen
        return closure[t]

    def allowed(t):
        dirs = list(own_dirs(t))
        for d in linked(t):
            dirs += props[d].get("INTERFACE_INCLUDE_DIRECTORIES", [])
        return dirs

    publisher = defaultdict(set)
    for t in props:
        for d in props[t].get("INTERFACE_INCLUDE_DIRECTORIES", []):
            publisher[d].add(t)
    every_dir = list(publisher) + [d for t in props for d in own_dirs(t)]

    def find(name, dirs):
        for d in dirs:
            path = os.path.join(d, name)
            if os.path.isfile(path):
                return d, os.path.realpath(path)
        return None, None

    checked = set()

    def check(path, t, top):
        if (path, t) in checked:
            return
        checked.add((path, t))
        with open(path, errors="replace") as f:
            names = INCLUDE.findall(f.read())
        here = os.path.dirname(path)
        for name in names:
            beside = os.path.join(here, name)
            if os.path.isfile(beside):
                if ".." in name.split("/"):
                    problems.append(f"{os.path.relpath(path, root)}: includes \"{name}\" "
                                    "from outside its folder")
                check(os.path.realpath(beside), t, top)
                continue
            d, found = find(name, allowed(t))
            if found:
                owners = publisher.get(d, set())
                check(found, next(iter(owners)) if len(owners) == 1 else t, top)
                continue
            d, found = find(name, every_dir)
            if found:
                owners = ", ".join(sorted(publisher.get(d, {"?"})))
                problems.append(f"{os.path.relpath(path, root)} (target {t}, built for {top}): "
                                f"includes \"{name}\" of {owners}, which {t} does not link")

    for t in props:
        source_dir = props[t]["SOURCE_DIR"][0]
        for s in props[t].get("SOURCES", []):
            path = os.path.realpath(os.path.join(source_dir, s))
            if path.startswith(root + os.sep) and re.search(r"\.(c|cc|cpp|h)$", path):
                check(path, t, t)

    for p in sorted(set(problems)):
        print(p)
    if problems:
        print(f"{len(set(problems))} cross-layer include(s)")
        return 1
    print(f"includes stay inside linked targets ({len(checked)} files checked)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
