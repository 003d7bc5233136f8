#!/usr/bin/env python3
"""Fails when a source folder includes one that the design keeps it away from.

usage: scripts/check_includes.py [REPO]

Every quoted include below a library's src/ is resolved the way the compiler resolves it (the
including file's folder, then the library's include directories in link order) and named by its
library and its first folder below src/ ("" for a file directly in src/). Folders that do not
exist yet simply never match.
"""
import os
import re
import sys

# Library: its folder and the src/ folders its includes may resolve to, in search order.
LIBRARIES = {
    "dsl": ("quorvane-dsl", ["dsl"]),
    "vork": ("vork", ["vork"]),
    "gds": ("quorvane-dsl-gds", ["gds", "dsl", "vork"]),
    "cli": ("quorvane-cli", ["cli", "gds", "dsl", "vork"]),
}

# The syntax tree and its readers: after parsing, only lowering (and the formatter, and the
# parts that drive the parse) read them; tokens and kinds stay open to all.
SYNTAX_TREE = {"syntax/tree.hpp", "syntax/ast.hpp", "syntax/parser.hpp", "syntax/grammar.hpp"}

ANY = None
SERVICES = {"blackbox", "dummy", "decompile", "lvs"}

# (including library, its folders or ANY, included library, forbidden folders or ANY, why)
RULES = [
    ("dsl", {"syntax", "format"}, "dsl", {"hir", "lower", "check", "eval"},
     "the front end knows nothing of analysis"),
    ("dsl", {"check"}, "dsl", {"lower"}, "the checker reads the HIR, not how it was built"),
    ("dsl", {"eval"}, "dsl", {"syntax", "lower"}, "evaluation starts from the HIR"),
    ("dsl", {"geom", "boolean"}, "dsl", {"eval", "hir", "ir"}, "geometry is pure"),
    ("dsl", SERVICES, "dsl", {"eval", "hir", "lower", "check"},
     "services work on IR libraries"),
    ("dsl", ANY, "vork", ANY, "the language library never sees the layout database"),
    ("cli", ANY, "vork", ANY, "the CLI reaches vork only through quorvane-dsl-gds"),
]

# Beyond folders: evaluation sees the checker only through the table that analysis.hpp
# carries, and only these folders read syntax trees.
EVAL_CHECK_HEADERS = {"check/types.hpp"}
TREE_READERS = {"syntax", "lower", "format", "load", ""}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def src_dir(repo, lib):
    return os.path.join(repo, LIBRARIES[lib][0], "src")


def resolve(repo, lib, including_file, name):
    """The (library, path below src/) an include names, or None when no file matches."""
    local = os.path.normpath(os.path.join(os.path.dirname(including_file), name))
    if os.path.isfile(local):
        own = src_dir(repo, lib)
        return lib, os.path.relpath(local, own).replace(os.sep, "/")
    # A header of a library outside the search path still names that library: the build may
    # reach it through a dependency's include directories.
    for candidate in LIBRARIES[lib][1] + list(LIBRARIES):
        if os.path.isfile(os.path.join(src_dir(repo, candidate), name)):
            return candidate, os.path.normpath(name).replace(os.sep, "/")
    return None


def folder(path):
    return path.split("/")[0] if "/" in path else ""


def violations(lib, path, target_lib, target):
    """The reasons this include breaks the arrows, if any."""
    here, there = folder(path), folder(target)
    found = []
    for from_lib, from_folders, to_lib, to_folders, why in RULES:
        if lib != from_lib or target_lib != to_lib:
            continue
        if from_folders is not ANY and here not in from_folders:
            continue
        if to_folders is not ANY and there not in to_folders:
            continue
        found.append(why)
    if lib == target_lib == "dsl":
        if here == "eval" and there == "check" and target not in EVAL_CHECK_HEADERS:
            found.append("evaluation sees the checker only through analysis.hpp")
        if target.startswith("boolean/detail/") and here != "boolean":
            found.append("the engine's phases are reached only through its face")
        if target in SYNTAX_TREE or target.startswith("syntax/grammar/"):
            if here not in TREE_READERS:
                found.append("only lowering reads syntax trees")
    return found


def main():
    repo = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    failures = []
    for lib in LIBRARIES:
        root = src_dir(repo, lib)
        for directory, _, files in os.walk(root):
            for file_name in sorted(files):
                if not file_name.endswith((".hpp", ".cpp")):
                    continue
                file = os.path.join(directory, file_name)
                path = os.path.relpath(file, root).replace(os.sep, "/")
                with open(file, encoding="utf-8") as text:
                    names = INCLUDE.findall(text.read())
                for name in names:
                    target = resolve(repo, lib, file, name)
                    if target is None:
                        continue
                    for why in violations(lib, path, *target):
                        failures.append(f"{LIBRARIES[lib][0]}/src/{path} includes "
                                        f"{LIBRARIES[target[0]][0]}/src/{target[1]}: {why}")
    for failure in sorted(failures):
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
