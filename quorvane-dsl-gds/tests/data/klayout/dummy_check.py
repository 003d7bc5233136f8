# Checks a filled GDSII file in KLayout: tiles (1/7) against the real shapes (1/0) grown by the
# keepout, and the tile area over the top cell's bounding box.
#   klayout -b -r dummy_check.py -rd path=FILE -rd keepout=DBU
import pya

layout = pya.Layout()
layout.read(path)
top = layout.top_cell()
shapes = pya.Region(top.begin_shapes_rec(layout.layer(1, 0)))
tiles = pya.Region(top.begin_shapes_rec(layout.layer(1, 7)))
tile_count = tiles.count()
# The keepout is a square around every tile, so the shapes grow by the square's Minkowski sum;
# `sized` would also lengthen mitred corners of slanted polygons beyond it.
k = int(keepout)
grown = pya.Region()
for polygon in shapes.each():
    grown.insert(polygon.minkowski_sum(pya.Box(-k, -k, k, k), False))
overlap = tiles & grown
box = top.bbox()
print("tiles %d" % tile_count)
print("overlap %d" % overlap.count())
print("fill %.1f%%" % (100.0 * tiles.merged().area() / box.area()))
