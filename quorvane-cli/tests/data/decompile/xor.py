# Compares the geometry of two GDSII files cell by cell, as KLayout sees it:
#   klayout -b -r xor.py -rd a=ORIGINAL -rd b=REBUILT -rd names=MAP
# MAP holds one line per cell, its name in ORIGINAL and in REBUILT separated by a tab. Prints one
# line per cell that is missing and per cell and layer whose flattened regions differ.
import pya

first = pya.Layout()
first.read(a)
second = pya.Layout()
second.read(b)
renamed = dict(line.rstrip("\n").split("\t") for line in open(names) if line.strip())
scale = pya.ICplxTrans(second.dbu / first.dbu)


def region(layout, cell, info):
    index = layout.find_layer(info)
    if index is None:
        return pya.Region()
    shapes = cell.begin_shapes_rec(index)
    # Labels are no geometry; the reader leaves foreign ones out on purpose.
    shapes.shape_flags = pya.Shapes.SBoxes | pya.Shapes.SPolygons | pya.Shapes.SPaths
    return pya.Region(shapes)


infos = {(layout.get_info(i).layer, layout.get_info(i).datatype)
         for layout in (first, second) for i in layout.layer_indexes()}
for cell in sorted(first.each_cell(), key=lambda c: c.name):
    other = second.cell(renamed.get(cell.name, cell.name))
    if other is None:
        print("missing %s" % cell.name)
        continue
    for layer, datatype in sorted(infos):
        info = pya.LayerInfo(layer, datatype)
        ours = region(second, other, info).transformed(scale)
        if not (region(first, cell, info) ^ ours).is_empty():
            print("differs %s %d/%d" % (cell.name, layer, datatype))
