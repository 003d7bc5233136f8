# Writes the evaluation benchmark's design: 1000 cells drawing SHAPES shapes in total (rectangles,
# 16-gon circles, triangles and one union per cell) and a top cell with 10 000 placements.
#   python3 make_design.py SHAPES OUT.qvs
import sys

shapes, out = int(sys.argv[1]), sys.argv[2]
cells = 1000
per_cell = max(shapes // cells, 10)
rects, circles = per_cell * 6 // 10, per_cell * 2 // 10
triangles = per_cell - rects - circles - 3
with open(out, "w") as f:
    f.write("define layer { metal { gds 10/0 } via { gds 11/0 } }\n\n")
    for c in range(cells):
        f.write("cell c%d {\n    layer metal {\n" % c)
        f.write("        for i in 0..%d { shape rect with width = 1um, height = %dnm as r at (i * 2um, 0) }\n"
                % (rects, 500 + 2 * c))
        f.write("        shape rect with width = 5um, height = 1um as a at (0, -5um)\n")
        f.write("        shape rect with width = 1um, height = 5um as b at (2um, -7um)\n")
        f.write("        shape a + b as both\n    }\n    layer via {\n")
        f.write("        for i in 0..%d { shape circle with radius = 400nm, segments = 16 as o at (i * 2um, 3um) }\n"
                % circles)
        f.write("        for i in 0..%d { shape polygon with points = [(0, 0), (1um, 0), (0, 1um)] as t at (i * 2um, 6um) }\n"
                % triangles)
        f.write("    }\n}\n\n")
    f.write("cell top {\n    for k in 0..10 {\n")
    for c in range(cells):
        f.write("        place c%d at (k * 1mm, %d * 20um)\n" % (c, c))
    f.write("    }\n}\n")
