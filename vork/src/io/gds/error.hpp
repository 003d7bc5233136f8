// Errors of the GDSII stream reader and writer, printed in their debug form.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "models/layout_error.hpp"

namespace vork::io::gds {

// An input error of the byte source, named by its kind (the reader only meets UnexpectedEof).
struct IoError {
    std::string kind;
};

struct FormatError {
    std::string message;
    // The cell the writer was writing, as stored; empty for none. It is named apart, so that
    // the caller can spell out what a name holds.
    std::string cell;
};

// What GDSII cannot hold.
struct UnsupportedError {
    std::string message;
};

using GdsError = std::variant<IoError, models::LayoutError, FormatError, UnsupportedError>;

// "cell `c`" for the cell of a message.
using CellNamed = std::string (*)(std::string_view cell);

// The debug form users see: Format("..."), Io(Kind(UnexpectedEof)), Layout(InvalidDbu(0.0)); a
// format error's cell is named as stored ("cell `c`: ...") or by `cell_named`.
std::string debug_text(const GdsError& error);
std::string debug_text(const GdsError& error, CellNamed cell_named);

} // namespace vork::io::gds
