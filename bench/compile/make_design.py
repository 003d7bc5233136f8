# Writes the compile benchmark's design: CELLS cells of SHAPES shapes each (80 % boxes, 15 %
# circles of 64 points, 5 % hexagons, spread over layers 1 to 3), every size and position
# computed in loops from the shape's index and the cell's number (positions 0 to 100 um, sides
# 100 to 5000 nm, radii 500 to 3000 nm), and a top cell placing each cell PLACES times on a grid.
#   python3 make_design.py CELLS SHAPES PLACES OUT.qvs
import sys

cells, shapes, places, out = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
boxes, circles = shapes * 80 // 100, shapes * 15 // 100
hexagons = shapes - boxes - circles


def split(n):  # n shapes over the three layers
    return [n // 3 + (1 if k < n % 3 else 0) for k in range(3)]


def at(salt):  # a position in 0 .. 100 um from the loop index, the cell and a salt
    return ("(((i * 7919 + seed * %d) %% 100001) * 1nm, ((i * 6271 + seed * %d) %% 100001) * 1nm)"
            % (104729 + salt, 130363 + salt))


with open(out, "w") as f:
    f.write("define layer { l1 { gds 1/0 } l2 { gds 2/0 } l3 { gds 3/0 } }\n\n")
    for c in range(cells):
        f.write("cell c%d {\n    define seed = %d\n" % (c, c))
        for k, (b, o, h) in enumerate(zip(split(boxes), split(circles), split(hexagons))):
            f.write("    layer l%d {\n" % (k + 1))
            f.write("        for i in 0..%d { shape rect with width = (100 + (i * 37 + seed) %% 4901) * 1nm, "
                    "height = (100 + (i * 53 + seed) %% 4901) * 1nm as b at %s }\n" % (b, at(k)))
            f.write("        for i in 0..%d { shape circle with radius = (500 + (i * 29 + seed) %% 2501) * 1nm, "
                    "segments = 64 as o at %s }\n" % (o, at(k + 3)))
            f.write("        for i in 0..%d { shape polygon with points = [(0, 0), (2um, 0), (3um, 1um), "
                    "(2um, 2um), (0, 2um), (-1um, 1um)] as h at %s }\n" % (h, at(k + 6)))
            f.write("    }\n")
        f.write("}\n\n")
    f.write("cell top {\n    for q in 0..%d {\n" % places)
    for c in range(cells):
        f.write("        place c%d at (%d * 120um, (%d + q) * 120um)\n" % (c, c % 100, c // 100 * places))
    f.write("    }\n}\n")
