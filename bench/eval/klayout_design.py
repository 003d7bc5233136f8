# The geometry of make_design.py built through KLayout's own API and written as GDSII:
#   klayout -b -r klayout_design.py -rd shapes=N -rd out=OUT.gds
import math
import pya

shapes = int(shapes)
cells = 1000
per_cell = max(shapes // cells, 10)
rects, circles = per_cell * 6 // 10, per_cell * 2 // 10
triangles = per_cell - rects - circles - 3
layout = pya.Layout()
layout.dbu = 0.001
metal = layout.layer(10, 0)
via = layout.layer(11, 0)
circle = pya.Polygon([pya.Point(round(400 * math.cos(2 * math.pi * k / 16)),
                                round(400 * math.sin(2 * math.pi * k / 16))) for k in range(16)])
triangle = pya.Polygon([pya.Point(0, 0), pya.Point(1000, 0), pya.Point(0, 1000)])
top = layout.create_cell("top")
for c in range(cells):
    cell = layout.create_cell("c%d" % c)
    m = cell.shapes(metal)
    h = 500 + 2 * c
    for i in range(rects):
        m.insert(pya.Box(i * 2000 - 500, -h // 2, i * 2000 + 500, h // 2))
    both = pya.Region(pya.Box(-2500, -5500, 2500, -4500)) + pya.Region(pya.Box(1500, -9500, 2500, -4500))
    m.insert(both.merged())
    v = cell.shapes(via)
    for i in range(circles):
        v.insert(circle.moved(i * 2000, 3000))
    for i in range(triangles):
        v.insert(triangle.moved(i * 2000, 6000))
    for k in range(10):
        top.insert(pya.CellInstArray(cell.cell_index(), pya.Trans(k * 1000000, c * 20000)))
layout.write(out)
