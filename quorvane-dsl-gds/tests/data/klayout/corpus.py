# Writes a corpus of varied GDSII libraries with KLayout, the reference writer, for the round-trip
# test (klayout_corpus_test.cpp):
#   klayout -b -r corpus.py -rd dir=DIR
# Seeded, so every run writes the same designs. Prints the names written (DIR/name.gds), comma
# separated. Hierarchies of SREFs and AREFs in all eight orientations and at free angles, arrays
# with skewed steps, paths of every type with and without extensions, boxes, polygons with holes
# and with thousands of points, texts, several database units, odd cell names, empty and
# unreferenced cells, properties on elements, instances and structures, PCells; a few libraries
# also hold what the import cannot keep (round path ends, magnified instances).
import math
import random

import pya

DBUS = [0.001, 0.005, 0.0001, 0.00025, 0.01, 0.002]
ODD_NAMES = ["7seg", "a-b.c", "n#1", "with$dollar", "UPPER_lower", "x", "ü-cell", "sp ace"]
COUNT = 36


def ring(rng, centre, points, radius):
    cx, cy = centre
    step = 2 * math.pi / points
    out = []
    for k in range(points):
        r = radius * (0.6 + 0.4 * rng.random())
        out.append(pya.Point(int(cx + r * math.cos(k * step)), int(cy + r * math.sin(k * step))))
    return pya.Polygon(out)


def props(layout, rng):
    return layout.properties_id([[rng.randrange(1, 120), "v%d" % rng.randrange(1000)]])


def leaf_shapes(layout, cell, rng, layers, lossy):
    for _ in range(rng.randrange(0, 9)):
        layer = rng.choice(layers)
        x, y = rng.randrange(-50000, 50000), rng.randrange(-50000, 50000)
        kind = rng.randrange(6)
        tagged = props(layout, rng) if rng.random() < 0.3 else 0
        if kind == 0:
            shape = pya.Box(x, y, x + rng.randrange(1, 5000), y + rng.randrange(1, 5000))
        elif kind == 1:
            shape = ring(rng, (x, y), rng.choice([3, 5, 17, 200]), rng.randrange(100, 20000))
        elif kind == 2:
            outer = pya.Polygon(pya.Box(x, y, x + 4000, y + 3000))
            outer.insert_hole(pya.Box(x + 500, y + 500, x + 1500, y + 1500))
            outer.insert_hole(pya.Box(x + 2000, y + 500, x + 3500, y + 2500))
            shape = outer
        else:
            shape = path(rng, x, y, kind, lossy)
        if tagged:
            cell.shapes(layer).insert(shape, tagged)
        else:
            cell.shapes(layer).insert(shape)
    for _ in range(rng.randrange(0, 3)):
        text = pya.Text("t%d" % rng.randrange(100),
                        pya.Trans(rng.randrange(4), rng.random() < 0.5, rng.randrange(-9000, 9000), 0))
        cell.shapes(rng.choice(layers)).insert(text)


def path(rng, x, y, kind, lossy):
    width = 2 * rng.randrange(1, 400)
    # The end segments stay axis-parallel where ends are extended: an extension along a slanted
    # segment lands between grid points, and both sides would round it their own way.
    centre = [pya.Point(x, y), pya.Point(x + rng.randrange(100, 5000), y)]
    centre.append(pya.Point(centre[-1].x + rng.randrange(100, 3000), y + rng.randrange(100, 3000)))
    centre.append(pya.Point(centre[-1].x, centre[-1].y + rng.randrange(100, 3000)))
    style = rng.randrange(5 if lossy else 4)
    if style == 0:
        return pya.Path(centre, width)  # flush
    if style == 1:
        return pya.Path(centre, width, width // 2, width // 2)  # square
    if style == 2:
        return pya.Path(centre, width, rng.randrange(-50, 600), rng.randrange(-50, 600))
    if style == 3:
        return pya.Path([pya.Point(x, y), pya.Point(x, y + 7000)], width)
    return pya.Path(centre, width, width // 2, width // 2, True)  # round: made flush, with a warning


def placement(rng, free_angle, magnified):
    x, y = rng.randrange(-200000, 200000), rng.randrange(-200000, 200000)
    if magnified:
        return pya.ICplxTrans(rng.choice([2.0, 0.5]), 0.0, False, x, y)
    if free_angle:
        return pya.ICplxTrans(1.0, rng.choice([30.0, 45.0, 12.5, 200.0]), rng.random() < 0.5, x, y)
    return pya.Trans(rng.randrange(4), rng.random() < 0.5, x, y)


def place(layout, parent, child, rng, lossy):
    trans = placement(rng, rng.random() < 0.2, lossy and rng.random() < 0.3)
    tagged = props(layout, rng) if rng.random() < 0.2 else 0
    if rng.random() < 0.4:
        a = pya.Vector(rng.randrange(1, 30000), rng.randrange(-3000, 3000))
        b = pya.Vector(rng.randrange(-3000, 3000), rng.randrange(1, 30000))
        array = pya.CellInstArray(child.cell_index(), trans, a, b, rng.randrange(1, 4),
                                  rng.randrange(1, 3))
    else:
        array = pya.CellInstArray(child.cell_index(), trans)
    if tagged:
        parent.insert(array, tagged)
    else:
        parent.insert(array)


def pcells(layout, cell, rng):
    circle = layout.create_cell("CIRCLE", "Basic", {"layer": pya.LayerInfo(1, 0),
                                                    "actual_radius": rng.randrange(5, 50) * 1.0,
                                                    "npoints": 64})
    label = layout.create_cell("TEXT", "Basic", {"layer": pya.LayerInfo(2, 0), "text": "QV",
                                                 "mag": 10.0})
    cell.insert(pya.CellInstArray(circle.cell_index(), pya.Trans(pya.Trans.R90, 1000, 0)))
    cell.insert(pya.CellInstArray(label.cell_index(), pya.Trans(pya.Trans.M45, 0, 1000)))


def library(index):
    rng = random.Random(1000 + index)
    layout = pya.Layout()
    layout.dbu = DBUS[index % len(DBUS)]
    lossy = index % 9 == 8
    layers = [layout.layer(n, d) for n, d in [(1, 0), (2, 0), (3, 7), (10, 1), (63, 63)]]
    names = rng.sample(ODD_NAMES, 3) + ["cell%d" % k for k in range(rng.randrange(2, 7))]
    leaves = [layout.create_cell(name) for name in names]
    for cell in leaves:
        leaf_shapes(layout, cell, rng, layers, lossy)
        if rng.random() < 0.3:
            cell.prop_id = props(layout, rng)
    # Polygons of thousands of points, in a cell of their own that nothing places (a top).
    big = layout.create_cell("big")
    big.shapes(layers[0]).insert(ring(rng, (0, 0), rng.choice([3000, 8000]), 200000))
    # Three levels: the top places the mids, the mids place leaves; some leaves stay
    # unreferenced (tops of their own) or empty. Kept small, so flattening stays cheap.
    mids = [layout.create_cell("mid%d" % k) for k in range(2)]
    for mid in mids:
        for _ in range(rng.randrange(1, 5)):
            place(layout, mid, rng.choice(leaves[:-1]), rng, lossy)
    place(layout, mids[1], mids[0], rng, lossy)
    if index % 6 == 5:
        pcells(layout, mids[0], rng)
    # Every orientation, arrayed and not, at least once per library.
    top = layout.create_cell("orient%d" % index)
    for code in range(8):
        top.insert(pya.CellInstArray(mids[1].cell_index(),
                                     pya.Trans(code % 4, code >= 4, code * 100000, 0)))
        top.insert(pya.CellInstArray(mids[1].cell_index(),
                                     pya.Trans(code % 4, code >= 4, code * 100000, 500000),
                                     pya.Vector(7000, 900), pya.Vector(-800, 9000), 2, 2))
    name = "lib%02d" % index
    layout.write("%s/%s.gds" % (dir, name))
    return name


print(",".join(library(index) for index in range(COUNT)))
