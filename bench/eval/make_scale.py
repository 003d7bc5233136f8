# Writes the sources of the evaluation scaling benchmarks (bench/README.md, "eval scaling"):
#   python3 make_scale.py defines N OUT.qvs   one cell: N `define`s and N placed shapes
#   python3 make_scale.py append N OUT.qvs    one cell: N rectangles collected with `append`
#   python3 make_scale.py views N OUT.qvs     one cell: N rectangles, each seen on another layer
#   python3 make_scale.py loop N OUT.qvs      one cell: an empty loop of N iterations
#   python3 make_scale.py grid N OUT.qvs      N cells of N shapes (boxes, 64-point circles,
#                                             hexagons) and 10^4 placements at computed positions
import sys

kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
header = "define layer { metal { gds 10/0 } via { gds 11/0 } }\n\n"


def defines(f):
    f.write("cell top {\n    layer metal {\n")
    for i in range(n):
        f.write("        define x%d = %d * 2um + 100nm\n" % (i, i))
        f.write("        shape rect with width = 1um, height = 1um as s%d at (x%d, 0)\n" % (i, i))
    f.write("    }\n}\n")


def append(f):
    f.write("cell top {\n    define all = []\n    layer metal {\n")
    f.write("        for i in 0..%d {\n" % n)
    f.write("            shape rect with width = 1um, height = 1um as r at (i * 2um, 0)\n")
    f.write("            all.append(r)\n        }\n    }\n")
    f.write("    layer via { shape text with text = str(len(all)), size = 4um as count at (0, -10um) }\n}\n")


def views(f):
    f.write("cell top {\n    define views = []\n    layer metal {\n")
    f.write("        for i in 0..%d {\n" % n)
    f.write("            shape rect with width = 1um, height = 1um as r at (i * 2um, 0)\n")
    f.write("            views.append(r[via])\n        }\n    }\n}\n")


def loop(f):
    f.write("cell top {\n    for i in 0..%d { }\n}\n" % n)


def grid(f):
    boxes, circles = n * 4 // 10, n * 3 // 10
    hexagons = n - boxes - circles
    for c in range(n):
        f.write("cell c%d {\n    define pitch = %dnm\n    layer metal {\n" % (c, 2000 + c))
        f.write("        for i in 0..%d { shape rect with width = 1um, height = 1um as b at (i * pitch, 0) }\n" % boxes)
        f.write("    }\n    layer via {\n")
        f.write("        for i in 0..%d { shape circle with radius = 400nm, segments = 64 as o at (i * pitch, 3um) }\n" % circles)
        f.write("        for i in 0..%d { shape circle with radius = 500nm, segments = 6 as h at (i * pitch, 6um) }\n" % hexagons)
        f.write("    }\n}\n\n")
    f.write("cell top {\n    for k in 0..%d {\n" % (10000 // n))
    for c in range(n):
        f.write("        place c%d at (k * 3mm + %d * 10nm, %d * 20um)\n" % (c, c % 7, c))
    f.write("    }\n}\n")


with open(out, "w") as f:
    f.write(header)
    {"defines": defines, "append": append, "views": views, "loop": loop, "grid": grid}[kind](f)
