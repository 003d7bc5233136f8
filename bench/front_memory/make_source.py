#!/usr/bin/env python3
"""Writes a generated source of about SIZE megabytes for the parse and fmt memory benchmark.

Cells with comments, parameter, attribute and marker sections, layer blocks, nested
expressions, loops, conditions and placements, in a slightly careless layout so that `fmt` has
work to do.  usage: make_source.py SIZE_MB OUT
"""
import sys


def cell(i):
    n = str(i)
    return (
        f"# cell {n}: a block with its ports\n"
        f"cell c{n}(w size = 500nm, n integer = 3, long_name size = 2um) {{\n"
        f"    attribute {{ kind \"block\"\n        owner \"gen\" }}\n"
        f"    marker {{ p {{ at (0, 0, 90deg); with kind = \"port\" }} }}\n"
        f"    layer si {{\n"
        f"        shape rect with width = w * 2 + 1um, height = (w - 10nm) / 2 as r{n} at (0, 0)\n"
        f"        shape union(r{n}, circle(3um)), rect(1um, 1um) as u at (1um, 2um) rotate 90deg mirror\n"
        f"        for i in 0..n {{ if i % 2 == 0 && !false {{ clone r{n} as k at (i * 5um, 0) }} }}\n"
        f"    }}\n"
        f"    place c0 with w = 1um at (10um, -5um) offset (1um, 1um) as inst   # first\n"
        f"    place {{ inst.marker.p[0] at (0, 0) }}\n"
        f"}}\n\n"
    )


def main():
    size = int(float(sys.argv[1]) * 1_000_000)
    written = 0
    with open(sys.argv[2], "w") as out:
        head = "define layer { si { gds 1/0 } }\ndefine pitch = 150um\n\n"
        out.write(head)
        written += len(head)
        i = 0
        while written < size:
            text = cell(i)
            out.write(text)
            written += len(text)
            i += 1


main()
