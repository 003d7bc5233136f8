#!/usr/bin/env python3
"""Writes the sources of the `check` benchmarks of bench/README.md.

  make_source.py valid SIZE_MB OUT      cells that analyse and evaluate clean, each placing a
                                        shared leaf, so that every other cell is a top
  make_source.py forgotten SIZE_MB OUT  the same cells naming the layers, cross-section and
                                        constants of a technology file whose import is missing
  make_source.py distinct N OUT         N constants and N cells, each using one unknown name of
                                        its own that is close to one of the constants
  make_source.py chained N OUT          one cell of N attributes, each but the last reading the
                                        next (`a0 self.a1 + 1`, ..., the last `1`)
  make_source.py plain N OUT            one cell of N attributes that read nothing
"""
import sys

VALID_HEAD = ("define layer { si { gds 1/0 }; slab { gds 2/0 } }\ndefine pitch = 150um\n"
              "define xsection strip(w size = 500nm) { si w; slab w + 2um }\n\n")


def valid_cell(i):
    n = str(i)
    text = (f"cell c{n}(w size = 500nm, count integer = 3) {{\n"
            f"    param {{ gap = 2um }}\n"
            f"    attribute {{ kind \"block\"; area w * (w + gap) }}\n"
            f"    marker {{ p {{ at (0, 0, 90deg); with kind = \"port\", width = w }} }}\n"
            f"    layer si {{\n"
            f"        shape rect with width = w * 2 + 1um, height = (w - 10nm) / 2 as r at (0, 0)\n"
            f"        shape circle with radius = 3um, segments = 32 as c at (5um, 0)\n"
            f"        shape path with points = [(0, 0), (10um, 0), (10um, 10um)], width = w as route at (0, 0)\n"
            f"    }}\n"
            f"    shape straight with length = 10um, width = strip(w) as s at (0, 20um)\n"
            f"    define xs = [1um, 2um]\n"
            f"    for i in 0..count {{\n"
            f"        if i % 2 == 0 && !false {{ xs.append(i * pitch + sqrt(w * w)) }}\n"
            f"    }}\n")
    if i > 0:
        text += (f"    place c0 with w = 1um at (10um, -5um) offset (1um, 1um) as inst\n"
                 f"    place c0.marker.p[0] at inst.marker.p[0]\n")
    return text + "}\n\n"


def forgotten_cell(i):
    # wg_core, wg_clad, strip_xs, min_gap and bend_radius would come from the technology file.
    n = str(i)
    return (f"cell c{n}(w size = 500nm) {{\n"
            f"    layer wg_core {{\n"
            f"        shape rect with width = w + min_gap, height = 2um as r at (0, 0)\n"
            f"    }}\n"
            f"    layer wg_clad {{ shape circle with radius = bend_radius as c at (5um, 0) }}\n"
            f"    shape arc with radius = bend_radius, width = strip_xs, angle = 90deg as a at (0, 9um)\n"
            f"}}\n\n")


def sized(out_path, head, cell, size_mb):
    size = int(float(size_mb) * 1_000_000)
    with open(out_path, "w") as out:
        out.write(head)
        written, i = len(head), 0
        while written < size:
            text = cell(i)
            out.write(text)
            written += len(text)
            i += 1


def distinct(out_path, n):
    with open(out_path, "w") as out:
        out.write("define layer { si { gds 1/0 } }\n")
        for i in range(n):
            out.write(f"define spacing_{i} = {i + 1}nm\n")
        for i in range(n):
            out.write(f"cell c{i} {{ layer si {{ shape rect with width = spacin_{i}, height = 1um as r at (0, 0) }} }}\n")


def attributes(out_path, n, chained):
    with open(out_path, "w") as out:
        out.write("cell attributes {\n    attribute {\n")
        for i in range(n):
            value = f"self.a{i + 1} + 1" if chained and i + 1 < n else "1"
            out.write(f"        a{i} {value}\n")
        out.write("    }\n}\n")


mode, out = sys.argv[1], sys.argv[3]
if mode == "valid":
    sized(out, VALID_HEAD, valid_cell, sys.argv[2])
elif mode == "forgotten":
    sized(out, "define layer { si { gds 1/0 } }\n\n", forgotten_cell, sys.argv[2])
elif mode in ("chained", "plain"):
    attributes(out, int(sys.argv[2]), mode == "chained")
else:
    distinct(out, int(sys.argv[2]))
