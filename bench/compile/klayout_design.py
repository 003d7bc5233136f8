# The geometry of make_design.py built through KLayout's own API and written as GDSII:
#   klayout -b -r klayout_design.py -rd cells=C -rd shapes=S -rd places=P -rd out=OUT.gds
import math
import pya

cells, shapes, places = int(cells), int(shapes), int(places)
boxes, circles = shapes * 80 // 100, shapes * 15 // 100
hexagons = shapes - boxes - circles


def split(n):
    return [n // 3 + (1 if k < n % 3 else 0) for k in range(3)]


def at(i, seed, salt):
    return ((i * 7919 + seed * (104729 + salt)) % 100001,
            (i * 6271 + seed * (130363 + salt)) % 100001)


unit = [(math.cos(2 * math.pi * k / 64), math.sin(2 * math.pi * k / 64)) for k in range(64)]
hexagon = pya.Polygon([pya.Point(x, y) for x, y in
                       [(0, 0), (2000, 0), (3000, 1000), (2000, 2000), (0, 2000), (-1000, 1000)]])
layout = pya.Layout()
layout.dbu = 0.001
layers = [layout.layer(k, 0) for k in (1, 2, 3)]
top = layout.create_cell("top")
for c in range(cells):
    cell = layout.create_cell("c%d" % c)
    for k, (b, o, h) in enumerate(zip(split(boxes), split(circles), split(hexagons))):
        out_shapes = cell.shapes(layers[k])
        for i in range(b):
            x, y = at(i, c, k)
            w, v = 100 + (i * 37 + c) % 4901, 100 + (i * 53 + c) % 4901
            out_shapes.insert(pya.Box(x - w // 2, y - v // 2, x - w // 2 + w, y - v // 2 + v))
        for i in range(o):
            x, y = at(i, c, k + 3)
            r = 500 + (i * 29 + c) % 2501
            out_shapes.insert(pya.Polygon([pya.Point(round(x + r * ux), round(y + r * uy))
                                           for ux, uy in unit]))
        for i in range(h):
            x, y = at(i, c, k + 6)
            out_shapes.insert(hexagon.moved(x, y))
    for q in range(places):
        top.insert(pya.CellInstArray(cell.cell_index(),
                                     pya.Trans((c % 100) * 120000, (c // 100 * places + q) * 120000)))
layout.write(out)
