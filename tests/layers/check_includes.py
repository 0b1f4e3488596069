#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer.

    check_includes.py SOURCE_DIR

Layers, bottom to top: base, tree, xpath/runtime, xpath, output, xslt, driver. A file may
include headers of its own layer and the layers below. Each known exception is listed in
KNOWN with the reason it still stands; an exception that no longer occurs is reported too,
so that the list only shrinks.
"""

import os
import re
import sys

LAYERS = ["base", "tree", "xpath/runtime", "xpath", "output", "xslt", "driver"]

# (including file, included header): upward includes not yet removed, each with the
# reason it still stands. None are left; a new one is a fault to fix, not to list.
KNOWN = set()


INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    best = None
    for rank, layer in enumerate(LAYERS):
        if path == layer or path.startswith(layer + "/"):
            if best is None or len(layer) > len(LAYERS[best]):
                best = rank
    return best


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    found = set()
    for layer in LAYERS:
        for folder, _, files in os.walk(os.path.join(root, layer)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                rank = layer_of(path)
                with open(os.path.join(root, path), encoding="utf-8") as source:
                    for header in INCLUDE.findall(source.read()):
                        target = layer_of(header)
                        if target is not None and target > rank:
                            found.add((path, header))
    problems = []
    for path, header in sorted(found - KNOWN):
        problems.append("%s includes %s, a header of a higher layer" % (path, header))
    for path, header in sorted(KNOWN - found):
        problems.append("%s no longer includes %s: remove it from KNOWN in %s"
                        % (path, header, os.path.relpath(__file__, root)))
    for problem in problems:
        print(problem)
    print("%d upward includes, %d known" % (len(found), len(KNOWN & found)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
