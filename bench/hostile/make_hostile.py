#!/usr/bin/env python3
"""Writes a hostile input for the measurements of "Hostile inputs, round three" (bench/README.md).

usage: make_hostile.py KIND N OUT
  chain      one shape expression `r | r | ... | r` of N operands
  ports      a cell with N port markers, each meeting one location of another marker
  unknown    a cell body of N constants, each naming an unknown name
  errors     N refused shapes on one line (N diagnostics on a line of about 60 N bytes)
  params     a cell of N parameters placed with all of them given by name
  libraries  OUT/main.qvs importing N IR libraries, each with its own cell `x` (OUT is a folder)
  concat     a string grown by `s = s + "abcdefghij"` N times
"""
import os
import sys

LAYER = "define layer { m { gds 1/0 } }"
RECT = "shape rect with width = 1um, height = 1um"


def chain(n):
    yield LAYER
    yield f"cell top {{ layer m {{ {RECT} as r at (0, 0)"
    yield "shape r" + " | r" * (n - 1) + " as u } }"


def ports(n):
    yield LAYER
    yield "cell top {"
    yield " marker {"
    yield "  many { at { " + ", ".join(f"({i}um, 0)" for i in range(n)) + " } }"
    for i in range(n):
        yield f'  k{i} {{ at ({i}um, 0, 0deg); with kind = "port" }}'
    yield " }"
    yield f" layer m {{ {RECT} as r at (0, 0) }}"
    yield "}"


def unknown(n):
    yield LAYER
    yield "cell top {"
    for i in range(n):
        yield f"define v{i} = nope{i}"
    yield "}"


def errors(n):
    yield LAYER
    yield "cell top { layer m { " + "; ".join(
        f"shape rect with width = -{i + 1}um, height = 1um as r{i} at (0, 0)" for i in range(n)
    ) + " } }"


def params(n):
    yield LAYER
    yield "cell c(" + ", ".join(f"p{i} integer = 0" for i in range(n)) + f") {{ layer m {{ {RECT} as r at (0, 0) }} }}"
    yield "cell top { place c with " + ", ".join(f"p{i} = {i}" for i in range(n)) + " at (0, 0) }"


def concat(n):
    yield LAYER
    yield 'cell top { define s = ""'
    yield f' for i in 0..{n} {{ s = s + "abcdefghij" }}'
    yield f" layer m {{ {RECT} as r at (0, 0) }} }}"


def libraries(n, folder):
    for i in range(n):
        with open(os.path.join(folder, f"l{i}.qvir"), "w") as out:
            out.write(f"quorvane-ir 1\ndbu 1nm\nlayer m 1/0\ncell x source=x {{\n  box m 0 0 {i + 1} 1\n}}\n"
                      f"cell t{i} source=t{i} {{\n  inst x0 x at (0,0)\n}}\ntop t{i}\n")
    yield LAYER
    for i in range(n):
        yield f'import "l{i}.qvir"'
    yield "cell top {"
    for i in range(n):
        yield f"  place t{i} at ({i}um, 0)"
    yield "}"


def main():
    kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    if kind == "libraries":
        os.makedirs(out, exist_ok=True)
        lines, out = libraries(n, out), os.path.join(out, "main.qvs")
    else:
        lines = {"chain": chain, "ports": ports, "unknown": unknown, "errors": errors,
                 "params": params, "concat": concat}[kind](n)
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


main()
