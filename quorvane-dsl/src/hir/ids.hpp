// The typed indices by which HIR items refer to each other, and the one location type.
#pragma once

#include <cstdint>

#include "arena/arena.hpp"
#include "source/location.hpp"

namespace quorvane_dsl::hir {

using source::Src;

struct LayerDef;
struct ConstDef;
struct CellDef;
struct XsDef;
struct Binding;
struct Expr;
struct Stmt;

using LayerId = arena::Idx<LayerDef>;
using ConstId = arena::Idx<ConstDef>;
using CellId = arena::Idx<CellDef>;
using XsId = arena::Idx<XsDef>;
using BindingId = arena::Idx<Binding>;
using ExprId = arena::Idx<Expr>;
using StmtId = arena::Idx<Stmt>;
using NameSrcId = arena::Idx<Src>;

// A name or string literal, interned: its position in the HIR's table of texts (Hir::text); 0 is
// the empty text.
struct Symbol {
    std::uint32_t raw = 0;
    friend constexpr bool operator==(Symbol, Symbol) = default;
};

// Consecutive entries of one of the HIR's shared lists: the argument lists of every call and
// statement stand in one vector, the elements of every list expression, the names of every cell
// and the statements of every body each in another, so that a list costs eight bytes in its
// owner and no block of its own.
template <class T> struct Run {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    friend constexpr bool operator==(Run, Run) = default;
};

struct Arg;
struct CellName;
using ArgRun = Run<Arg>;
using CellNameRun = Run<CellName>;
using ExprRun = Run<ExprId>;

} // namespace quorvane_dsl::hir
