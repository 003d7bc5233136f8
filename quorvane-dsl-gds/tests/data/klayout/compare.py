# Compares GDSII files that `quorvane build` wrote with the files they were built from, in KLayout:
#   klayout -b -r compare.py -rd dir=DIR -rd names=a,b,...
# For each name, DIR/name.gds is the original, DIR/name.out.gds ours and DIR/name.warnings the
# warnings of the build, one per line without the "warning: <path>: " prefix. Writes one line per
# name to DIR/compare.txt: "name: ok", or what differs. Ours must open in KLayout, keep the dbu
# and the top cells, and give an empty flattened XOR on every layer of every top cell; what our
# warnings say was dropped must be exactly what the original holds that we cannot keep.
import collections

import pya


def number(value):
    text = repr(float(value))
    return text[:-2] if text.endswith(".0") else text


def dropped(path, layout):
    """The warnings the import owes for this file, and the cells whose geometry they change."""
    owed = collections.Counter()
    lossy = set()
    texts = 0
    with open(path, "rb") as f:
        if b"$$$CONTEXT_INFO$$$" in f.read():
            owed["cell `$$$CONTEXT_INFO$$$`: KLayout's context data (not layout) was not read"] += 1
    for cell in layout.each_cell():
        for index in layout.layer_indexes():
            for s in cell.shapes(index).each():
                if s.is_text():
                    texts += 1
                elif s.is_path() and s.path.round:
                    owed["cell `%s`: round path ends cannot be kept and were made flush"
                         % cell.name] += 1
                    lossy.add(cell.cell_index())
        for inst in cell.each_inst():
            mag = inst.cplx_trans.mag
            if abs(mag - 1.0) > 1e-12:
                owed["cell `%s`: magnification %s of an instance is not supported and was "
                     "dropped" % (cell.name, number(mag))] += 1
                lossy.add(cell.cell_index())
    if texts:
        owed["%d text label(s) without quorvane metadata were not read" % texts] += 1
    return owed, lossy


def layers(layout):
    return {(layout.get_info(i).layer, layout.get_info(i).datatype): i
            for i in layout.layer_indexes()}


def compare(folder, name):
    original = pya.Layout()
    original.read("%s/%s.gds" % (folder, name))
    ours = pya.Layout()
    try:
        ours.read("%s/%s.out.gds" % (folder, name))
    except Exception as error:
        return ["KLayout cannot read ours: %s" % error]
    problems = []
    if abs(original.dbu - ours.dbu) > 1e-15:
        problems.append("dbu %g became %g" % (original.dbu, ours.dbu))
    owed, lossy = dropped("%s/%s.gds" % (folder, name), original)
    with open("%s/%s.warnings" % (folder, name)) as f:
        told = collections.Counter(line.rstrip("\n") for line in f if line.strip())
    for line in sorted((owed - told).elements()):
        problems.append("no warning: " + line)
    for line in sorted((told - owed).elements()):
        problems.append("warning without a loss: " + line)
    tops = sorted(c.name for c in original.top_cells())
    our_tops = sorted(c.name for c in ours.top_cells())
    if tops != our_tops:
        problems.append("tops %s became %s" % (tops, our_tops))
        return problems
    their_layers = layers(original)
    our_layers = layers(ours)

    def region(cell, by_numbers, numbers):
        if numbers not in by_numbers:
            return pya.Region()
        shapes = cell.begin_shapes_rec(by_numbers[numbers])
        # Texts are labels, not area (and the Region would keep them as empty polygons).
        shapes.shape_flags = pya.Shapes.SBoxes | pya.Shapes.SPolygons | pya.Shapes.SPaths
        return pya.Region(shapes)

    for top in original.top_cells():
        if lossy & (set(top.called_cells()) | {top.cell_index()}):
            continue
        our_top = ours.cell(top.name)
        for numbers in sorted(set(their_layers) | set(our_layers)):
            xor = region(top, their_layers, numbers) ^ region(our_top, our_layers, numbers)
            if not xor.is_empty():
                problems.append("cell `%s` layer %d/%d: XOR of %d polygons in %s"
                                % (top.name, numbers[0], numbers[1], xor.count(),
                                   xor.bbox()))
    return problems


# KLayout prints its own warnings on standard output; the verdicts go to a file of their own.
with open("%s/compare.txt" % dir, "w") as verdicts:
    for name in names.split(","):
        problems = compare(dir, name)
        verdicts.write("%s: %s\n" % (name, "; ".join(problems) if problems else "ok"))
