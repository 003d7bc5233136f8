#!/usr/bin/env python3
"""Writes the benchmark library as IR text: 10^6 boxes and 2*10^5 eight-point polygons in one
cell, plus 1000 cells of 100 boxes each, placed once (about 90 MB once written as GDSII).

usage: make_big.py OUT.qvir  (seeded, so every run writes the same file)
"""
import random
import sys

rng = random.Random(2026)
lines = ["quorvane-ir 1", "dbu 1nm", "layer metal 1/0", "layer poly 2/0"]
for c in range(1000):
    lines.append("cell block%d source=block {" % c)
    for _ in range(100):
        x, y = rng.randrange(-50000, 50000), rng.randrange(-50000, 50000)
        lines.append("  box metal %d %d %d %d" % (x, y, x + rng.randrange(10, 500), y + rng.randrange(10, 500)))
    lines.append("}")
lines.append("cell chip source=chip {")
for _ in range(1000000):
    x, y = rng.randrange(-10000000, 10000000), rng.randrange(-10000000, 10000000)
    lines.append("  box metal %d %d %d %d" % (x, y, x + rng.randrange(10, 2000), y + rng.randrange(10, 2000)))
for _ in range(200000):
    x, y = rng.randrange(-10000000, 10000000), rng.randrange(-10000000, 10000000)
    w, h = rng.randrange(100, 2000), rng.randrange(100, 2000)
    ring = [(x, y), (x + w, y), (x + w, y + h // 3), (x + w // 2, y + h // 3), (x + w // 2, y + h),
            (x + w // 4, y + h), (x + w // 4, y + h // 3), (x, y + h // 3)]
    lines.append("  polygon poly " + " ".join("(%d,%d)" % p for p in ring))
for c in range(1000):
    lines.append("  inst b%d block%d at (%d,%d)" % (c, c, (c % 40) * 200000, (c // 40) * 200000))
lines.append("}")
lines.append("top chip")
with open(sys.argv[1], "w") as f:
    f.write("\n".join(lines) + "\n")
