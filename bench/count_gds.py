# Prints a GDSII file's cell count, instance count and per-layer shape and point counts, to check
# that two benchmark outputs hold the same layout:  klayout -b -r count_gds.py -rd file=F.gds
import pya

layout = pya.Layout()
layout.read(file)
instances = sum(cell.child_instances() for cell in layout.each_cell())
print("%s: %d cells, %d instances" % (file, layout.cells(), instances))
for index in layout.layer_indexes():
    count = points = 0
    for cell in layout.each_cell():
        for shape in cell.shapes(index).each():
            count += 1
            points += shape.polygon.num_points() if shape.is_polygon() or shape.is_box() else 0
    print("  layer %s: %d shapes, %d points" % (layout.get_info(index), count, points))
