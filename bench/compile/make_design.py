# Writes the compile benchmark's design: CELLS cells of SHAPES shapes each (80 % boxes, 15 %
# circles of 64 points, 5 % hexagons, spread over layers 1 to 3) placed by loops at computed
# positions (x in steps along the loop, y scattered by a multiplicative hash, both within 0 to
# 100 um; sides 100 to 5000 nm and radii 500 to 3000 nm chosen per cell and layer), and a top
# cell placing each cell PLACES times on a grid.
#   python3 make_design.py CELLS SHAPES PLACES OUT.qvs
# Each shape costs the evaluator about a dozen steps; 10^6 shapes stay within its 2·10^7.
import sys

cells, shapes, places, out = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
boxes, circles = shapes * 80 // 100, shapes * 15 // 100
hexagons = shapes - boxes - circles


def split(n):  # n shapes over the three layers
    return [n // 3 + (1 if k < n % 3 else 0) for k in range(3)]


def sizes(c, k):  # width, height and radius in nm of cell c's shapes on layer k
    return 100 + (c * 37 + k * 11) % 4901, 100 + (c * 53 + k * 7) % 4901, 500 + (c * 29 + k) % 2501


def step(n):  # x step in nm spreading n shapes over 100 um
    return 100000 // max(n, 1)


with open(out, "w") as f:
    f.write("define layer { l1 { gds 1/0 } l2 { gds 2/0 } l3 { gds 3/0 } }\n")
    f.write("define hexagon = [(0, 0), (2um, 0), (3um, 1um), (2um, 2um), (0, 2um), (-1um, 1um)]\n\n")
    for c in range(cells):
        f.write("cell c%d {\n" % c)
        for k, (b, o, h) in enumerate(zip(split(boxes), split(circles), split(hexagons))):
            w, v, r = sizes(c, k)
            f.write("    layer l%d {\n" % (k + 1))
            f.write("        for i in 0..%d { shape rect with width = %dnm, height = %dnm as b "
                    "at (i * %dnm, i * 7919 %% 100001 * 1nm) }\n" % (b, w, v, step(b)))
            f.write("        for i in 0..%d { shape circle with radius = %dnm, segments = 64 as o "
                    "at (i * %dnm, i * 6271 %% 100001 * 1nm) }\n" % (o, r, step(o)))
            f.write("        for i in 0..%d { shape polygon with points = hexagon as h "
                    "at (i * %dnm, i * 4973 %% 100001 * 1nm) }\n" % (h, step(h)))
            f.write("    }\n")
        f.write("}\n\n")
    f.write("cell top {\n    for q in 0..%d {\n" % places)
    for c in range(cells):
        f.write("        place c%d at (%d * 120um, (%d + q) * 120um)\n" % (c, c % 100, c // 100 * places))
    f.write("    }\n}\n")
