#include "io/gds/error.hpp"

namespace vork::io::gds {

namespace {

struct DebugText {
    std::string operator()(const IoError& e) const { return "Io(Kind(" + e.kind + "))"; }
    std::string operator()(const models::LayoutError& e) const {
        return "Layout(" + models::debug_text(e) + ")";
    }
    std::string operator()(const FormatError& e) const {
        return "Format(" + models::debug_quoted(e.message) + ")";
    }
    std::string operator()(const UnsupportedError& e) const {
        return "Unsupported(" + models::debug_quoted(e.message) + ")";
    }
};

} // namespace

std::string debug_text(const GdsError& error) {
    return std::visit(DebugText{}, error);
}

} // namespace vork::io::gds
