#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/utf8.hpp"
#include "blackbox/blackbox.hpp"
#include "ir/text.hpp"
#include "link/link.hpp"
#include "link/merge.hpp"
#include "signature/signature.hpp"

namespace quorvane_dsl::blackbox {

namespace {

struct Source {
    std::uint64_t library = 0;
    std::uint64_t cell = 0;
};

// The whitebox cells by content signature and by name; the first entry for a key wins.
struct Index {
    std::unordered_map<std::string, Source> by_content;
    std::unordered_map<std::string, Source> by_name;
};

// Blackboxes of a whitebox library are left out, so a blackbox never unboxes into another.
Index index_whiteboxes(std::span<const Whiteboxes> whiteboxes) {
    Index index;
    for (std::uint64_t l = 0; l < whiteboxes.size(); ++l) {
        const ir::Library& library = *whiteboxes[l].library;
        signature::Digests digests(library);
        for (std::uint64_t i = 0; i < library.cells.size(); ++i) {
            if (library.cells[i].blackbox) {
                continue;
            }
            index.by_content.try_emplace(digests.content(i), Source{l, i});
            index.by_name.try_emplace(library.cells[i].name, Source{l, i});
        }
    }
    return index;
}

bool same_interface(const ir::Library& library, std::uint64_t cell, const std::string& interface) {
    const std::optional<ir::Box> footprint = signature::footprint(library, cell);
    return footprint &&
           signature::interface(library.cells[cell], *footprint, library.dbu) == interface;
}

class Unboxer {
  public:
    Unboxer(ir::Library& design, std::span<const Whiteboxes> whiteboxes, bool allow_revision)
        : design_(design), whiteboxes_(whiteboxes), allow_revision_(allow_revision),
          index_(index_whiteboxes(whiteboxes)) {}

    // Cells appended by a take (the whitebox's children) may be blackboxes themselves; each
    // pass examines the cells the previous one added, until a pass takes nothing.
    UnboxReport run() {
        for (;;) {
            const std::uint64_t count = design_.cells.size();
            examined_.resize(count, false);
            bool taken = false;
            for (std::uint64_t b = 0; b < count; ++b) {
                if (examined_[b] || !design_.cells[b].blackbox) {
                    continue;
                }
                examined_[b] = true;
                taken = examine(b) || taken;
            }
            if (!taken) {
                return std::move(report_);
            }
        }
    }

  private:
    bool examine(std::uint64_t b) {
        const ir::Cell& cell = design_.cells[b];
        const std::string name = cell.name;
        const ir::Blackbox record = *cell.blackbox;
        if (auto changed = signature::changed_blackbox(cell, design_.dbu)) {
            report_.errors.push_back(std::move(*changed));
            return false;
        }
        if (const auto exact = index_.by_content.find(record.content);
            exact != index_.by_content.end()) {
            return take(b, name, exact->second, false);
        }
        const auto named = index_.by_name.find(name);
        if (named == index_.by_name.end()) {
            report_.warnings.push_back("no whitebox for blackbox " + ir::shown(name) +
                                       "; it stays a blackbox");
            return false;
        }
        const Source revision = named->second;
        const ir::Library& library = *whiteboxes_[revision.library].library;
        const bool same = same_interface(library, revision.cell, record.interface);
        if (same && allow_revision_) {
            return take(b, name, revision, true);
        }
        const std::string found = signature::Digests(library).content(revision.cell);
        report_.errors.push_back(ir::shown(name) + " in " + whiteboxes_[revision.library].name +
                                 " does not match the blackbox: its content signature is " +
                                 std::string(short_signature(found)) + " instead of " +
                                 std::string(short_signature(record.content)) +
                                 (same ? " (the interface is the same; --allow-revision accepts it)"
                                       : ", and its interface differs too"));
        return false;
    }

    // The whitebox takes the blackbox's index and name, so every placement of the blackbox now
    // places it and the tops stay as they were.
    bool take(std::uint64_t b, const std::string& name, Source source, bool revision) {
        const Whiteboxes& offered = whiteboxes_[source.library];
        auto cell = linker_.contents(design_, source.library, *offered.library, source.cell);
        if (!cell) {
            report_.errors.push_back(ir::shown(name) + " cannot take the whitebox in " +
                                     offered.name + ": " + cell.error());
            return false;
        }
        // The linker reuses its earlier copies, and one of them may since have become a whitebox
        // that places this very blackbox: taking it would make the layout contain itself.
        if (reaches(cell->instances, b)) {
            report_.errors.push_back(ir::shown(name) + " cannot take the whitebox in " +
                                     offered.name + ": cell " + ir::shown(name) +
                                     " would contain itself");
            return false;
        }
        cell->name = name;
        design_.cells[b] = std::move(*cell);
        report_.unboxed.push_back(ir::shown(name) + " ← " + offered.name +
                                  (revision ? " (a revision with the same interface)" : ""));
        return true;
    }

    bool reaches(std::span<const ir::Instance> placed, std::uint64_t target) {
        ++epoch_;
        seen_.resize(design_.cells.size(), 0);
        std::vector<std::uint64_t> stack;
        for (const ir::Instance& inst : placed) {
            stack.push_back(inst.cell);
        }
        while (!stack.empty()) {
            const std::uint64_t cell = stack.back();
            stack.pop_back();
            if (cell == target) {
                return true;
            }
            if (seen_[cell] == epoch_) {
                continue;
            }
            seen_[cell] = epoch_;
            for (const ir::Instance& inst : design_.cells[cell].instances) {
                stack.push_back(inst.cell);
            }
        }
        return false;
    }

    ir::Library& design_;
    std::span<const Whiteboxes> whiteboxes_;
    bool allow_revision_;
    Index index_;
    link::Linker linker_;
    std::vector<bool> examined_;
    // Cells met by the current `reaches` walk carry its epoch, so no walk clears the flags.
    std::vector<std::uint64_t> seen_;
    std::uint64_t epoch_ = 0;
    UnboxReport report_;
};

// Only the first layer of the name is the outline layer of the blackboxes; "marker" stays, as
// port marks may still be wanted.
void drop_unused_outline_layer(ir::Library& design) {
    std::uint64_t outline = 0;
    while (outline < design.layers.size() && design.layers[outline].name != "blackbox") {
        ++outline;
    }
    if (outline == design.layers.size()) {
        return;
    }
    for (const ir::Cell& cell : design.cells) {
        for (const ir::Shape& shape : cell.shapes) {
            if (shape.layer == outline) {
                return;
            }
        }
    }
    design.layers.erase(design.layers.begin() + static_cast<std::ptrdiff_t>(outline));
    for (ir::Cell& cell : design.cells) {
        for (ir::Shape& shape : cell.shapes) {
            if (shape.layer > outline) {
                --shape.layer;
            }
        }
    }
}

} // namespace

UnboxReport unbox(ir::Library& design, std::span<const Whiteboxes> whiteboxes,
                  bool allow_revision) {
    UnboxReport report = Unboxer(design, whiteboxes, allow_revision).run();
    link::merge_same_names(design);
    drop_unused_outline_layer(design);
    return report;
}

std::string_view short_signature(std::string_view signature) {
    constexpr std::size_t kept_characters = 19;
    std::size_t end = 0;
    for (std::size_t n = 0; n < kept_characters && end < signature.size(); ++n) {
        end += base::utf8::decode(signature, end).len;
    }
    return signature.substr(0, end);
}

} // namespace quorvane_dsl::blackbox
