// The lowered program: every loaded file and item in typed arenas, every name resolved.
#pragma once

#include <cstdint>
#include <optional>
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
    base::NameMap<Global> globals;
    std::vector<load::IrFile> ir_files;
    std::vector<Occurrence> occurrences; // in the order met
    std::vector<diag::Diagnostic> diagnostics;

    const Expr& expr(ExprId id) const { return exprs[id]; }
    const Stmt& stmt(StmtId id) const { return stmts[id]; }
    Src expr_src(ExprId id) const;
    const Src& stmt_src(StmtId id) const;

    // Appends with the location at the same index.
    ExprId add_expr(Expr expr, Src src);
    StmtId add_stmt(Stmt stmt, Src src);

    // Only a global of kind cell (respectively cross-section) is found.
    std::optional<CellId> cell_by_name(std::string_view name) const;
    std::optional<XsId> xsection_by_name(std::string_view name) const;

    // Where the definition a name resolves to stands; none for builtins and unresolved names.
    std::optional<Src> res_src(const Res& res) const;
};

} // namespace quorvane_dsl::hir
