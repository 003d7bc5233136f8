// The type checker: gives every expression and definition of a finished HIR a type and reports
// every misuse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "check/types.hpp"
#include "diag/diag.hpp"
#include "hir/hir.hpp"
#include "hir/members.hpp"

namespace quorvane_dsl::check {

// A definition whose type is being computed: a constant, or an attribute of a cell.
struct Pending {
    enum class Kind : std::uint8_t { Const, Attr };
    Kind kind = Kind::Const;
    std::uint32_t owner = 0; // the constant, or the attribute's cell
    std::uint32_t index = 0; // the attribute's position; 0 for a constant

    static Pending constant(hir::ConstId id) { return {Kind::Const, id.raw, 0}; }
    static Pending attr(hir::CellId cell, std::uint32_t index) {
        return {Kind::Attr, cell.raw, index};
    }
    friend bool operator==(const Pending&, const Pending&) = default;
};

struct PendingHash {
    std::size_t operator()(const Pending& p) const {
        return std::hash<std::uint64_t>{}((std::uint64_t{p.owner} << 33) |
                                          (std::uint64_t{p.index} << 1) |
                                          static_cast<std::uint64_t>(p.kind));
    }
};

// What checking a program yields: the table of types and the checker's diagnostics, in the
// order found.
struct Checked {
    TypeInfo types;
    std::vector<diag::Diagnostic> diagnostics;
};

// What checking keeps beyond its diagnostics.
struct Options {
    // TypeInfo::exprs. Without it the checker holds an expression's type only while it reads
    // it, and hands on an empty table.
    bool expr_types = true;
};

// Checks the whole program once. The HIR is only read.
Checked check(const hir::Hir& hir, Options options = {});

// The checker's state, shared by the files of this folder (one per language area).
struct Checker {
    const hir::Hir& hir;
    const Options options;
    TypeInfo types;
    std::vector<diag::Diagnostic> diagnostics;
    std::optional<hir::CellId> cell; // the cell being checked; `self` means it
    hir::MemberIndex members;
    std::unordered_set<Pending, PendingHash> pending;
    std::unordered_set<hir::BindingId, KeyHash> combined; // bindings of ShapeExpr statements
    // True while `settle` orders the definitions a constant or attribute depends on.
    bool settling = false;
    // Whether a construct too deep for the stack was reported: one report says it all, the
    // constructs beside it go unchecked quietly.
    bool too_deep_reported = false;
    // Operator chains in progress, innermost last: one list for all, not one per operator.
    std::vector<hir::ExprId> chain_stack;
    // The types of a builtin call's arguments while it is checked; a nested call's stand above
    // them and are popped before they are read.
    std::vector<Ty> arg_stack;
    // The types of the expressions inferred while it is open, for a check that reads back more
    // than an operator's operands (a shape statement's join); empty otherwise.
    std::unordered_map<hir::ExprId, Ty, KeyHash> window;
    bool window_open = false;

    Checker(const hir::Hir& hir, Options options);
    void run();

    // Reporting.
    void error(const hir::Src& src, std::string message);
    void expr_error(hir::ExprId expr, std::string message);
    Ty expect(hir::ExprId expr, const Ty& wanted);
    // Reports, once per check, a construct the stack has no room for: under tight stack limits
    // the stack runs out before the parser's nesting limit is reached.
    void too_deep(const hir::Src& src);
    std::string show(const Ty& ty) const { return check::show(hir, ty); }
    std::string unit_hint(hir::ExprId expr, const Ty& expected) const {
        return check::unit_hint(hir, expr, expected);
    }

    // Definitions (checker.cpp).
    Ty const_type(hir::ConstId id);
    Ty attr_type(hir::CellId cell, std::uint32_t index);
    Ty param_default_type(std::string_view name, hir::ExprId value);
    // Of a shape statement's combined shapes, read in the window its inference filled.
    bool has_offset(hir::ExprId expr) const;

    // Statements (statements.cpp, placement.cpp, primitives.cpp).
    void stmts(const hir::Body& body);
    void shape(hir::StmtId id, const hir::Stmt::Shape& stmt);
    void shape_expr(const hir::Stmt::ShapeExpr& stmt);
    void assign(const hir::Stmt::Assign& stmt);
    void place(hir::StmtId id, const hir::Stmt::Place& stmt);
    void with_arguments(const hir::Src& at, const hir::Stmt::Place& stmt, hir::CellId placed);
    // 0: the widths are sizes or there is no width; 1: cross-sections; 2: cannot tell.
    std::uint8_t primitive_args(hir::Primitive primitive, std::span<const hir::Arg> args,
                                const hir::Src& at);

    // Expressions (expressions.cpp, builtins.cpp).
    Ty infer(hir::ExprId expr);
    void record(hir::ExprId expr, const Ty& ty);
    Ty binary(hir::ExprId expr, hir::BinOp op, const Ty& lhs, const Ty& rhs, hir::ExprId lhs_expr,
              hir::ExprId rhs_expr);
    Ty field(const Ty& base, hir::Symbol member, const hir::Src& name_src);
    Ty call(hir::ExprId expr, hir::ExprId callee, std::span<const hir::Arg> args);
    // A quantity of these exponents, or unknown (reported at `expr`) beyond what a Dim holds.
    Ty quantity_at(hir::ExprId expr, double length, double angle);

  private:
    void infer_params_and_bindings();
    void check_xs_params();
    void check_xsections();
    void check_cell(hir::CellId id);
    Ty compute(const Pending& key);
    Ty compute_const(hir::ConstId id);
    Ty compute_attr(hir::CellId cell, std::uint32_t index);
    void settle(const Pending& root);
    Ty infer_kind(hir::ExprId id, const hir::Expr& expr);
    Ty binary_chain(hir::ExprId outermost);
    Ty name_type(const hir::Res& res);
    Ty list(const hir::Expr::List& list);
    Ty prefix(hir::ExprId id, const hir::Expr::Prefix& prefix);
    Ty index(const hir::Expr::Index& index);
    Ty field_expr(const hir::Expr::Field& field);
    Ty cell_member(hir::CellId cell, hir::Symbol member, const hir::Src& name_src);
    Ty xsection_call(hir::XsId xs, std::span<const hir::Arg> args);
    Ty append(hir::ExprId expr, const hir::Expr::Field& callee, std::span<const hir::Arg> args);
    Ty builtin(hir::ExprId expr, hir::Builtin b, std::span<const hir::Arg> args);
    Ty builtin_type(hir::ExprId expr, hir::Builtin b, std::span<const hir::Arg> args,
                    std::span<const Ty> arg_types);
};

// The common type of two operands of an additive operator, or none when they do not mix.
std::optional<Ty> numeric_sum(const Ty& a, const Ty& b);

} // namespace quorvane_dsl::check
