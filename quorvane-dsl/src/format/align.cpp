#include "format/align.hpp"

#include <algorithm>

#include "format/measure.hpp"

namespace quorvane_dsl::format {

namespace {

using K = SyntaxKind;

std::uint32_t name_width(const TreeView& tree, std::optional<Element> name) {
    return name ? width(tree, *name) : 0;
}

std::uint32_t widest_name(const TreeView& tree, const Run& run) {
    std::uint32_t widest = 0;
    for (Element entry : run) {
        widest = std::max(widest, name_width(tree, entry_name(tree, entry)));
    }
    return widest;
}

std::optional<Element> param_type(const TreeView& tree, Element decl) {
    for (Element c = tree.first_child(decl); c.index < tree.subtree_end(decl);
         c = tree.next_sibling(c)) {
        if (tree.kind(c) == K::NAME_TYPE || tree.kind(c) == K::LIST_TYPE) {
            return c;
        }
    }
    return std::nullopt;
}

// Which entries a section lines up, and which rule aligns them.
struct SectionRule {
    K section;
    K entry;
};

constexpr SectionRule section_rules[] = {
    {K::LAYER_TABLE, K::LAYER_DEF},      {K::XSECTION_DEF, K::XS_SECTION},
    {K::PARAM_SECTION, K::PARAM_DECL},   {K::ATTR_SECTION, K::ATTR_DECL},
    {K::MARKER_SECTION, K::MARKER_DECL}, {K::PLACE_BLOCK, K::PLACE_SPEC},
};

} // namespace

std::vector<Run> runs(const TreeView& tree, Element section, SyntaxKind entry_kind) {
    std::vector<Run> finished;
    Run current;
    std::uint32_t gap_line_feeds = 0;
    bool comment_line = false;
    const auto close = [&] {
        if (current.size() >= 2) {
            finished.push_back(std::move(current));
        }
        current.clear();
    };
    for (Element c = tree.first_child(section); c.index < tree.subtree_end(section);
         c = tree.next_sibling(c)) {
        if (tree.is_trivia(c)) {
            if (tree.kind(c) == K::COMMENT && gap_line_feeds > 0) {
                comment_line = true;
            }
            gap_line_feeds += line_feeds(tree.text_of(c));
            continue;
        }
        if (tree.is_token(c)) {
            close();
            continue;
        }
        const bool member =
            tree.kind(c) == entry_kind && gap_line_feeds >= 1 && line_feeds(tree.text_of(c)) == 0;
        if (member) {
            if (gap_line_feeds >= 2 || comment_line) {
                close();
            }
            current.push_back(c);
        } else {
            close();
        }
        gap_line_feeds = 0;
        comment_line = false;
    }
    close();
    return finished;
}

std::optional<Element> entry_name(const TreeView& tree, Element entry) {
    for (Element c = tree.first_child(entry); c.index < tree.subtree_end(entry);
         c = tree.next_sibling(c)) {
        if (tree.kind(c) == K::NAME || tree.kind(c) == K::NAME_REF) {
            return c;
        }
    }
    return std::nullopt;
}

void align_after_name(const TreeView& tree, const Run& run, AlignmentMap& map) {
    const std::uint32_t widest = widest_name(tree, run);
    for (Element entry : run) {
        const std::optional<Element> name = entry_name(tree, entry);
        if (!name) {
            continue;
        }
        if (const std::optional<Element> next = tree.next_token_after(*name)) {
            map.set(*next, widest + 1 - width(tree, *name));
        }
    }
}

void align_params(const TreeView& tree, const Run& run, AlignmentMap& map) {
    const std::uint32_t widest = widest_name(tree, run);
    std::optional<std::uint32_t> widest_type;
    for (Element entry : run) {
        const std::optional<Element> type = param_type(tree, entry);
        if (type && tree.child_of_kind(entry, K::EQ)) {
            widest_type = std::max(widest_type.value_or(0), width(tree, *type));
        }
    }
    for (Element entry : run) {
        const std::optional<Element> eq = tree.child_of_kind(entry, K::EQ);
        if (!eq) {
            continue;
        }
        if (const std::optional<Element> type = param_type(tree, entry)) {
            map.set(*eq, *widest_type + 1 - width(tree, *type));
        } else if (!widest_type) {
            map.set(*eq, widest + 1 - name_width(tree, entry_name(tree, entry)));
        } else {
            map.set(*eq, widest + *widest_type + 2 - name_width(tree, entry_name(tree, entry)));
        }
    }
}

void align_places(const TreeView& tree, const Run& run, AlignmentMap& map) {
    struct Head {
        Element at;
        std::uint32_t width;
    };
    std::vector<Head> heads;
    std::uint32_t widest = 0;
    for (Element entry : run) {
        const std::optional<Element> at = tree.child_of_kind(entry, K::AT_KW);
        if (!at) {
            continue;
        }
        std::uint32_t head_width = 0;
        std::uint32_t nodes = 0;
        for (Element c = tree.first_child(entry); c.index < at->index; c = tree.next_sibling(c)) {
            if (!tree.is_token(c)) {
                head_width += width(tree, c);
                ++nodes;
            }
        }
        head_width += nodes > 0 ? nodes - 1 : 0;
        widest = std::max(widest, head_width);
        heads.push_back({*at, head_width});
    }
    for (const Head& head : heads) {
        map.set(head.at, widest + 1 - head.width);
    }
}

AlignmentMap align_sections(const TreeView& tree) {
    AlignmentMap map;
    for (std::uint32_t i = 0; i < tree.size(); ++i) {
        const Element section{i};
        const K kind = tree.kind(section);
        const auto rule = std::ranges::find(section_rules, kind, &SectionRule::section);
        if (rule == std::end(section_rules)) {
            continue;
        }
        for (const Run& run : runs(tree, section, rule->entry)) {
            if (kind == K::PLACE_BLOCK) {
                align_places(tree, run, map);
                continue;
            }
            align_after_name(tree, run, map);
            if (kind == K::PARAM_SECTION) {
                align_params(tree, run, map);
            }
        }
    }
    map.settle();
    return map;
}

void AlignmentMap::settle() {
    std::ranges::stable_sort(pads_, {}, &Pad::token);
    // Of the settings for one token, the last is kept.
    std::vector<Pad> kept;
    for (std::size_t i = 0; i < pads_.size(); ++i) {
        if (i + 1 == pads_.size() || pads_[i + 1].token != pads_[i].token) {
            kept.push_back(pads_[i]);
        }
    }
    pads_ = std::move(kept);
}

} // namespace quorvane_dsl::format
