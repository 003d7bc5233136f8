// The command drivers, one per command word.
#pragma once

#include "args.hpp"
#include "outcome.hpp"

// One driver per command word; each lives in its own file and is added to the dispatch
// table in main.cpp when it lands.
namespace quorvane {

// check FILE: analyses a source file and reports its diagnostics.
Outcome check(Args args);
// decompile GDS [-o OUT] [--layers TECH]: the GDSII layout as source text, its layers named
// after TECH when given.
Outcome decompile(Args args);
// Formats source files in place, or with --check only names those that would change.
Outcome fmt(Args args);
// ir FILE [--top CELL]...: the loaded library as IR text on standard output.
Outcome ir(Args args);
// build FILE -o OUT [--top CELL]...: the loaded library written to OUT, IR text for a .qvir
// name, else GDSII.
Outcome build(Args args);
// blackbox FILE [--top CELL]... [-o OUT] [--gds OUT]: the top cells published as blackboxes.
Outcome blackbox(Args args);
// unbox DESIGN --whitebox LIB... [-o OUT]: whiteboxes swapped in for the design's blackboxes.
Outcome unbox(Args args);
// parse FILE: the indented syntax tree on standard output, the syntax errors on standard error.
Outcome parse_cmd(Args args);

// netlist FILE [--top CELL]... [-o OUT]: the port findings, then the netlist as JSON on
// standard output or in OUT.
Outcome netlist(Args args);
// lvs FILE --netlist REF [--top CELL]...: the port findings, then each top cell compared with
// the reference cell of its name.
Outcome lvs(Args args);

} // namespace quorvane
