# Prints, per cell and layer of a GDSII file as KLayout reads it, the twice-area and perimeter of
# the merged own shapes, the number of self-intersecting polygons and the most points of one:
#   klayout -b -r check.py -rd path=FILE
import pya

layout = pya.Layout()
layout.read(path)
infos = sorted((layout.get_info(i).layer, layout.get_info(i).datatype, i)
               for i in layout.layer_indexes())
for cell in sorted(layout.each_cell(), key=lambda c: c.name):
    for layer, datatype, index in infos:
        region = pya.Region(cell.shapes(index))
        if region.is_empty():
            continue
        region.merged_semantics = False
        strange = region.strange_polygon_check().count()
        most = max(p.num_points() for p in region.each())
        merged = region.merged()
        twice = sum(p.area2() for p in merged.each())
        print("%s %d/%d %d %d %d %d" % (cell.name, layer, datatype, twice, merged.perimeter(),
                                       strange, most))
