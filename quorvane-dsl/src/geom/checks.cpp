#include "geom/checks.hpp"

#include <cmath>
#include <numbers>

#include "units/units.hpp"

namespace quorvane_dsl::geom {

std::optional<std::string> check_positive(std::string_view name, double value) {
    if (value > 0 && std::isfinite(value)) {
        return std::nullopt;
    }
    return std::string(name) + " must be positive, got " + units::format_length(value);
}

std::optional<std::string> check_not_negative(std::string_view name, double value) {
    if (value >= 0 && std::isfinite(value)) {
        return std::nullopt;
    }
    return std::string(name) + " must not be negative, got " + units::format_length(value);
}

std::optional<std::string> check_segments(std::int64_t segments) {
    if (segments >= 3 && segments <= 65536) {
        return std::nullopt;
    }
    return "segments must be between 3 and 65536, got " + std::to_string(segments);
}

std::size_t auto_segments(double sweep_degrees, double radius, double tol) {
    const double per_circle =
        tol >= radius ? 8.0 : std::ceil(std::numbers::pi / std::acos(1.0 - tol / radius));
    double count = std::ceil(sweep_degrees * per_circle / 360.0);
    // The lower bound stays unrounded: it only lifts coarse counts of small sweeps.
    const double least = sweep_degrees * 8.0 / 360.0;
    if (count < least) {
        count = least;
    }
    if (count > 4096.0) {
        count = 4096.0;
    }
    if (!(count >= 2.0)) {
        count = 2.0;
    }
    return static_cast<std::size_t>(count);
}

Built<std::size_t> arc_segments(std::optional<std::int64_t> segments, double sweep_degrees,
                                double radius, double tol) {
    if (!segments) {
        return auto_segments(sweep_degrees, radius, tol);
    }
    if (auto fault = check_segments(*segments)) {
        return std::unexpected(*fault);
    }
    return static_cast<std::size_t>(*segments);
}

double round_thousandth(double nanometres) {
    return std::round(nanometres * 1000.0) / 1000.0;
}

} // namespace quorvane_dsl::geom
