#!/usr/bin/env python3
"""Reads the project's own build graph (cmake --graphviz) and checks that the program's libraries form one
line: every link from a kestrix_ library goes to a library lower in the line, so no folder depends on a
folder above it and no two depend on each other."""
import re
import subprocess
import sys
import tempfile

LINE = ["kestrix_app", "kestrix_keys", "kestrix_settings", "kestrix_layouts", "kestrix_adapter",
        "kestrix_readers", "kestrix_ui"]

source = sys.argv[1]
with tempfile.TemporaryDirectory() as work:
    subprocess.run(["cmake", "-S", source, "-B", work + "/b", "-G", "Ninja", "--graphviz=" + work + "/g.dot",
                    "-DKESTRIX_TESTS=OFF", "-DKESTRIX_BENCH=OFF"], check=True, stdout=subprocess.DEVNULL)
    dot = open(work + "/g.dot").read()

names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', dot))
edges = [(names[a], names[b]) for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', dot)]
missing = [lib for lib in LINE if lib not in names.values()]
wrong = [(a, b) for a, b in edges if a in LINE and b in LINE and LINE.index(b) >= LINE.index(a)]
for lib in missing:
    print("missing library:", lib)
for a, b in wrong:
    print(f"{a} links {b}, which is not below it")
print(f"{0 if missing or wrong else 1} passed, {1 if missing or wrong else 0} failed")
sys.exit(1 if missing or wrong else 0)
