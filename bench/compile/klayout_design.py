# The geometry of make_design.py built through KLayout's own API and written as GDSII:
#   klayout -b -r klayout_design.py -rd cells=C -rd shapes=S -rd places=P -rd out=OUT.gds
import math
import pya

cells, shapes, places = int(cells), int(shapes), int(places)
boxes, circles = shapes * 80 // 100, shapes * 15 // 100
hexagons = shapes - boxes - circles


def split(n):
    return [n // 3 + (1 if k < n % 3 else 0) for k in range(3)]


def sizes(c, k):
    return 100 + (c * 37 + k * 11) % 4901, 100 + (c * 53 + k * 7) % 4901, 500 + (c * 29 + k) % 2501


def step(n):
    return 100000 // max(n, 1)


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
        w, v, r = sizes(c, k)
        circle = pya.Polygon([pya.Point(round(r * ux), round(r * uy)) for ux, uy in unit])
        out_shapes = cell.shapes(layers[k])
        for i in range(b):
            x, y = i * step(b), i * 7919 % 100001
            out_shapes.insert(pya.Box(x - w // 2, y - v // 2, x - w // 2 + w, y - v // 2 + v))
        for i in range(o):
            out_shapes.insert(circle.moved(i * step(o), i * 6271 % 100001))
        for i in range(h):
            out_shapes.insert(hexagon.moved(i * step(h), i * 4973 % 100001))
    for q in range(places):
        top.insert(pya.CellInstArray(cell.cell_index(),
                                     pya.Trans((c % 100) * 120000, (c // 100 * places + q) * 120000)))
layout.write(out)
