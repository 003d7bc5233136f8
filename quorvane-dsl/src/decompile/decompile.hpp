#pragma once

// Source text of the language from an IR library, in practice one read from GDSII.

#include <cstdint>
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

// The identifiers in use in one scope; a cell's scope sees the file's names through `outer`
// instead of copying them, so that many cells over many file-level names stay linear.
class NameSet {
  public:
    NameSet() = default;
    explicit NameSet(const NameSet* outer) : outer_(outer) {}

    bool contains(const std::string& name) const;
    void insert(std::string name) { own_.insert(std::move(name)); }
    // The first counter worth trying for `base`: every lower one was taken when last asked,
    // and names are never released. Spares a scan from 1 for every one of many shapes.
    std::uint64_t& next_counter(const std::string& base) { return counters_[base]; }

  private:
    const NameSet* outer_ = nullptr;
    std::unordered_set<std::string> own_;
    std::unordered_map<std::string, std::uint64_t> counters_;
};

// Every library cell as a `cell` block, every layer the source does not name in a layer
// table, the whole run through the formatter. Never fails: what cannot be written is left out
// with a warning.
Decompiled decompile(const ir::Library& library, const LayerSource* source);

// The text `decompile` hands to the formatter, with the warnings of the cells.
Decompiled unformatted(const ir::Library& library, const LayerSource* source);

// A new identifier made from `text`: ASCII letters and digits kept, anything else "_", a "_"
// before a leading digit and after a keyword or builtin name, then "_1", "_2", ... until the
// name is not in `names`. The name is added to `names`.
std::string identifier(std::string_view text, NameSet& names);

} // namespace quorvane_dsl::decompile
