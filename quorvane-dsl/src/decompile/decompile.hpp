// Source text of the language from an IR library, in practice one read from GDSII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ir/ir.hpp"

namespace quorvane_dsl::decompile {

// A source that names layers (a technology file), imported by the generated text.
struct LayerSource {
    // Written into the import line as it is; the caller makes it relative.
    std::string import_path;
    // GDS layer and datatype to the name the source defines for them.
    std::map<std::pair<std::int32_t, std::int32_t>, std::string> layers;
    // Every global name the source brings into scope (layers, constants, cross-sections,
    // cells); no generated name may take one of them.
    std::vector<std::string> globals;
};

struct Decompiled {
    std::string text;
    std::vector<std::string> warnings; // in the order they arose
};

// Takes the generated text piece by piece, in order; each piece is the taker's to keep.
using TextSink = std::function<void(std::string)>;

// The formatter rejected a piece of the generated text.
struct Unparsed {};

// The identifiers in use in one scope; a cell's scope sees the file's names through `outer`
// instead of copying them, so that many cells over many file-level names stay linear.
class NameSet {
  public:
    NameSet() = default;
    explicit NameSet(const NameSet* outer) : outer_(outer) {}

    bool contains(std::string_view name) const;
    void insert(std::string name);
    // `base` when it is free, else the first free of base_1, base_2, ...; the name is taken.
    std::string take(std::string base);

  private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using Set = std::unordered_set<std::string, Hash, std::equal_to<>>;

    // Whether `name` is base_N with N below the counter of base.
    bool counted(std::string_view name) const;
    // Whether a name base_N may be taken here or outside: only then need a counted name be
    // looked up.
    bool may_hold_numbered(std::string_view base) const;

    const NameSet* outer_ = nullptr;
    Set own_;
    // The bases X of the names X_N in `own_`.
    Set numbered_;
    // Per base, the counter to try next: base_1 up to the one before it are all taken. Names
    // made from a counter are kept only here, so a cell of a million rectangles holds one
    // entry for them rather than a million strings.
    std::unordered_map<std::string, std::uint64_t, Hash, std::equal_to<>> counters_;
};

// Every library cell as a `cell` block, every layer the source does not name in a layer
// table, the whole run through the formatter. Never fails: what cannot be written is left out
// with a warning.
Decompiled decompile(const ir::Library& library, const LayerSource* source);

// As `decompile`, with the text handed to `sink` while it is laid out, so that it never stands
// whole in memory; the warnings. When the formatter rejects a piece, what the sink took is to
// be dropped: `decompile` then makes the text from the whole.
std::expected<std::vector<std::string>, Unparsed>
decompile_to(const ir::Library& library, const LayerSource* source, const TextSink& sink);

// The text `decompile` hands to the formatter, with the warnings of the cells.
Decompiled unformatted(const ir::Library& library, const LayerSource* source);

// A new identifier made from `text`: ASCII letters and digits kept, anything else "_", a "_"
// before a leading digit and after a keyword or builtin name, then "_1", "_2", ... until the
// name is not in `names`. The name is added to `names`.
std::string identifier(std::string_view text, NameSet& names);

} // namespace quorvane_dsl::decompile
