// Shape statements: arguments bound to the primitive's parameters, read by kind and handed to
// the closed constructors, or kept as the recipe of a derived shape.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <span>
#include <string>
#include <utility>

#include "base/fatal.hpp"
#include "eval/evaluator.hpp"
#include "eval/shapes.hpp"
#include "eval/xs_value.hpp"
#include "geom/arc.hpp"
#include "geom/bezier.hpp"
#include "geom/closed.hpp"
#include "geom/euler.hpp"
#include "geom/path.hpp"
#include "geom/sbend.hpp"
#include "geom/taper.hpp"
#include "geom/text.hpp"
#include "hir/primitives.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::eval {

std::optional<std::vector<ShapeId>> shape_indices(const Value& value) {
    if (const auto* shape = std::get_if<Value::Shape>(&value.kind)) {
        return std::vector<ShapeId>{shape->id};
    }
    const auto* list = std::get_if<Value::List>(&value.kind);
    if (!list) {
        return std::nullopt;
    }
    std::vector<ShapeId> ids;
    ids.reserve(list->elements().size());
    for (const Value& element : list->elements()) {
        const auto* shape = std::get_if<Value::Shape>(&element.kind);
        if (!shape) {
            return std::nullopt;
        }
        ids.push_back(shape->id);
    }
    return ids;
}

namespace {

// The arguments of a statement by parameter position; empty where none was given.
using Slots = std::span<const std::optional<Value>>;

// Every primitive has at most this many parameters, so a statement's slots live on the stack.
constexpr std::size_t max_params = 8;

bool is_derived(hir::Primitive p) {
    return p >= hir::Primitive::Union;
}

// The parameters this file reads. Each is found in every primitive's list once, before `main`,
// not at every statement: a design may have a million statements, each reading several.
constexpr std::array<std::string_view, 31> names = {
    "a",          "angle",       "arm_width", "b",         "bend_radius", "corner_radius",
    "distance",   "ends",        "height",    "join",      "length",      "line_width",
    "min_radius", "offset",      "p",         "points",    "profile",     "radius",
    "rotation",   "rx",          "ry",        "segments",  "side_length", "sides",
    "size",       "start_angle", "text",      "top_width", "width",       "width1",
    "width2"};

// A parameter by its position in `names`, found while compiling: a name missing there does not
// build.
struct Name {
    std::uint8_t index;

    consteval Name(const char* text) : index(position(text)) {}

  private:
    static consteval std::uint8_t position(std::string_view text) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == text) {
                return static_cast<std::uint8_t>(i);
            }
        }
        throw "a parameter name missing from `names`";
    }
};

constexpr std::uint8_t no_param = 0xff;

using ParamTable = std::array<std::array<std::uint8_t, names.size()>, hir::primitive_count>;

ParamTable param_table() {
    ParamTable positions{};
    for (std::size_t primitive = 0; primitive < hir::primitive_count; ++primitive) {
        if (hir::primitive_params(static_cast<hir::Primitive>(primitive)).size() > max_params) {
            base::fatal("internal error: a primitive has more parameters than a statement has "
                        "slots");
        }
        for (std::size_t n = 0; n < names.size(); ++n) {
            const auto found =
                hir::primitive_param_index(static_cast<hir::Primitive>(primitive), names[n]);
            positions[primitive][n] = found ? static_cast<std::uint8_t>(*found) : no_param;
        }
    }
    return positions;
}

// Made before `main`, from the constant table of primitives, so that a look-up is one load.
const ParamTable param_positions = param_table();

// The position of `name` in the parameters of `p`, or none.
std::optional<std::size_t> param_index(hir::Primitive p, Name name) {
    const std::uint8_t position = param_positions[static_cast<std::size_t>(p)][name.index];
    return position == no_param ? std::nullopt : std::optional<std::size_t>(position);
}

// The slot of the parameter `name`; none when the primitive lacks it or it is empty.
const Value* slot(const Slots& slots, hir::Primitive p, Name name) {
    const auto index = param_index(p, name);
    if (!index || !slots[*index]) {
        return nullptr;
    }
    return &*slots[*index];
}

// A quantity or an integer as f64; anything else counts as not given.
std::optional<double> optional_number(const Slots& slots, hir::Primitive p, Name name) {
    const Value* v = slot(slots, p, name);
    if (!v) {
        return std::nullopt;
    }
    if (const auto* q = std::get_if<Value::Quantity>(&v->kind)) {
        return q->value;
    }
    if (const auto* i = std::get_if<Value::Int>(&v->kind)) {
        return static_cast<double>(i->value);
    }
    return std::nullopt;
}

double number(const Slots& slots, hir::Primitive p, Name name) {
    return optional_number(slots, p, name).value_or(0.0);
}

std::optional<std::int64_t> integer(const Slots& slots, hir::Primitive p, Name name) {
    const Value* v = slot(slots, p, name);
    const auto* i = v ? std::get_if<Value::Int>(&v->kind) : nullptr;
    return i ? std::optional(i->value) : std::nullopt;
}

// What refuses a statement before any constructor runs: a message, or an empty one when the
// checker has reported the fault already.
template <class T> using Refused = std::expected<T, std::string>;

Refused<geom::Points> point_list(const Slots& s, hir::Primitive p) {
    const Value* v = slot(s, p, "points");
    const auto* list = v ? std::get_if<Value::List>(&v->kind) : nullptr;
    if (!list) {
        return std::unexpected("expected a list of points");
    }
    geom::Points points;
    points.reserve(list->elements().size());
    for (const Value& element : list->elements()) {
        const auto* point = std::get_if<Value::Point>(&element.kind);
        if (!point) {
            return std::unexpected("expected points, found " + std::string(element.describe()));
        }
        points.push_back({point->x, point->y});
    }
    return points;
}

// The word's position in the parameter's choices; an empty slot is the first word.
Refused<std::uint8_t> word(const Slots& s, hir::Primitive p, Name name) {
    const Value* v = slot(s, p, name);
    if (!v) {
        return 0;
    }
    const auto* str = std::get_if<Value::Str>(&v->kind);
    if (!str) {
        return std::unexpected("");
    }
    const auto choices = hir::primitive_params(p)[*param_index(p, name)].choices;
    std::string quoted;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i] == *str->text) {
            return static_cast<std::uint8_t>(i);
        }
        quoted += (i ? ", \"" : "\"") + std::string(choices[i]) + "\"";
    }
    return std::unexpected("`" + std::string(names[name.index]) + "` must be one of " + quoted);
}

Refused<std::vector<ShapeId>> operand(const Slots& s, hir::Primitive p, Name name) {
    const Value* v = slot(s, p, name);
    if (!v) {
        return std::vector<ShapeId>{};
    }
    auto ids = shape_indices(*v);
    if (!ids) {
        // A list names its first element that is not a shape.
        const Value* culprit = v;
        if (const auto* list = std::get_if<Value::List>(&v->kind)) {
            for (const Value& element : list->elements()) {
                if (!std::holds_alternative<Value::Shape>(element.kind)) {
                    culprit = &element;
                    break;
                }
            }
        }
        return std::unexpected("expected a shape or a list of shapes, found " +
                               std::string(culprit->describe()));
    }
    return std::move(*ids);
}

Refused<Derived> derived_def(hir::Primitive p, const Slots& s,
                             std::optional<std::int64_t> segments) {
    auto a = operand(s, p, "a");
    if (!a) {
        return std::unexpected(a.error());
    }
    auto b = operand(s, p, "b");
    if (!b) {
        return std::unexpected(b.error());
    }
    const double distance = number(s, p, "distance");
    if (!(distance >= 0) || std::isinf(distance)) {
        return std::unexpected("invalid " + std::string(hir::primitive_name(p)) +
                               ": distance must not be negative, got " +
                               units::format_length(distance));
    }
    std::uint8_t join = 0;
    if (p == hir::Primitive::Dilate || p == hir::Primitive::Erode) {
        auto chosen = word(s, p, "join");
        if (!chosen) {
            return std::unexpected(chosen.error());
        }
        join = *chosen;
    }
    if (segments && (*segments < 3 || *segments > 65536)) {
        return std::unexpected("segments must be between 3 and 65536, got " +
                               std::to_string(*segments));
    }
    return Derived{p, std::move(*a), std::move(*b), distance, join, segments};
}

// Euler bends take exactly one of `radius` and `min_radius`: whether it is the minimum radius,
// and its value. The checker reported both or neither.
Refused<std::pair<bool, double>> euler_radius(const Slots& s, hir::Primitive p) {
    const auto radius = optional_number(s, p, "radius");
    const auto min_radius = optional_number(s, p, "min_radius");
    if (radius.has_value() == min_radius.has_value()) {
        return std::unexpected("");
    }
    return std::pair{min_radius.has_value(), min_radius ? *min_radius : *radius};
}

// The plain-road constructor of `p` on the arguments; the outer error refuses the statement,
// the inner one is the constructor's own message.
Refused<geom::Built<geom::LocalShape>>
plain_shape(hir::Primitive p, const Slots& s, std::optional<std::int64_t> segments, double tol) {
    using P = hir::Primitive;
    const auto opt = [&](Name name) { return optional_number(s, p, name); };
    const auto num = [&](Name name) { return number(s, p, name); };
    switch (p) {
    case P::Rect:
        return geom::rect(num("width"), num("height"), opt("corner_radius"), opt("line_width"),
                          segments, tol);
    case P::Polygon: {
        auto points = point_list(s, p);
        if (!points) {
            return std::unexpected(points.error());
        }
        return geom::polygon(std::move(*points), opt("corner_radius"), opt("line_width"), segments,
                             tol);
    }
    case P::RegularPolygon:
        return geom::regular_polygon(integer(s, p, "sides").value_or(0), opt("radius"),
                                     opt("side_length"), num("rotation"), opt("corner_radius"),
                                     opt("line_width"), segments, tol);
    case P::Circle:
        return geom::circle(num("radius"), segments, opt("angle"), opt("start_angle"), tol);
    case P::Ellipse:
        return geom::ellipse(num("rx"), num("ry"), segments, opt("angle"), opt("start_angle"),
                             opt("line_width"), tol);
    case P::Ring:
        return geom::ring(num("radius"), num("width"), segments, opt("angle"), opt("start_angle"),
                          tol);
    case P::Racetrack:
        return geom::racetrack(num("radius"), num("length"), num("width"), segments, tol);
    case P::Cross:
        return geom::cross(num("length"), num("arm_width"));
    case P::Trapezoid:
        return geom::trapezoid(num("width"), num("height"), num("top_width"), num("offset"));
    case P::Path: {
        const auto ends = word(s, p, "ends");
        if (!ends) {
            return std::unexpected(ends.error());
        }
        auto points = point_list(s, p);
        if (!points) {
            return std::unexpected(points.error());
        }
        return geom::path(std::move(*points), geom::PathEnds{*ends}, opt("bend_radius"), segments,
                          num("width"), tol);
    }
    case P::Straight: {
        // The one band's geometry is the whole shape.
        auto banded = geom::straight_bands({geom::Band{0, num("width")}}, num("length"));
        if (!banded) {
            return geom::Built<geom::LocalShape>(std::unexpected(std::move(banded.error())));
        }
        return geom::Built<geom::LocalShape>(std::move(banded->shape));
    }
    case P::Arc:
        return geom::arc(segments, num("radius"), num("width"), num("angle"), tol);
    case P::Euler: {
        const auto radius = euler_radius(s, p);
        if (!radius) {
            return std::unexpected(radius.error());
        }
        return geom::euler(radius->first, radius->second, num("width"), num("angle"), opt("p"),
                           segments, tol);
    }
    case P::Sbend: {
        const auto profile = word(s, p, "profile");
        if (!profile) {
            return std::unexpected(profile.error());
        }
        return geom::sbend(geom::SbendProfile{*profile}, segments, num("length"), num("offset"),
                           num("width"), tol);
    }
    case P::Bezier: {
        auto points = point_list(s, p);
        if (!points) {
            return std::unexpected(points.error());
        }
        return geom::bezier(std::move(*points), segments, num("width"), tol);
    }
    case P::Taper: {
        const auto profile = word(s, p, "profile");
        if (!profile) {
            return std::unexpected(profile.error());
        }
        return geom::taper(geom::TaperProfile{*profile}, segments, num("length"), num("width1"),
                           num("width2"), tol);
    }
    case P::Text: {
        const Value* text = slot(s, p, "text");
        const auto* str = text ? std::get_if<Value::Str>(&text->kind) : nullptr;
        if (!str) {
            return std::unexpected("");
        }
        return geom::text(*str->text, num("size"));
    }
    default:
        return std::unexpected("");
    }
}

// The band builder of `p` on the arguments, `width` standing for the bands.
Refused<geom::Built<geom::Banded>> banded_shape(hir::Primitive p, const Slots& s,
                                                const geom::Bands& bands,
                                                std::optional<std::int64_t> segments, double tol) {
    using P = hir::Primitive;
    const auto opt = [&](Name name) { return optional_number(s, p, name); };
    const auto num = [&](Name name) { return number(s, p, name); };
    switch (p) {
    case P::Ring:
        return geom::ring_bands(bands, segments, opt("angle"), opt("start_angle"), num("radius"),
                                tol);
    case P::Racetrack:
        return geom::racetrack_bands(bands, segments, num("radius"), num("length"), tol);
    case P::Path: {
        const auto ends = word(s, p, "ends");
        if (!ends) {
            return std::unexpected(ends.error());
        }
        auto points = point_list(s, p);
        if (!points) {
            return std::unexpected(points.error());
        }
        return geom::path_bands(std::move(*points), bands, geom::PathEnds{*ends},
                                opt("bend_radius"), segments, tol);
    }
    case P::Straight:
        return geom::straight_bands(bands, num("length"));
    case P::Arc:
        return geom::arc_bands(bands, segments, num("radius"), num("angle"), tol);
    case P::Euler: {
        const auto radius = euler_radius(s, p);
        if (!radius) {
            return std::unexpected(radius.error());
        }
        return geom::euler_bands(radius->first, radius->second, bands, num("angle"), opt("p"),
                                 segments, tol);
    }
    case P::Sbend: {
        const auto profile = word(s, p, "profile");
        if (!profile) {
            return std::unexpected(profile.error());
        }
        return geom::sbend_bands(bands, geom::SbendProfile{*profile}, segments, num("length"),
                                 num("offset"), tol);
    }
    case P::Bezier: {
        auto points = point_list(s, p);
        if (!points) {
            return std::unexpected(points.error());
        }
        return geom::bezier_bands(std::move(*points), bands, segments, tol);
    }
    default:
        return std::unexpected("");
    }
}

// The bands of a taper from `from` to `to`: bands on one layer pair in order, the rest grow
// from or shrink to nothing at the other end's main width.
std::vector<std::pair<hir::LayerId, geom::TaperBand>> taper_pairs(const XsValue& from,
                                                                  const XsValue& to) {
    std::vector<std::pair<hir::LayerId, geom::TaperBand>> pairs;
    std::vector<bool> used(to.bands.size(), false);
    const geom::Band from_main{0, from.bands.front().second.width};
    const geom::Band to_main{0, to.bands.front().second.width};
    for (std::size_t i = 0; i < from.bands.size(); ++i) {
        const auto& [layer, band] = from.bands[i];
        const auto same_layer = [&](const auto& b) { return b.first == layer; };
        const auto before = std::count_if(from.bands.begin(), from.bands.begin() + i, same_layer);
        geom::Band partner = to_main;
        std::ptrdiff_t seen = 0;
        for (std::size_t j = 0; j < to.bands.size(); ++j) {
            if (to.bands[j].first == layer && seen++ == before) {
                used[j] = true;
                partner = to.bands[j].second;
                break;
            }
        }
        pairs.emplace_back(layer, geom::TaperBand{band, partner});
    }
    for (std::size_t j = 0; j < to.bands.size(); ++j) {
        if (!used[j]) {
            pairs.emplace_back(to.bands[j].first, geom::TaperBand{from_main, to.bands[j].second});
        }
    }
    return pairs;
}

// A bend tighter than the cross-section allows, described; none when it fits.
std::optional<std::string> radius_fault(const std::string& primitive, double radius,
                                        double min_radius, const std::string& xs_name) {
    if (!(radius < min_radius * 0.999999999)) {
        return std::nullopt;
    }
    const std::string least = units::format_length(min_radius);
    if (radius == 0) {
        return "this path turns at sharp corners, but cross-section `" + xs_name +
               "` bends with a radius of at least " + least + "; give `bend_radius`";
    }
    return "the tightest radius of this " + primitive + " is " +
           units::format_length(std::round(radius * 1000) / 1000) + ", below the minimum radius " +
           least + " of cross-section `" + xs_name + "`";
}

bool any_xsection(const Slots& s) {
    return std::ranges::any_of(s, [](const std::optional<Value>& v) {
        return v && std::holds_alternative<Value::XSection>(v->kind);
    });
}

const std::shared_ptr<const XsValue>* xsection_in(const Slots& s, hir::Primitive p, Name name) {
    const Value* v = slot(s, p, name);
    const auto* xs = v ? std::get_if<Value::XSection>(&v->kind) : nullptr;
    return xs ? &xs->value : nullptr;
}

// A primitive drawn with the bands of `xs`.
Refused<BandedDef> banded_def(hir::Primitive p, const Slots& s, std::shared_ptr<const XsValue> xs,
                              const std::string& xs_name, std::optional<std::int64_t> segments,
                              double tol) {
    geom::Bands bands;
    BandedDef def;
    bands.reserve(xs->bands.size());
    def.layers.reserve(xs->bands.size());
    for (const auto& [layer, band] : xs->bands) {
        bands.push_back(band);
        def.layers.push_back(layer);
    }
    auto built = banded_shape(p, s, bands, segments, tol);
    if (!built) {
        return std::unexpected(built.error());
    }
    const std::string name(hir::primitive_name(p));
    if (!*built) {
        return std::unexpected("invalid " + name + ": " + built->error());
    }
    if (xs->min_radius) {
        if (auto fault = radius_fault(name, (*built)->radius, *xs->min_radius, xs_name)) {
            return std::unexpected(std::move(*fault));
        }
    }
    def.built = std::move(**built);
    def.start = def.built.shape.anchor("start") ? xs : nullptr;
    def.xsection = std::move(xs);
    return def;
}

// A taper from the bands of `from` to those of `to`.
Refused<BandedDef> taper_def(const Slots& s, std::shared_ptr<const XsValue> from,
                             std::shared_ptr<const XsValue> to,
                             std::optional<std::int64_t> segments, double tol) {
    constexpr auto p = hir::Primitive::Taper;
    if (from->bands.front().first != to->bands.front().first) {
        return std::unexpected(
            "the main sections of a taper's cross-sections must be on the same layer");
    }
    const auto profile = word(s, p, "profile");
    if (!profile) {
        return std::unexpected(profile.error());
    }
    BandedDef def;
    std::vector<geom::TaperBand> bands;
    geom::Bands ends;
    for (const auto& [layer, band] : taper_pairs(*from, *to)) {
        def.layers.push_back(layer);
        bands.push_back(band);
        ends.push_back(band.start);
        ends.push_back(band.end);
    }
    // Both ends' bands go through the same checks as any cross-section's: an offset that is not
    // finite would otherwise reach the outline as coordinates that are not numbers.
    if (auto fault = geom::check_bands(ends)) {
        return std::unexpected("invalid taper: " + *fault);
    }
    auto built = geom::taper_bands(bands, geom::TaperProfile{*profile}, segments,
                                   number(s, p, "length"), tol);
    if (!built) {
        return std::unexpected("invalid taper: " + built.error());
    }
    def.built = std::move(*built);
    def.start = std::move(from);
    def.xsection = std::move(to);
    return def;
}

} // namespace

Result<ShapeDef> Evaluator::shape_def(hir::Primitive primitive, std::span<const hir::Arg> args,
                                      Env& env, CellState& cell, hir::Src src) {
    const auto refuse = [&](const std::string& message) -> std::unexpected<Stop> {
        if (message.empty()) {
            return std::unexpected(Stop{});
        }
        return fail(src, message);
    };
    // Every primitive fits the slots: the table of parameter positions checks it before `main`.
    const auto params = hir::primitive_params(primitive);
    std::array<std::optional<Value>, max_params> held;
    const std::span<std::optional<Value>> slots(held.data(), params.size());
    std::size_t positional = 0;
    for (const hir::Arg& arg : args) {
        std::size_t index = positional;
        if (arg.name) {
            const auto named = hir::primitive_param_index(primitive, hir.text(arg.name->name));
            if (!named) {
                return std::unexpected(Stop{});
            }
            index = *named;
        } else {
            ++positional;
        }
        auto value = eval(arg.value, env, &cell);
        if (!value) {
            return std::unexpected(value.error());
        }
        // The checker reported surplus arguments already.
        if (index >= slots.size()) {
            return std::unexpected(Stop{});
        }
        slots[index] = std::move(*value);
    }
    const auto segments = integer(slots, primitive, "segments");
    // Only a cross-section argument makes a banded shape or a taper; most statements have none.
    if (any_xsection(slots)) {
        if (const auto* xs = xsection_in(slots, primitive, "width")) {
            auto banded =
                banded_def(primitive, slots, *xs, hir.xsections[(*xs)->def].name, segments, dbu);
            if (!banded) {
                return refuse(banded.error());
            }
            return ShapeDef{std::move(*banded)};
        }
        const auto* from = xsection_in(slots, primitive, "width1");
        const auto* to = xsection_in(slots, primitive, "width2");
        if (from && to) {
            auto banded = taper_def(slots, *from, *to, segments, dbu);
            if (!banded) {
                return refuse(banded.error());
            }
            return ShapeDef{std::move(*banded)};
        }
        if (from || to) {
            return fail(src, "the widths of a taper are both sizes or both cross-sections");
        }
    }
    if (is_derived(primitive)) {
        auto derived = derived_def(primitive, slots, segments);
        if (!derived) {
            return refuse(derived.error());
        }
        return ShapeDef{std::move(*derived)};
    }
    auto built = plain_shape(primitive, slots, segments, dbu);
    if (!built) {
        return refuse(built.error());
    }
    if (!*built) {
        return fail(src, "invalid " + std::string(hir::primitive_name(primitive)) + ": " +
                             built->error());
    }
    return ShapeDef{std::move(**built)};
}

void Evaluator::exec_shape(hir::StmtId stmt, const hir::Stmt::Shape& statement, Env& env,
                           CellState& cell) {
    const hir::Src src = hir.stmt_src(stmt);
    Result<ShapeDef> def = std::unexpected(Stop{});
    if (statement.primitive) {
        def = shape_def(*statement.primitive, hir.args_of(statement.args), env, cell, src);
    }
    const bool banded = def && std::holds_alternative<BandedDef>(*def);
    if (def && banded && statement.in_layer) {
        def = fail(src, "a shape drawn with a cross-section gets its layers from it; write it "
                        "outside `layer` blocks");
    }
    if (def && !banded && !statement.in_layer) {
        def = fail(src, "`shape` must be inside a `layer` block, unless its width is a "
                        "cross-section");
    }
    const auto id = name_shape(statement.binding, statement.layer, env, cell);
    if (!id) {
        return;
    }
    RtShape& shape = cell.shape(*id);
    shape.layer = statement.layer;
    if (!def) {
        shape.failed = true;
        return;
    }
    if (auto* local = std::get_if<geom::LocalShape>(&*def)) {
        shape.shape = std::move(*local);
        return;
    }
    if (auto* drawn = std::get_if<BandedDef>(&*def)) {
        adopt_bands(shape, std::move(*drawn));
        return;
    }
    adopt_recipe(*id, std::get<Derived>(std::move(*def)), cell, [&](const Derived& recipe) {
        return "`" + shape_name(shape) + "` is the result of `" +
               std::string(hir::primitive_name(recipe.operation)) +
               "` and lies where its operands are placed; it cannot be placed";
    });
}

void Evaluator::adopt_bands(RtShape& shape, BandedDef drawn) {
    shape.layer = drawn.layers.front();
    shape.shape = std::move(drawn.built.shape);
    shape.pieces.reserve(drawn.built.others.size());
    for (std::size_t i = 0; i < drawn.built.others.size(); ++i) {
        shape.pieces.emplace_back(drawn.layers[i + 1], std::move(drawn.built.others[i]));
    }
    shape.banded = true;
    shape.xsections.emplace(std::move(drawn.start), std::move(drawn.xsection));
}

// A recorded placement of the name is refused where it was written; the shape then fails.
void Evaluator::adopt_recipe(ShapeId id, Derived recipe, CellState& cell,
                             const std::function<std::string(const Derived&)>& refusal) {
    RtShape& shape = cell.shape(id);
    if (const auto* pending = std::get_if<Pending>(&shape.place.kind)) {
        fail(hir.stmt_src(pending->stmt), refusal(recipe));
        shape.failed = true;
        return;
    }
    shape.derived = std::move(recipe);
}

void Evaluator::exec_shape_expr(const hir::Stmt::ShapeExpr& statement, Env& env, CellState& cell) {
    std::uint8_t statement_join = 0;
    if (statement.join) {
        auto v = eval(*statement.join, env, &cell);
        if (!v) {
            return;
        }
        const auto* str = std::get_if<Value::Str>(&v->kind);
        if (!str) {
            return;
        }
        static constexpr std::string_view joins[] = {"miter", "round", "bevel"};
        const auto* found = std::find(std::begin(joins), std::end(joins), *str->text);
        if (found == std::end(joins)) {
            fail_expr(*statement.join, "the join must be \"miter\", \"round\" or \"bevel\"");
            return;
        }
        statement_join = static_cast<std::uint8_t>(found - std::begin(joins));
    }
    const std::size_t before = cell.shapes.size();
    const std::uint8_t outer_join = join;
    join = statement_join;
    auto value = eval(statement.expr, env, &cell);
    join = outer_join;
    std::optional<Derived> recipe;
    if (value) {
        const auto* made = std::get_if<Value::Shape>(&value->kind);
        if (made && made->id.index >= before && cell.shape(made->id).derived) {
            // The temporary shape of the expression hands its recipe over and is never written.
            RtShape& temporary = cell.shape(made->id);
            recipe = std::move(temporary.derived);
            temporary.derived.reset();
            temporary.failed = true;
        } else if (auto ids = shape_indices(*value)) {
            recipe = Derived{hir::Primitive::Union, std::move(*ids), {}, 0, statement_join, {}};
        } else {
            fail_expr(statement.expr, "expected shapes, found " + std::string(value->describe()));
            return;
        }
    }
    const auto id = name_shape(statement.binding, statement.layer, env, cell);
    if (!id) {
        return;
    }
    RtShape& shape = cell.shape(*id);
    shape.layer = statement.layer;
    if (!recipe) {
        shape.failed = true;
        return;
    }
    adopt_recipe(*id, std::move(*recipe), cell, [&](const Derived&) {
        return "`" + shape_name(shape) +
               "` combines other shapes and lies where they are placed; it "
               "cannot be placed";
    });
}

void Evaluator::exec_clone(hir::StmtId stmt, const hir::Stmt::Clone& statement, Env& env,
                           CellState& cell) {
    const hir::Src src = hir.stmt_src(stmt);
    const auto* local = std::get_if<hir::Res::Local>(&statement.source.kind);
    if (!local) {
        return;
    }
    auto source = binding_value(local->binding, env, cell, src);
    if (!source) {
        return;
    }
    const auto* from = std::get_if<Value::Shape>(&source->kind);
    if (!from) {
        fail(src, "`clone` needs a shape");
        return;
    }
    if (cell.shape(from->id).failed) {
        return;
    }
    if ((cell.shape(from->id).derived || cell.shape(from->id).view) &&
        !resolve_shape(from->id, cell)) {
        return;
    }
    const RtShape& original = cell.shape(from->id);
    if (!original.shape) {
        fail(src, "shape `" + shape_name(original) + "` is not defined yet");
        return;
    }
    // A copy of a banded shape takes its layers from its bands; any other copy from its block.
    if (original.banded == statement.in_layer) {
        if (hir.bindings[statement.binding].recorded) {
            if (const auto id = name_shape(statement.binding, std::nullopt, env, cell)) {
                cell.shape(*id).failed = true;
            }
        }
        fail(src, original.banded ? "a copy of a shape drawn with a cross-section has its layers; "
                                    "write `clone` outside `layer` blocks"
                                  : "`clone` must be inside a `layer` block, unless it copies a "
                                    "shape drawn with a cross-section");
        return;
    }
    // Copied before naming: the new shape may grow the list the original lives in.
    RtShape copy;
    copy.shape = original.shape;
    copy.layer = original.layer;
    copy.pieces = original.pieces;
    copy.banded = original.banded;
    copy.xsections = original.xsections;
    const auto id = name_shape(statement.binding, copy.layer, env, cell);
    if (!id) {
        return;
    }
    RtShape& target = cell.shape(*id);
    target.shape = std::move(copy.shape);
    target.layer = copy.layer;
    target.pieces = std::move(copy.pieces);
    target.banded = copy.banded;
    target.xsections = std::move(copy.xsections);
}

} // namespace quorvane_dsl::eval
