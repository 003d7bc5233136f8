# Writes the photonic part of the evaluation benchmark: ROUTES waveguide routes, each a cell
# variant of its own (an arc, an Euler bend and an S-bend swept along a three-band cross-section),
# so that every route's curves are sampled and swept anew.
#   python3 make_photonic.py ROUTES OUT.qvs
import sys

routes, out = int(sys.argv[1]), sys.argv[2]
with open(out, "w") as f:
    f.write("define layer { core { gds 1/0 } clad { gds 2/0 } excl { gds 3/0 } }\n")
    f.write("define xsection wg3 { core 500nm  clad 3um  excl 6um }\n\n")
    f.write("cell route(r size = 10um) {\n")
    f.write("    shape arc with radius = r, width = wg3, angle = 90deg as a at (0, 0)\n")
    f.write("    shape euler with radius = r, width = wg3, angle = 90deg as e at (40um, 0)\n")
    f.write("    shape sbend with length = 4 * r, offset = r, width = wg3 as s at (80um, 0)\n")
    f.write("}\n\n")
    f.write("cell top {\n")
    f.write("    for k in 0..%d { place route with r = 10um + k * 1nm at ((k %% 100) * 200um, (k / 100) * 100um) }\n"
            % routes)
    f.write("}\n")
