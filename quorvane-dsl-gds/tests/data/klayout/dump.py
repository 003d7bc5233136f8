# Prints what KLayout reads from a GDSII file, one line per fact, for the interop test:
#   klayout -b -r dump.py -rd path=FILE
import pya

layout = pya.Layout()
layout.read(path)
print("dbu %g" % layout.dbu)
print("top %s" % ",".join(c.name for c in layout.top_cells()))
for cell in sorted(layout.each_cell(), key=lambda c: c.name):
    print("cell %s" % cell.name)
    for index in layout.layer_indexes():
        info = layout.get_info(index)
        for s in cell.shapes(index).each():
            where = "  %d/%d " % (info.layer, info.datatype)
            if s.is_box():
                print(where + "box %s" % s.box)
            elif s.is_polygon():
                print(where + "polygon %s" % s.polygon)
            elif s.is_path():
                print(where + "path w=%d %s" % (s.path.width, s.path))
            elif s.is_text():
                props = ";".join("%s=%s" % (k, v) for k, v in sorted(layout.properties(s.prop_id), key=lambda kv: int(kv[0])))
                print(where + "text %s at %s props %s" % (s.text.string, s.text.trans, props))
    for inst in cell.each_inst():
        line = "  inst %s %s" % (inst.cell.name, inst.cplx_trans)
        if inst.is_regular_array():
            line += " array %dx%d a=%s b=%s" % (inst.na, inst.nb, inst.a, inst.b)
        print(line)
