# KLayout's own tiling fill of the benchmark design, for comparison with BM_DummyFill:
#   klayout -b -r klayout_fill.py -rd path=DESIGN.gds
# The same rule: 1 um tiles on a 2 um grid anchored at the origin, no tile within 1 um of a
# metal shape, inside the design's bounding box. Each fill cell is the tile with half the space
# around it, so the free region keeps the shapes grown by the keepout less that half space.
# Prints the time of the region computation and the fill (reading excluded) and the tile count.
import time

import pya

layout = pya.Layout()
layout.read(path)
top = layout.top_cell()
metal = layout.layer(1, 0)
tile_layer = layout.layer(1, 7)
tile = layout.create_cell("tile")
tile.shapes(tile_layer).insert(pya.Box(500, 500, 1500, 1500))

start = time.perf_counter()
free = pya.Region(top.bbox()) - pya.Region(top.begin_shapes_rec(metal)).sized(500)
top.fill_region(free, tile.cell_index(), pya.Box(0, 0, 2000, 2000), pya.Point(-500, -500))
elapsed = time.perf_counter() - start

tiles = 0
for inst in top.each_inst():
    if inst.cell_index == tile.cell_index():
        tiles += inst.size()
print("time %.3f s tiles %d" % (elapsed, tiles))
