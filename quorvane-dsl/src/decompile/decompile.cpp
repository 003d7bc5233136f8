#include "decompile/decompile.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "base/utf8.hpp"
#include "decompile/decompiler.hpp"
#include "format/format.hpp"
#include "syntax/kind.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::decompile {

namespace {

// The language's builtin functions and constants; a name equal to one would hide it.
constexpr std::array<std::string_view, 19> builtin_names = {
    "sqrt", "abs", "min",  "max",  "floor", "ceil",  "round", "sign", "pow", "sin",
    "cos",  "tan", "asin", "acos", "atan",  "atan2", "len",   "str",  "pi"};

bool is_reserved(std::string_view word) {
    return syntax::kind::from_keyword(word).has_value() ||
           std::ranges::find(builtin_names, word) != builtin_names.end();
}

std::string identifier_base(std::string_view text) {
    std::string base;
    base.reserve(text.size() + 1);
    // One "_" for every character that is not an ASCII letter or digit, whatever its length
    // in bytes; a byte outside any UTF-8 character counts as one character.
    for (std::size_t pos = 0; pos < text.size();) {
        const base::utf8::Decoded decoded = base::utf8::decode(text, pos);
        base += is_ascii_alnum(decoded.ch) ? static_cast<char>(decoded.ch) : '_';
        pos += decoded.len;
    }
    if (base.empty() || (base[0] >= '0' && base[0] <= '9')) {
        base.insert(base.begin(), '_');
    }
    if (is_reserved(base)) {
        base += '_';
    }
    return base;
}

// The layer table of the layers the source does not name; fills in every layer's name.
void write_layers(Decompiler& d, const LayerSource* source) {
    std::string lines;
    d.layer_names.reserve(d.library.layers.size());
    for (const ir::Layer& layer : d.library.layers) {
        if (source) {
            if (const auto named = source->layers.find({layer.layer, layer.datatype});
                named != source->layers.end()) {
                d.layer_names.push_back(named->second);
                continue;
            }
        }
        std::string name = identifier(layer.name, d.names);
        if (!lines.empty()) {
            lines += '\n';
        }
        lines += "    " + name + " { gds " + std::to_string(layer.layer) + "/" +
                 std::to_string(layer.datatype) + " }";
        d.layer_names.push_back(std::move(name));
    }
    if (!lines.empty()) {
        d.output.text() += "define layer {\n" + lines + "\n}\n\n";
    }
}

} // namespace

namespace {

// The base X of a name X_N, N a number without leading zeros; none for other names.
std::optional<std::string_view> numbered_base(std::string_view name) {
    const std::size_t underscore = name.rfind('_');
    if (underscore == std::string_view::npos || underscore + 1 == name.size() ||
        name[underscore + 1] == '0') {
        return std::nullopt;
    }
    const bool digits = std::ranges::all_of(name.substr(underscore + 1),
                                            [](char c) { return c >= '0' && c <= '9'; });
    return digits ? std::optional(name.substr(0, underscore)) : std::nullopt;
}

} // namespace

bool NameSet::contains(std::string_view name) const {
    return own_.contains(name) || counted(name) || (outer_ && outer_->contains(name));
}

void NameSet::insert(std::string name) {
    if (const std::optional<std::string_view> base = numbered_base(name)) {
        numbered_.emplace(*base);
    }
    own_.insert(std::move(name));
}

bool NameSet::counted(std::string_view name) const {
    const std::optional<std::string_view> base = numbered_base(name);
    if (!base) {
        return false;
    }
    std::uint64_t number = 0;
    const char* first = base->data() + base->size() + 1;
    const char* last = name.data() + name.size();
    if (std::from_chars(first, last, number).ec != std::errc{}) {
        return false;
    }
    const auto counter = counters_.find(*base);
    return counter != counters_.end() && number < counter->second;
}

bool NameSet::may_hold_numbered(std::string_view base) const {
    for (const NameSet* names = this; names; names = names->outer_) {
        // Most sets hold neither; those skip the hashing.
        if ((!names->numbered_.empty() && names->numbered_.contains(base)) ||
            (!names->counters_.empty() && names->counters_.contains(base))) {
            return true;
        }
    }
    return false;
}

std::string NameSet::take(std::string base) {
    // A base with a counter is taken already; a million shapes of one base skip that test.
    auto known = counters_.find(base);
    if (known == counters_.end()) {
        if (!contains(base)) {
            insert(base);
            return base;
        }
        known = counters_.emplace(std::move(base), 1).first;
    }
    // The counter itself passes over the names it made; any other base_N was inserted, here
    // or outside, or counted outside.
    const bool clash_possible = (!numbered_.empty() && numbered_.contains(known->first)) ||
                                (outer_ && outer_->may_hold_numbered(known->first));
    std::string candidate;
    for (;; ++known->second) {
        candidate = known->first;
        candidate += '_';
        candidate += std::to_string(known->second);
        if (!clash_possible || !contains(candidate)) {
            break;
        }
    }
    ++known->second;
    return candidate;
}

std::string identifier(std::string_view text, NameSet& names) {
    return names.take(identifier_base(text));
}

namespace {

// A generous guess of the generated text's size; memory reserved beyond it is never touched.
std::size_t expected_size(const ir::Library& library) {
    std::size_t bytes = 4096;
    for (const ir::Cell& cell : library.cells) {
        bytes += 256 + 128 * cell.instances.size();
        for (const ir::Shape& shape : cell.shapes) {
            bytes += 128;
            if (const auto* polygon = std::get_if<ir::Polygon>(&shape.geometry.kind)) {
                bytes += 32 * polygon->points.size();
            } else if (const auto* path = std::get_if<ir::Path>(&shape.geometry.kind)) {
                bytes += 32 * path->points.size();
            }
        }
    }
    return bytes;
}

// The text of the library into `d.output`, with the warnings of the cells.
void generate(Decompiler& d, const LayerSource* source) {
    // `define dbu` is written by this text or may be by the imported one; a cell or layer of
    // that name would be defined twice.
    d.names.insert("dbu");
    // The loop variables of instance arrays; a cell of either name could not be placed there.
    d.names.insert("i");
    d.names.insert("j");
    if (source) {
        for (const auto& [gds, name] : source->layers) {
            d.names.insert(name);
        }
        for (const std::string& name : source->globals) {
            d.names.insert(name);
        }
    }
    std::string& frame = d.output.text();
    frame += "# Decompiled by quorvane.\n\n";
    if (source) {
        frame += "import " + units::escape_string(source->import_path) + "\n\n";
    }
    if (std::fabs(d.library.dbu - 1.0) > 1e-12) {
        frame += "define dbu = " + units::format_length(d.library.dbu) + "\n\n";
    }
    write_layers(d, source);
    d.cell_names.reserve(d.library.cells.size());
    for (const ir::Cell& cell : d.library.cells) {
        d.cell_names.push_back(identifier(cell.name, d.names));
    }
    for (std::size_t index = 0; index < d.library.cells.size(); ++index) {
        d.cell(index);
    }
}

} // namespace

Decompiled unformatted(const ir::Library& library, const LayerSource* source) {
    std::string text;
    Decompiler d{.output = Output(false, {}, [&](std::string whole) { text = std::move(whole); }),
                 .library = library};
    d.output.reserve(expected_size(library));
    generate(d, source);
    // Without formatting nothing can be rejected, and the text comes whole.
    (void)std::move(d.output).finish();
    return {std::move(text), std::move(d.warnings)};
}

std::expected<std::vector<std::string>, Unparsed> decompile_in_pieces(const ir::Library& library,
                                                                      const LayerSource* source,
                                                                      PieceLimits limits,
                                                                      const TextSink& sink) {
    Decompiler d{.output = Output(true, limits, sink), .library = library};
    generate(d, source);
    if (auto finished = std::move(d.output).finish(); !finished) {
        return std::unexpected(finished.error());
    }
    return std::move(d.warnings);
}

std::expected<std::vector<std::string>, Unparsed>
decompile_to(const ir::Library& library, const LayerSource* source, const TextSink& sink) {
    return decompile_in_pieces(library, source, {}, sink);
}

Decompiled decompile(const ir::Library& library, const LayerSource* source) {
    std::string text;
    const auto append = [&](std::string piece) { text += piece; };
    if (auto warnings = decompile_to(library, source, append)) {
        return {std::move(text), std::move(*warnings)};
    }
    // A piece was rejected: the whole text decides, and the count of errors is the whole's.
    Decompiled generated = unformatted(library, source);
    auto formatted = format::format(generated.text);
    if (formatted) {
        generated.text = std::move(*formatted);
        return generated;
    }
    generated.warnings.push_back("the generated source did not parse (" +
                                 std::to_string(formatted.error().size()) +
                                 " error(s)); it is written unformatted");
    return generated;
}

} // namespace quorvane_dsl::decompile
