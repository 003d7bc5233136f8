// Errors of the GDSII stream reader and writer, printed in their debug form.
#pragma once

#include <string>
#include <variant>

#include "models/layout_error.hpp"

namespace vork::io::gds {

// An input error of the byte source, named by its kind (the reader only meets UnexpectedEof).
struct IoError {
    std::string kind;
};

struct FormatError {
    std::string message;
};

// What GDSII cannot hold.
struct UnsupportedError {
    std::string message;
};

using GdsError = std::variant<IoError, models::LayoutError, FormatError, UnsupportedError>;

// The debug form users see: Format("..."), Io(Kind(UnexpectedEof)), Layout(InvalidDbu(0.0)).
std::string debug_text(const GdsError& error);

} // namespace vork::io::gds
