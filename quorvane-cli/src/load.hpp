// Loading a design input by the extension of its name.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "analysis.hpp"
#include "args.hpp"
#include "inputs.hpp"
#include "ir/ir.hpp"
#include "outcome.hpp"

namespace quorvane {

// How every command analyses a source: none reads the occurrences of names or the checker's
// types, so they are not kept through evaluation.
inline constexpr quorvane_dsl::AnalysisOptions command_analysis{.lowering = {.occurrences = false},
                                                                .types = false};

// The library, or how the command ends without one: Fail when the input's errors were already
// printed, Error with the message of a command that could not run.
using Loaded = std::expected<quorvane_dsl::ir::Library, Outcome>;

// Design inputs take the named cells as their tops; whitebox libraries keep their own.
enum class TopMode { Required, IfPresent };

struct TopSelection {
    std::span<const std::string> names;
    TopMode mode = TopMode::Required;
};

// The text after the last dot of the last path component; empty when there is none or the
// only dot starts the name.
std::string_view extension(std::string_view path);

// Whether the name's extension makes the file GDSII: "gds", "gds2" or "gdsii".
bool is_gds(std::string_view path);

// One design input to an IR library, read by the extension of its name; the files read (a
// source's imports too) are added to `inputs`.
Loaded load_library(const std::string& path, const TopSelection& tops, InputFiles& inputs);

// The design a command works on: `path` loaded with the command's --top cells. When there is
// no library, the error is the command's outcome as it stands.
std::expected<quorvane_dsl::ir::Library, Outcome> load_design(const std::string& path, Args args,
                                                              InputFiles& inputs);

// The design of netlist and lvs: the one positional file of `args`, analysed and evaluated as a
// source whatever its extension, with its --top cells; without exactly one file the error names
// the command.
Loaded compile_lib(Args args, std::string_view command, InputFiles& inputs);

} // namespace quorvane
