#include "models/layout_error.hpp"

#include <charconv>
#include <cmath>

namespace vork::models {

std::string debug_text(LayerId id) {
    return "LayerId(" + std::to_string(id.value) + ")";
}

std::string debug_text(CellId id) {
    return "CellId(" + std::to_string(id.value) + ")";
}

std::string debug_quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

namespace {

std::string shortest(double value, std::chars_format format) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    return std::string(buffer, result.ptr);
}

// to_chars writes exponents as e-09 or e+16; the debug form has neither sign nor padding.
std::string tidy_exponent(const std::string& text) {
    const std::size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    bool negative = false;
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
        negative = exponent[0] == '-';
        exponent.erase(0, 1);
    }
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    return mantissa + "e" + (negative ? "-" : "") + exponent;
}

} // namespace

std::string debug_f64(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    const double magnitude = std::fabs(value);
    if (magnitude != 0.0 && (magnitude < 1e-4 || magnitude >= 1e16)) {
        return tidy_exponent(shortest(value, std::chars_format::scientific));
    }
    std::string text = shortest(value, std::chars_format::fixed);
    if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

namespace {

struct DebugText {
    std::string operator()(const DuplicateCellName& e) const {
        return "DuplicateCellName(" + debug_quoted(e.name) + ")";
    }
    std::string operator()(const InvalidDbu& e) const {
        return "InvalidDbu(" + debug_f64(e.micrometres) + ")";
    }
    std::string operator()(const UnknownCell& e) const {
        return "UnknownCell(" + debug_text(e.id) + ")";
    }
    std::string operator()(const UnknownLayer& e) const {
        return "UnknownLayer(" + debug_text(e.id) + ")";
    }
};

} // namespace

std::string debug_text(const LayoutError& error) {
    return std::visit(DebugText{}, error);
}

} // namespace vork::models
