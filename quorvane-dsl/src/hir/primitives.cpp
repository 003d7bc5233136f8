#include "hir/primitives.hpp"

#include <array>

namespace quorvane_dsl::hir {
namespace {

using K = ParamKind;

constexpr std::array<std::string_view, 3> ends_words = {"flush", "square", "round"};
constexpr std::array<std::string_view, 4> sbend_profiles = {"bezier", "sine", "cosine", "circular"};
constexpr std::array<std::string_view, 3> taper_profiles = {"linear", "parabolic", "exponential"};
constexpr std::array<std::string_view, 3> join_words = {"miter", "round", "bevel"};

constexpr PrimitiveParam req(std::string_view name, ParamKind kind) {
    return {name, {}, kind, true};
}
constexpr PrimitiveParam opt(std::string_view name, ParamKind kind) {
    return {name, {}, kind, false};
}
template <std::size_t N>
constexpr PrimitiveParam word(std::string_view name, const std::array<std::string_view, N>& words) {
    return {name, words, K::String, false};
}

constexpr PrimitiveParam rect[] = {req("width", K::Size), req("height", K::Size),
                                   opt("corner_radius", K::Size), opt("line_width", K::Size),
                                   opt("segments", K::Integer)};
constexpr PrimitiveParam polygon[] = {req("points", K::Points), opt("corner_radius", K::Size),
                                      opt("line_width", K::Size), opt("segments", K::Integer)};
constexpr PrimitiveParam regular_polygon[] = {
    req("sides", K::Integer),   opt("radius", K::Size),        opt("side_length", K::Size),
    opt("rotation", K::Angle),  opt("corner_radius", K::Size), opt("line_width", K::Size),
    opt("segments", K::Integer)};
constexpr PrimitiveParam circle[] = {req("radius", K::Size), opt("segments", K::Integer),
                                     opt("angle", K::Angle), opt("start_angle", K::Angle)};
constexpr PrimitiveParam ellipse[] = {req("rx", K::Size),           req("ry", K::Size),
                                      opt("segments", K::Integer),  opt("angle", K::Angle),
                                      opt("start_angle", K::Angle), opt("line_width", K::Size)};
constexpr PrimitiveParam ring[] = {req("radius", K::Size), req("width", K::SizeOrXSection),
                                   opt("segments", K::Integer), opt("angle", K::Angle),
                                   opt("start_angle", K::Angle)};
constexpr PrimitiveParam racetrack[] = {req("radius", K::Size), req("length", K::Size),
                                        req("width", K::SizeOrXSection),
                                        opt("segments", K::Integer)};
constexpr PrimitiveParam cross[] = {req("length", K::Size), req("arm_width", K::Size)};
constexpr PrimitiveParam trapezoid[] = {req("width", K::Size), req("height", K::Size),
                                        req("top_width", K::Size), opt("offset", K::Size)};
constexpr PrimitiveParam path[] = {req("points", K::Points), req("width", K::SizeOrXSection),
                                   word("ends", ends_words), opt("bend_radius", K::Size),
                                   opt("segments", K::Integer)};
constexpr PrimitiveParam straight[] = {req("length", K::Size), req("width", K::SizeOrXSection)};
constexpr PrimitiveParam arc[] = {req("radius", K::Size), req("width", K::SizeOrXSection),
                                  req("angle", K::Angle), opt("segments", K::Integer)};
constexpr PrimitiveParam euler[] = {opt("radius", K::Size),      req("width", K::SizeOrXSection),
                                    req("angle", K::Angle),      opt("p", K::Number),
                                    opt("segments", K::Integer), opt("min_radius", K::Size)};
constexpr PrimitiveParam sbend[] = {req("length", K::Size), req("offset", K::Size),
                                    req("width", K::SizeOrXSection),
                                    word("profile", sbend_profiles), opt("segments", K::Integer)};
constexpr PrimitiveParam bezier[] = {req("points", K::Points), req("width", K::SizeOrXSection),
                                     opt("segments", K::Integer)};
constexpr PrimitiveParam taper[] = {req("length", K::Size), req("width1", K::SizeOrXSection),
                                    req("width2", K::SizeOrXSection),
                                    word("profile", taper_profiles), opt("segments", K::Integer)};
constexpr PrimitiveParam text[] = {req("text", K::String), req("size", K::Size)};
constexpr PrimitiveParam union_[] = {req("a", K::Shapes), opt("b", K::Shapes)};
constexpr PrimitiveParam binary[] = {req("a", K::Shapes), req("b", K::Shapes)};
constexpr PrimitiveParam offset[] = {req("a", K::Shapes), req("distance", K::Size),
                                     word("join", join_words), opt("segments", K::Integer)};

// Indexed by the value of `Primitive`; intersection, difference and xor share one list, as do
// dilate and erode.
constexpr std::array<std::span<const PrimitiveParam>, primitive_count> table = {
    rect,      polygon, regular_polygon, circle, ellipse, ring,   racetrack, cross,
    trapezoid, path,    straight,        arc,    euler,   sbend,  bezier,    taper,
    text,      union_,  binary,          binary, binary,  offset, offset};

} // namespace

std::string_view param_kind_text(ParamKind kind) {
    switch (kind) {
    case K::Size:
        return "size";
    case K::Angle:
        return "angle";
    case K::Number:
        return "number";
    case K::Integer:
        return "integer";
    case K::String:
        return "string";
    case K::Points:
        return "[point]";
    case K::Shapes:
        return "shape | [shape]";
    case K::SizeOrXSection:
        return "size | xsection";
    }
    return "";
}

std::span<const PrimitiveParam> primitive_params(Primitive primitive) {
    return table[static_cast<std::size_t>(primitive)];
}

std::optional<std::size_t> primitive_param_index(Primitive primitive, std::string_view name) {
    const auto params = primitive_params(primitive);
    for (std::size_t i = 0; i < params.size(); ++i) {
        // Every shape statement looks its arguments up here: the first byte and the length
        // settle most mismatches without a call to compare the rest.
        const std::string_view candidate = params[i].name;
        if (candidate.size() == name.size() && !name.empty() && candidate[0] == name[0] &&
            candidate == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::string primitive_signature(Primitive primitive) {
    std::string out(primitive_name(primitive));
    out += '(';
    bool first = true;
    for (const PrimitiveParam& param : primitive_params(primitive)) {
        if (!first) {
            out += ", ";
        }
        first = false;
        out += param.name;
        out += param.required ? ": " : "?: ";
        out += param_kind_text(param.kind);
    }
    out += ')';
    return out;
}

} // namespace quorvane_dsl::hir
