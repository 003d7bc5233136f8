# Writes the GDSII fixtures of this folder with KLayout, the reference client:
#   klayout -b -r make_fixtures.py
# The files are committed as bytes; rerun only to change them.
import os

import pya

here = os.path.dirname(os.path.abspath(__file__))


def save(layout, name, renames=()):
    options = pya.SaveLayoutOptions()
    options.format = "GDS2"
    path = os.path.join(here, name)
    layout.write(path, options)
    # KLayout's writer turns a blank in a cell name into "$"; other tools keep it, so the
    # name is put back (same length, so no record length changes).
    with open(path, "rb") as f:
        data = f.read()
    for written, wanted in renames:
        data = data.replace(written, wanted)
    with open(path, "wb") as f:
        f.write(data)


def shapes():
    layout = pya.Layout()
    layout.dbu = 0.001
    top = layout.create_cell("shapes")
    metal = layout.layer(1, 0)
    poly = layout.layer(2, 5)
    labels = layout.layer(63, 0)
    top.shapes(metal).insert(pya.Box(0, 0, 1000, 500))
    top.shapes(metal).insert(pya.Box(-200, -300, -100, 700))
    top.shapes(poly).insert(pya.Polygon([pya.Point(0, 0), pya.Point(400, 0), pya.Point(400, 100),
                                         pya.Point(100, 100), pya.Point(100, 400), pya.Point(0, 400)]))
    top.shapes(poly).insert(pya.Polygon([pya.Point(0, -500), pya.Point(300, -300), pya.Point(0, -100)]))
    centre = [pya.Point(0, 1000), pya.Point(2000, 1000), pya.Point(2000, 3000)]
    top.shapes(metal).insert(pya.Path(centre, 100))  # flush ends
    top.shapes(metal).insert(pya.Path([pya.Point(0, 5000), pya.Point(1000, 5000)], 200, 100, 100, False))
    top.shapes(metal).insert(pya.Path([pya.Point(0, 6000), pya.Point(0, 7000)], 200, 100, 100, True))
    top.shapes(metal).insert(pya.Path([pya.Point(0, 8000), pya.Point(1000, 8000)], 50, 30, 70, False))
    top.shapes(labels).insert(pya.Text("VDD", pya.Trans(pya.Trans.R0, 100, 200)))
    top.shapes(labels).insert(pya.Text("GND", pya.Trans(pya.Trans.R90, -50, 60)))
    tagged = layout.properties_id([[1, "net=clk"], [7, "owner"]])
    top.shapes(poly).insert(pya.Box(5000, 5000, 5100, 5100), tagged)
    save(layout, "shapes.gds")


def hierarchy():
    layout = pya.Layout()
    layout.dbu = 0.005
    top = layout.create_cell("chip top")
    leaf = layout.create_cell("7seg")
    other = layout.create_cell("pad")
    metal = layout.layer(10, 0)
    leaf.shapes(metal).insert(pya.Box(0, 0, 20, 10))
    other.shapes(metal).insert(pya.Polygon([pya.Point(0, 0), pya.Point(30, 0), pya.Point(0, 30)]))
    top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(pya.Trans.R0, 100, 0)))
    top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(pya.Trans.R90, 0, 100)))
    top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(pya.Trans.M0, 200, 0)))
    top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(pya.Trans.M90, 300, 0)))
    top.insert(pya.CellInstArray(other.cell_index(), pya.ICplxTrans(2.0, 0.0, False, 400, 0)))
    top.insert(pya.CellInstArray(other.cell_index(), pya.ICplxTrans(1.0, 45.0, False, 500, 0)))
    top.insert(pya.CellInstArray(other.cell_index(), pya.ICplxTrans(1.0, 30.0, True, 600, 0)))
    top.insert(pya.CellInstArray(leaf.cell_index(), pya.Trans(pya.Trans.R0, 0, 1000),
                                 pya.Vector(50, 0), pya.Vector(0, 40), 3, 2))
    top.insert(pya.CellInstArray(other.cell_index(), pya.Trans(pya.Trans.R180, 0, 2000),
                                 pya.Vector(100, 10), pya.Vector(-5, 80), 2, 4))
    save(layout, "hierarchy.gds", [(b"chip$top", b"chip top")])


def pcells():
    # KLayout describes library cells in a structure of its own ($$$CONTEXT_INFO$$$) whose
    # references carry the library and parameters of every variant as properties.
    layout = pya.Layout()
    layout.dbu = 0.001
    chip = layout.create_cell("chip")
    circle = layout.create_cell("CIRCLE", "Basic", {"layer": pya.LayerInfo(1, 0),
                                                    "actual_radius": 10.0, "npoints": 64})
    label = layout.create_cell("TEXT", "Basic", {"layer": pya.LayerInfo(2, 0), "text": "QV",
                                                 "mag": 5.0})
    chip.shapes(layout.layer(3, 0)).insert(pya.Box(-20000, -20000, 40000, 20000))
    chip.insert(pya.CellInstArray(circle.cell_index(), pya.Trans(pya.Trans.R0, 0, 0)))
    chip.insert(pya.CellInstArray(label.cell_index(), pya.Trans(pya.Trans.R90, 30000, 0)))
    save(layout, "pcells.gds")


shapes()
hierarchy()
pcells()
