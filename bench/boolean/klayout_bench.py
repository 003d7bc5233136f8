# The same work done by KLayout, for comparison: its flat Region on one thread, or with
# -rd tiles=N its tiled mode (TilingProcessor, N x N tiles) on -rd threads=T threads:
#   klayout -b -r klayout_bench.py -rd op=union -rd a=A.rings [-rd b=B.rings] [-rd out=OUT.rings]
#       [-rd tiles=16 -rd threads=8]
# Prints the operation time (reading and writing excluded).
import struct
import sys
import time

import pya


def read_rings(path):
    with open(path, "rb") as f:
        data = f.read()
    (count,) = struct.unpack_from("<I", data, 0)
    pos = 4
    rings = []
    for _ in range(count):
        (n,) = struct.unpack_from("<I", data, pos)
        pos += 4
        coords = struct.unpack_from("<%dq" % (2 * n), data, pos)
        pos += 16 * n
        rings.append([pya.Point(coords[2 * i], coords[2 * i + 1]) for i in range(n)])
    return rings


def region_of(path):
    region = pya.Region()
    if path:
        for ring in read_rings(path):
            region.insert(pya.Polygon(ring))
    return region


def write_rings(path, region):
    rings = []
    for poly in region.each():
        rings.append([(p.x, p.y) for p in poly.each_point_hull()])
        for h in range(poly.holes()):
            rings.append([(p.x, p.y) for p in poly.each_point_hole(h)])
    with open(path, "wb") as f:
        f.write(struct.pack("<I", len(rings)))
        for ring in rings:
            f.write(struct.pack("<I", len(ring)))
            f.write(struct.pack("<%dq" % (2 * len(ring)), *[c for p in ring for c in p]))


EXPRESSIONS = {
    "union": "(a + b).merged",
    "intersection": "a & b",
    "difference": "a - b",
    "xor": "a ^ b",
}


def flat(a, b, operation):
    a.threads = 1
    b.threads = 1
    if operation == "union":
        return (a + b).merged()
    if operation == "intersection":
        return a & b
    if operation == "difference":
        return a - b
    return a ^ b


# Every tile computes the operation on the shapes touching it; its result is clipped to the tile.
def tiled(a, b, operation, tiles, threads):
    result = pya.Region()
    tp = pya.TilingProcessor()
    tp.input("a", a)
    tp.input("b", b)
    tp.output("o", result)
    tp.tiles(tiles, tiles)
    tp.threads = threads
    tp.queue("_output(o, %s)" % EXPRESSIONS[operation])
    tp.execute("boolean")
    return result


a = region_of(globals().get("a"))
b = region_of(globals().get("b"))
operation = globals().get("op", "union")
if operation not in EXPRESSIONS:
    sys.exit("unknown operation " + operation)
tiles = int(globals().get("tiles", 0))
start = time.perf_counter()
if tiles:
    result = tiled(a, b, operation, tiles, int(globals().get("threads", 1)))
else:
    result = flat(a, b, operation)
seconds = time.perf_counter() - start
print("time %.3f s, %d polygons, area %.1f" % (seconds, result.count(), result.area()))
if globals().get("out"):
    write_rings(out, result)
