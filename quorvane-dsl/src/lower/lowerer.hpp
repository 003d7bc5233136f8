// The lowering state shared by the files of lower/, one per language area.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diag/suggestion.hpp"
#include "hir/hir.hpp"
#include "load/ir_file.hpp"
#include "lower/lower.hpp"
#include "syntax/ast.hpp"
#include "syntax/tree.hpp"

namespace quorvane_dsl::lower {

using syntax::SyntaxKind;
using syntax::SyntaxNode;
namespace ast = syntax::ast;

// The local scopes of a cell body. Each name has a stack of the bindings that shadow each other,
// innermost last, kept by the name's symbol: a lookup costs one index however deep the blocks
// nest, and a stack keeps its storage from one loop or block to the next.
class Scopes {
  public:
    void push() { opened_.push_back(names_.size()); }
    void pop();
    void clear();
    // Replaces a binding of the same name made in the innermost scope.
    void bind(hir::Symbol name, hir::BindingId binding);
    std::optional<hir::BindingId> find(hir::Symbol name) const;
    // Every name that is visible, each once.
    std::vector<hir::Symbol> names() const;

  private:
    struct Shadow {
        hir::BindingId binding;
        std::size_t depth;
    };
    std::vector<std::vector<Shadow>> stacks_; // by symbol
    std::vector<hir::Symbol> names_;          // in binding order, to undo a scope
    std::vector<std::size_t> opened_;         // length of names_ when each scope opened
};

// Where a statement may take its `as` binding from.
enum class Level : bool { Nested, Cell };

struct Modifiers {
    std::optional<hir::ExprId> offset;
    std::optional<hir::ExprId> rotate;
    bool mirror = false;
};

class Lowerer {
  public:
    Lowerer(hir::Hir hir, Options options) : hir_(std::move(hir)), options_(options) {}

    // Hands over the HIR once the hints of its unknown names are written.
    hir::Hir finish();

    // items.cpp
    void declare_items(source::FileId file, const SyntaxNode& root);
    void import_ir_files(std::vector<load::IrFile> files);
    // Lets lowering give back the storage of the file's tree behind it: only for a tree that no
    // one but lowering holds, and that lives until lowering is finished.
    void release_behind(source::FileId file, const syntax::Tree& tree);
    void lower_items();

    // layers.cpp
    void declare_layer(const SyntaxNode& def);
    void layer_props(hir::LayerId layer, const SyntaxNode& def);

    // xsections.cpp
    void declare_xsection(const SyntaxNode& def);
    void lower_xsection(hir::XsId xs, const SyntaxNode& def);

    // cells.cpp
    void declare_cell(const SyntaxNode& def);
    void lower_cell(hir::CellId cell, const SyntaxNode& def);

    // expressions.cpp
    hir::ExprId expr(const std::optional<ast::Expr>& expr, source::TextRange fallback);
    hir::ExprId lower_expr(const ast::Expr& expr);
    // The arguments of the ARG children, as a run of the HIR's list. Lists in progress (an
    // argument may hold a call with a list of its own) share one stack, so that a list costs no
    // block of its own while it is built.
    void push_args(const SyntaxNode& node);
    hir::ArgRun take_args(std::size_t from);
    hir::ExprId value_expr(const ir::Value& value, hir::Src src);

    // names.cpp
    std::optional<hir::Res> lookup(std::string_view name) const;
    std::optional<hir::LayerId> layer_ref(const SyntaxNode& name_ref);

  private:
    // Unknown names whose messages still lack the hint from the cell's, the cross-section's,
    // the global and the builtin names, or from the layers' names: the search over every name
    // of a large program is made only for messages that can be printed.
    struct PendingHint {
        std::size_t diagnostic;
        diag::Nearest nearest; // has seen the names of the scopes open at the unknown name
        bool among_layers = false;
        std::optional<hir::CellId> cell;
        std::optional<hir::XsId> xs;
    };

    // An item whose name was newly declared, waiting for its contents to be lowered.
    struct Work {
        source::FileId file;
        std::uint32_t index;
        SyntaxNode node;
    };

    // The candidates every pending hint shares: the global and builtin names, and for unknown
    // layers the layers' names.
    struct HintNames {
        std::vector<diag::Candidate> everywhere;
        std::vector<diag::Candidate> layers;
    };

    // names.cpp
    void add_hint(PendingHint& pending, const HintNames& common);

    // items.cpp
    bool declare_global_at(std::string name, source::TextRange range, hir::Global global);
    void declare_const(const SyntaxNode& def);
    void release_before(const Work& work);

    // imports.cpp
    void import_ir_file(load::IrFile file);
    void import_cell(std::size_t file_index, const load::IrFile& file, std::uint64_t cell);

    hir::Src src(const SyntaxNode& node) const { return {node.text_range(), file_}; }
    hir::Src src(source::TextRange range) const { return {range, file_}; }
    hir::Src src_at(std::uint32_t index) const { return {tree_->range(index), file_}; }
    void error(hir::Src at, std::string message);
    // Reports, once per lowering, a construct the stack has no room for: under tight stack limits
    // the stack runs out before the parser's nesting limit is reached.
    void too_deep(source::TextRange at);
    void occurrence(hir::Res res, hir::Src at, bool declaration);
    hir::ExprId missing(source::TextRange range);

    // statements.cpp: nodes by their index in tree_
    // The statements among the children of a CELL, BLOCK or PLACE_BLOCK.
    std::vector<hir::StmtId> stmts(std::uint32_t parent, Level level);
    std::vector<hir::StmtId> block(std::uint32_t block, Level level);
    void stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out);
    hir::StmtId append(hir::Stmt stmt, std::uint32_t node);
    hir::StmtId layer_block(std::uint32_t node, Level level);
    void shape_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out);
    void clone_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out);
    std::optional<hir::StmtId> define_stmt(std::uint32_t node);
    std::optional<hir::StmtId> for_stmt(std::uint32_t node);
    std::optional<hir::StmtId> if_stmt(std::uint32_t node);
    hir::BindingId new_binding(std::uint32_t name, hir::BindingKind kind, bool recorded);
    std::optional<hir::BindingId> stmt_binding(std::uint32_t name, hir::BindingKind kind,
                                               Level level);
    void bind_local(hir::BindingId binding);

    // placement.cpp: nodes by their index in tree_
    void place_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out);
    hir::Stmt::Place place(std::uint32_t spec, Level level);
    // The SHAPE_PLACE tail of a statement whose `as` NAME is `name`; nothing when either is
    // no_index.
    void shape_place(std::uint32_t tail, std::uint32_t name, hir::BindingId binding,
                     std::vector<hir::StmtId>& out);
    // The OFFSET_MOD, ROTATE_MOD and MIRROR_MOD children.
    Modifiers modifiers(std::uint32_t node);

    // cells.cpp: nodes by their index in tree_
    bool declare_cell_name(hir::CellId cell, std::uint32_t name, hir::Res res);
    void declare_param(hir::CellId cell, std::uint32_t decl,
                       std::vector<std::pair<std::uint32_t, std::uint32_t>>& pending);
    void prescan(hir::CellId cell, std::uint32_t block);
    void prescan_stmt(hir::CellId cell, std::uint32_t node);
    // Binds a NAME, or nothing for no_index.
    void prebind(hir::CellId cell, std::uint32_t name, hir::BindingKind kind);

    // expressions.cpp: nodes by their index in tree_
    // A missing value (no_index) stands at `fallback`.
    hir::ExprId expr_at(std::uint32_t node, std::uint32_t fallback);
    hir::ExprId lower_at(std::uint32_t node);
    hir::ExprId binary_chain(std::uint32_t outermost);
    hir::ExprId number(source::TextRange literal, std::string_view token);
    void call_args(std::uint32_t list, std::uint32_t call);
    hir::Arg arg(std::uint32_t node, std::uint32_t fallback);
    hir::ArgRun args(std::uint32_t node);
    void push_args(std::uint32_t node);

    // names.cpp
    hir::Res resolve(std::uint32_t name_ref, source::TextRange range);
    std::optional<hir::LayerId> layer_ref(std::uint32_t name_ref);

    hir::Hir hir_;
    Options options_;
    source::FileId file_;
    // The tree of the nodes walked by index: set where a handle's node is handed to them, the
    // handle keeping the tree alive.
    const syntax::Tree* tree_ = nullptr;
    Scopes scopes_;
    std::optional<hir::CellId> current_cell_;
    // The cell-level names by symbol, each with the cell that declared it (its index plus one):
    // a name of an earlier cell counts as absent, so no table is cleared between cells.
    struct CellLevelName {
        std::uint32_t cell_plus_one = 0;
        hir::Res res;
    };
    std::vector<CellLevelName> cell_names_;
    std::optional<hir::XsId> current_xs_;
    // Absent outside `layer` blocks; inside one, the block's layer when it resolved.
    std::optional<std::optional<hir::LayerId>> current_layer_;
    // The cell pre-pass's bindings of `as` names by the index of the name, which the pre-pass
    // meets in increasing order: a sorted list, searched by halving, that no cell allocates anew.
    using Prebound = std::pair<std::uint32_t, hir::BindingId>;
    std::vector<Prebound> prebound_;
    std::vector<PendingHint> pending_hints_; // in the order of their diagnostics
    // Spares the search of the open scopes for unknown names whose messages cannot be printed.
    diag::HiddenErrors hidden_errors_;
    // Names of `define`s standing directly in the cell body, while its sections are lowered;
    // sorted, and read only for a name that is unknown.
    std::vector<std::string_view> define_names_;
    bool place_star_ = false;
    bool too_deep_reported_ = false;
    std::vector<Work> const_work_;
    std::vector<Work> layer_work_;
    std::vector<Work> xs_work_;
    std::vector<Work> cell_work_;
    std::vector<std::optional<syntax::FrontRelease>> releases_; // by file index
    std::vector<hir::Arg> arg_stack_;        // argument lists in progress, innermost last
    std::vector<hir::ExprId> element_stack_; // list expressions in progress, innermost last
    // A link of an operator chain: its node, operands and operator token.
    struct ChainLink {
        std::uint32_t node;
        std::uint32_t lhs;
        std::uint32_t rhs;
        std::uint32_t op;
    };
    std::vector<ChainLink> chain_stack_; // operator chains in progress, innermost last
};

// The written type of a NAME_TYPE or LIST_TYPE node.
hir::TypeAnn type_ann(hir::Texts& texts, source::FileId file, const ast::Type& type);
hir::TypeAnn type_ann(hir::Texts& texts, source::FileId file, const syntax::Tree& tree,
                      std::uint32_t type);

// The message for a parameter with neither a type nor a default value.
std::string param_needs_type(const std::string& name);

} // namespace quorvane_dsl::lower
