# Writes the GDSII inputs of the decompile round trip with KLayout, a writer that is not ours:
#   klayout -b -r make_fixtures.py
# The files are committed as bytes; rerun only to change them.
import os

import pya

here = os.path.dirname(os.path.abspath(__file__))


def save(layout, name):
    options = pya.SaveLayoutOptions()
    options.format = "GDS2"
    layout.write(os.path.join(here, name), options)


def shapes():
    layout = pya.Layout()
    layout.dbu = 0.001
    top = layout.create_cell("shapes")
    metal = layout.layer(1, 0)
    poly = layout.layer(2, 5)
    # GDSII numbers are 16 bits; readers that take them as signed see these as negative.
    high = layout.layer(40000, 33000)
    labels = layout.layer(63, 0)
    top.shapes(metal).insert(pya.Box(0, 0, 1000, 500))
    top.shapes(metal).insert(pya.Box(-201, -301, -100, 700))
    top.shapes(high).insert(pya.Box(5, 5, 17, 9))
    top.shapes(poly).insert(pya.Polygon([pya.Point(0, 0), pya.Point(400, 0), pya.Point(400, 100),
                                         pya.Point(100, 100), pya.Point(100, 400), pya.Point(0, 400)]))
    top.shapes(poly).insert(pya.Polygon([pya.Point(0, -500), pya.Point(300, -300), pya.Point(0, -100)]))
    holed = pya.Polygon(pya.Box(2000, 2000, 3000, 3000))
    holed.insert_hole(pya.Box(2200, 2200, 2400, 2400))
    top.shapes(poly).insert(holed)
    # Path types 0 (flush), 2 (half-width extensions), 4 (own extensions) and 1 (round).
    top.shapes(metal).insert(pya.Path([pya.Point(0, 1000), pya.Point(2000, 1000), pya.Point(2000, 3000)], 100))
    top.shapes(metal).insert(pya.Path([pya.Point(0, 5000), pya.Point(1000, 5000)], 200, 100, 100, False))
    top.shapes(metal).insert(pya.Path([pya.Point(0, 8000), pya.Point(1000, 8000)], 50, 30, 70, False))
    top.shapes(high).insert(pya.Path([pya.Point(0, 6000), pya.Point(0, 7000)], 200, 100, 100, True))
    top.shapes(labels).insert(pya.Text("VDD", pya.Trans(pya.Trans.R0, 100, 200)))
    save(layout, "shapes.gds")


def names():
    layout = pya.Layout()
    layout.dbu = 0.0025
    metal = layout.layer(1, 0)
    top = layout.create_cell("top")
    words = ["cell", "in", "pi", "sqrt", "dbu", "layer", "7seg", "a-b", "a.b", "i", "metal"]
    for n, word in enumerate(words):
        cell = layout.create_cell(word)
        cell.shapes(metal).insert(pya.Box(0, 0, 10 + n, 7))
        top.insert(pya.CellInstArray(cell.cell_index(), pya.Trans(pya.Trans.R0, 100 * n, 0)))
    save(layout, "names.gds")


def hierarchy():
    layout = pya.Layout()
    layout.dbu = 0.005
    top = layout.create_cell("chip")
    leaf = layout.create_cell("leaf")
    pad = layout.create_cell("pad")
    metal = layout.layer(10, 0)
    leaf.shapes(metal).insert(pya.Box(0, 0, 20, 10))
    pad.shapes(metal).insert(pya.Polygon([pya.Point(0, 0), pya.Point(30, 0), pya.Point(0, 30)]))
    for n, code in enumerate([pya.Trans.R0, pya.Trans.R90, pya.Trans.R180, pya.Trans.R270,
                              pya.Trans.M0, pya.Trans.M45, pya.Trans.M90, pya.Trans.M135]):
        top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(code, 100 * n, 0)))
    top.insert(pya.CellInstArray(pad.cell_index(), pya.ICplxTrans(1.0, 45.0, False, 1000, 0)))
    top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(pya.Trans.R0, 0, 1000),
                                 pya.Vector(50, 0), pya.Vector(0, 40), 3, 2))
    top.insert(pya.CellInstArray(pad.cell_index(), pya.Trans(pya.Trans.M90, 0, 2000),
                                 pya.Vector(100, 10), pya.Vector(-5, 80), 2, 4))
    # Magnification has no form in the language; it is dropped with a warning.
    magnified = layout.create_cell("magnified")
    magnified.insert(pya.CellInstArray(pad.cell_index(), pya.ICplxTrans(2.0, 0.0, False, 0, 0)))
    save(layout, "hierarchy.gds")


shapes()
names()
hierarchy()
