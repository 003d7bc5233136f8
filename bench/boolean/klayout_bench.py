# The same work done by KLayout's flat Region, for comparison:
#   klayout -b -r klayout_bench.py -rd op=union -rd a=A.rings [-rd b=B.rings] [-rd out=OUT.rings]
# Prints the operation time (reading and writing excluded). One thread.
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


a = region_of(globals().get("a"))
b = region_of(globals().get("b"))
a.threads = 1
b.threads = 1
operation = globals().get("op", "union")
start = time.perf_counter()
if operation == "union":
    result = (a + b).merged()
elif operation == "intersection":
    result = a & b
elif operation == "difference":
    result = a - b
elif operation == "xor":
    result = a ^ b
else:
    sys.exit("unknown operation " + operation)
seconds = time.perf_counter() - start
print("time %.3f s, %d polygons, area %.1f" % (seconds, result.count(), result.area()))
if globals().get("out"):
    write_rings(out, result)
