// The lowered program: every loaded file and item in typed arenas, every name resolved.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "arena/arena.hpp"
#include "base/name_map.hpp"
#include "diag/diag.hpp"
#include "hir/expr.hpp"
#include "hir/ids.hpp"
#include "hir/items.hpp"
#include "hir/stmt.hpp"
#include "load/ir_file.hpp"
#include "source/source.hpp"

namespace quorvane_dsl::hir {

// A declaration (`declaration` true) or a resolved use of a name.
struct Occurrence {
    Res res;
    Src src;
    bool declaration = false;
};

// Expressions from `first` up to the next run's first are of `file`.
struct FileRun {
    std::uint32_t first = 0;
    source::FileId file;
};

// Every distinct name and string literal once. Few names recur by the million (`w`, `append`,
// parameter names), so an expression holds a u32 instead of a string of its own. The empty text
// is always there, as Symbol{}. Lowering interns a name at nearly every argument, binding and
// cell name, so the index is one flat table probed in place rather than a chain of nodes.
class Texts {
  public:
    Texts() { intern(""); }
    // A program's texts are handed on, never copied.
    Texts(const Texts&) = delete;
    Texts& operator=(const Texts&) = delete;
    Texts(Texts&&) = default;
    Texts& operator=(Texts&&) = default;

    Symbol intern(std::string_view text);
    // The symbol of a text interned before, without interning it.
    std::optional<Symbol> find(std::string_view text) const;
    std::string_view operator[](Symbol symbol) const { return texts_[symbol.raw]; }
    std::size_t size() const { return texts_.size(); }

  private:
    // A symbol with the upper half of its text's hash, so that most probes of another text
    // are told apart without reading that text. The text of `symbol_plus_one - 1`; 0 is free.
    struct Slot {
        std::uint32_t hash_high = 0;
        std::uint32_t symbol_plus_one = 0;
    };

    // The slot that holds `text`, or the free slot where it would go.
    std::size_t probe(std::string_view text, std::uint64_t hash) const;
    void grow();

    std::deque<std::string> texts_; // a deque never moves its elements, which the views need
    std::vector<Slot> slots_;       // a power of two in size, at most half full
};

// Built by lowering; read-only once the analysis driver has sorted the diagnostics.
struct Hir {
    source::Files files;
    arena::Arena<LayerDef> layers;
    arena::Arena<ConstDef> consts;
    arena::Arena<CellDef> cells;
    arena::Arena<XsDef> xsections;
    arena::Arena<Binding> bindings;
    arena::Arena<Expr> exprs;
    arena::Arena<Stmt> stmts;
    // The place of every expression, same indices as exprs: its range, and its file from a
    // run of the expressions made in one file, as a file's expressions are made together. So a
    // place costs eight bytes, not twelve.
    std::vector<source::TextRange> expr_ranges;
    std::vector<FileRun> expr_files; // by `first`, increasing
    std::vector<Src> stmt_srcs;      // same indices as stmts
    arena::Arena<Src> name_srcs;     // of the names of field expressions
    Texts texts;
    std::vector<Arg> args;             // every argument list, each a Run
    std::vector<ExprId> list_elements; // the elements of every list expression, each a Run
    std::vector<CellName> cell_names;  // the names of every cell, each a Run
    std::vector<StmtId> bodies;        // every list of statements, each a Run
    base::NameMap<Global> globals;
    std::vector<load::IrFile> ir_files;
    std::vector<Occurrence> occurrences; // in the order met
    std::vector<diag::Diagnostic> diagnostics;

    const Expr& expr(ExprId id) const { return exprs[id]; }
    const Stmt& stmt(StmtId id) const { return stmts[id]; }
    Src expr_src(ExprId id) const;
    const Src& stmt_src(StmtId id) const;

    std::string_view text(Symbol symbol) const { return texts[symbol]; }
    std::span<const Arg> args_of(ArgRun run) const {
        return std::span(args).subspan(run.first, run.count);
    }
    std::span<const ExprId> elements(ExprRun run) const {
        return std::span(list_elements).subspan(run.first, run.count);
    }
    std::span<const StmtId> body(Body run) const {
        return std::span(bodies).subspan(run.first, run.count);
    }
    std::span<const CellName> names_of(CellNameRun run) const {
        return std::span(cell_names).subspan(run.first, run.count);
    }

    // Appends with the location at the same index; inline, as lowering appends one for nearly
    // every expression node of the source.
    ExprId add_expr(const Expr& expr, Src src) {
        if (expr_files.empty() || expr_files.back().file != src.file) [[unlikely]] {
            expr_files.push_back({static_cast<std::uint32_t>(expr_ranges.size()), src.file});
        }
        expr_ranges.push_back(src.range);
        return exprs.alloc(expr);
    }
    ArgRun add_args(std::span<const Arg> list);
    ExprRun add_elements(std::span<const ExprId> list);
    Body add_body(std::span<const StmtId> list);
    StmtId add_stmt(Stmt stmt, Src src);

    // Only a global of kind cell (respectively cross-section) is found.
    std::optional<CellId> cell_by_name(std::string_view name) const;
    std::optional<XsId> xsection_by_name(std::string_view name) const;

    // Where the definition a name resolves to stands; none for builtins and unresolved names.
    std::optional<Src> res_src(const Res& res) const;
};

} // namespace quorvane_dsl::hir
