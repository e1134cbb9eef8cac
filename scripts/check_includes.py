#!/usr/bin/env python3
"""Fails when a source file includes a header of a folder above its own.

The folders form one order, lowest first; a file may include headers of its
own folder and of the folders before it. The tests, benchmarks and fuzzers
may include anything. Any cycle between folders is reported as well, so that
a reordering of the list cannot hide one. Run from anywhere in the work tree.
"""
import os
import re
import subprocess
import sys
from pathlib import PurePosixPath

ORDER = [
    "platform", "kml",
    "archive/common", "archive/errors", "archive/format", "archive/directory",
    "archive/crypto", "archive/codec", "archive/search", "archive/update",
    "archive/extract", "archive",
    "app", "cli",
]
FREE = {"tests", "bench", "fuzz"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    """The longest listed folder holding `path`, or None."""
    parent = PurePosixPath(path).parent
    for folder in [parent, *parent.parents]:
        name = str(folder)
        if name in ORDER or name in FREE:
            return name
    return None


def resolve(root, path, included):
    """The included file as a path from the root: beside the including file
    when it is there (as the compiler looks first), else from the root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(path), included))
    return beside if os.path.exists(os.path.join(root, beside)) else included


def find_cycle(edges):
    """One cycle of the folder graph as a list of folders, or None."""
    state, stack = {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state and (found := visit(nxt)):
                return found
        state[node] = "done"
        stack.pop()
        return None

    for node in sorted(edges):
        if node not in state and (found := visit(node)):
            return found
    return None


def main():
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], capture_output=True,
                          text=True, check=True).stdout.strip()
    files = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], cwd=root, capture_output=True,
                           text=True, check=True).stdout.split()
    errors, edges = [], {}
    for path in files:
        source = layer_of(path)
        if source is None:
            errors.append(f"{path}: its folder has no place in the include order")
            continue
        if source in FREE:
            continue
        with open(f"{root}/{path}", encoding="utf-8") as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                target = layer_of(resolve(root, path, match.group(1))) if match else None
                if target is None or target == source:
                    continue
                edges.setdefault(source, set()).add(target)
                if target in FREE or ORDER.index(target) > ORDER.index(source):
                    errors.append(f"{path}:{number}: {source} includes {match.group(1)} "
                                  f"of {target}, which comes after it")
    cycle = find_cycle(edges)
    if cycle:
        errors.append("folders include each other: " + " -> ".join(cycle))
    for error in errors:
        print(error, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
