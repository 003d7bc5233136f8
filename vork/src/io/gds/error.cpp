#include "io/gds/error.hpp"

namespace vork::io::gds {

namespace {

std::string stored_name(std::string_view cell) {
    return "cell `" + std::string(cell) + "`";
}

struct DebugText {
    CellNamed cell_named;
    std::string operator()(const IoError& e) const { return "Io(Kind(" + e.kind + "))"; }
    std::string operator()(const models::LayoutError& e) const {
        return "Layout(" + models::debug_text(e) + ")";
    }
    std::string operator()(const FormatError& e) const {
        const std::string message =
            e.cell.empty() ? e.message : cell_named(e.cell) + ": " + e.message;
        return "Format(" + models::debug_quoted(message) + ")";
    }
    std::string operator()(const UnsupportedError& e) const {
        return "Unsupported(" + models::debug_quoted(e.message) + ")";
    }
};

} // namespace

std::string debug_text(const GdsError& error) {
    return debug_text(error, stored_name);
}

std::string debug_text(const GdsError& error, CellNamed cell_named) {
    return std::visit(DebugText{cell_named}, error);
}

} // namespace vork::io::gds
