#!/usr/bin/env python3
"""Writes a deep input for bench/depth/run.sh.

usage: make_deep.py KIND N OUT
  constants  a chain of N constants, each defined from the one before
  cells      a hierarchy N cells deep
  sum        one constant that sums N terms
  ir         IR text of a hierarchy N cells deep
"""
import sys


def constants(n):
    yield "define c0 = 1"
    for i in range(1, n):
        yield f"define c{i} = c{i - 1} + 1"
    yield f"cell top {{ attribute {{ v c{n - 1} }} }}"


def cells(n):
    yield "define layer { m { gds 1/0 } }"
    yield f"cell c{n - 1} {{ layer m {{ shape rect with width = 1um, height = 1um as r at (0, 0) }} }}"
    for i in range(n - 2, -1, -1):
        yield f"cell c{i} {{ place c{i + 1} at (0, 0) }}"


def sum_terms(n):
    yield "define s = " + " + ".join(["1"] * n)
    yield "cell top { attribute { v s } }"


def ir(n):
    yield "quorvane-ir 1\ndbu 1nm\nlayer m 1/0"
    yield f"cell c{n - 1} source=c{n - 1} {{\n  box m 0 0 10 10\n}}"
    for i in range(n - 2, -1, -1):
        yield f"cell c{i} source=c{i} {{\n  inst a c{i + 1} at (0,0)\n}}"
    yield "top c0"


KINDS = {"constants": constants, "cells": cells, "sum": sum_terms, "ir": ir}

if __name__ == "__main__":
    kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(out, "w") as f:
        for line in KINDS[kind](n):
            f.write(line + "\n")
