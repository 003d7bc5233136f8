# KLayout's read and write of the benchmark file, timed separately:
#   klayout -b -r klayout_copy.py -rd src=big.gds -rd dst=out.gds
import time

import pya

start = time.perf_counter()
layout = pya.Layout()
layout.read(src)
read = time.perf_counter() - start
start = time.perf_counter()
layout.write(dst)
write = time.perf_counter() - start
print("klayout read %.3f s, write %.3f s" % (read, write))
