// The typed indices by which HIR items refer to each other, and the one location type.
#pragma once

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

} // namespace quorvane_dsl::hir
