#include "format/format.hpp"

#include "format/align.hpp"
#include "format/layout.hpp"
#include "format/tree_view.hpp"
#include "syntax/parser.hpp"

namespace quorvane_dsl::format {

std::expected<std::string, std::vector<syntax::SyntaxError>> format(std::string_view text) {
    const syntax::parser::Parse parse = syntax::parser::parse(text);
    if (!parse.errors.empty()) {
        return std::unexpected(parse.errors);
    }
    return format_node(parse.tree());
}

std::string format_node(const syntax::SyntaxNode& root) {
    const TreeView tree(*root.tree());
    const AlignmentMap alignment = align_sections(tree);
    const std::vector<bool> single_line = single_line_blocks(tree, node_depths(tree));
    std::string out = emit(tree, alignment, single_line);
    clean_up(out);
    return out;
}

} // namespace quorvane_dsl::format
