# Prints, per cell of a GDSII file, the twice-area of the merged own shapes of each layer and the
# number of placed copies, as KLayout reads them:
#   klayout -b -r area.py -rd path=FILE
import pya

layout = pya.Layout()
layout.read(path)
infos = sorted((layout.get_info(i).layer, layout.get_info(i).datatype, i)
               for i in layout.layer_indexes())
for cell in sorted(layout.each_cell(), key=lambda c: c.name):
    print("cell %s" % cell.name)
    for layer, datatype, index in infos:
        twice = sum(p.area2() for p in pya.Region(cell.shapes(index)).merged().each())
        if twice:
            print("  %d/%d %d" % (layer, datatype, twice))
    copies = sum(i.na * i.nb if i.is_regular_array() else 1 for i in cell.each_inst())
    print("  copies %d" % copies)
