// The version line and the usage text.
#pragma once

#include <string_view>

namespace quorvane {

inline constexpr std::string_view version_line = "quorvane 0.2.2\n";

inline constexpr std::string_view usage_text =
    "usage: quorvane <command> [options]\n"
    "\n"
    "commands:\n"
    "  check <file>                report syntax, name, type and evaluation errors\n"
    "  ir <file> [--top <cell>]... [--dummy <rule>]...\n"
    "                              print the evaluated layout as Quorvane IR\n"
    "  build <file> -o <out.gds> [--top <cell>]... [--dummy <rule>]...\n"
    "                              compile to GDSII (or IR for -o <out.qvir>);\n"
    "                              the input may also be .qvir or .gds\n"
    "  decompile <in.gds> [-o <out.qvs>] [--layers <tech.qvs>]\n"
    "                              write GDSII as quorvane source\n"
    "  blackbox <file> [--top <cell>]... [-o <out.qvir>] [--gds <out.gds>]\n"
    "                              publish cells as blackboxes: outline, ports and\n"
    "                              signatures, as IR (-o) and GDSII (--gds)\n"
    "  unbox <design> --whitebox <lib>... [-o <out>] [--allow-revision]\n"
    "        [--dummy <rule>]...   put whiteboxes in place of the design's\n"
    "                              blackboxes; inputs are .qvs, .qvir or .gds, the\n"
    "                              output .gds or .qvir (IR on stdout without -o)\n"
    "  netlist <file> [--top <cell>]... [-o <out.json>]\n"
    "                              write the connectivity netlist as JSON\n"
    "  lvs <file> --netlist <ref.json> [--top <cell>]...\n"
    "                              check ports and compare with a reference netlist\n"
    "  fmt [--check] <file>...     format files in place (--check: only report)\n"
    "  parse <file>                print the syntax tree and syntax errors\n"
    "  --version                   print the version\n"
    "\n"
    "  --dummy <layer>[:<key>=<value>,...] fills the free space of a layer with\n"
    "  square tiles as the layout is written. Keys: size, space, keepout, margin\n"
    "  (lengths, defaults 2um, 2um, 2um, 0), exclude=<layer>+<layer> (tiles keep\n"
    "  out of these layers too), area=<layer> (fill inside this layer's shapes\n"
    "  rather than the top cell's bounding box), datatype=<n> (write the tiles\n"
    "  on this datatype), stagger (shift every other row by half a pitch).\n"
    "  Layers are names or <layer>/<datatype>.\n";

static_assert(usage_text.size() == 2015);

} // namespace quorvane
