// Constants and attributes may name each other in chains as long as the program; their types
// are settled bottom-up with an explicit stack so that no chain deepens the call stack.
#include "check/check.hpp"

#include <algorithm>

namespace quorvane_dsl::check {

using hir::CellId;
using hir::Expr;
using hir::ExprId;

namespace {

// The attribute that a field access on a value of cell `cell` reads as member `name`.
std::optional<Pending> attr_member(const hir::Hir& hir, hir::MemberIndex& members, CellId cell,
                                   hir::Symbol member) {
    const std::string_view name = hir.text(member);
    // Fields named like these never read an attribute.
    if (name == "origin" || name == "marker") {
        return std::nullopt;
    }
    const hir::Member found = members.find(cell, member);
    if (found.kind != hir::Member::Kind::Attr) {
        return std::nullopt;
    }
    return Pending::attr(cell, found.index);
}

} // namespace

// The definitions that inferring the value of `key` asks for, in the order it asks. Only the
// names and field accesses that resolve without knowing types are followed; anything missed is
// computed on demand as usual.
static std::vector<Pending> dependencies(Checker& c, const Pending& key) {
    std::optional<CellId> context;
    ExprId root;
    if (key.kind == Pending::Kind::Const) {
        root = c.hir.consts[hir::ConstId{key.owner}].value;
    } else {
        context = CellId{key.owner};
        root = c.hir.cells[*context].attrs[key.index].value;
    }
    std::vector<Pending> deps;
    // A field access reads its member only after its base, so it is revisited after the base.
    std::vector<std::pair<ExprId, bool>> stack = {{root, false}};
    while (!stack.empty()) {
        const auto [id, revisit] = stack.back();
        stack.pop_back();
        const auto& kind = c.hir.expr(id).kind;
        if (revisit) {
            const auto& field = std::get<Expr::Field>(kind);
            std::optional<CellId> owner;
            const auto& base = c.hir.expr(field.base).kind;
            if (std::holds_alternative<Expr::SelfRef>(base)) {
                owner = context;
            } else if (const auto* name = std::get_if<Expr::Name>(&base)) {
                if (const auto* cell = std::get_if<hir::Res::Cell>(&name->res.kind)) {
                    owner = cell->id;
                } else if (const auto local = name->res.local()) {
                    const std::optional<Ty>& found = c.types.bindings[local->raw];
                    if (found && found->is(TyKind::Instance)) {
                        owner = found->cell_id();
                    }
                }
            }
            if (const auto dep =
                    owner ? attr_member(c.hir, c.members, *owner, field.name) : std::nullopt) {
                deps.push_back(*dep);
            }
            continue;
        }
        const std::size_t first_child = stack.size();
        std::visit(
            [&](const auto& e) {
                using E = std::decay_t<decltype(e)>;
                if constexpr (std::is_same_v<E, Expr::Name>) {
                    if (const auto* k = std::get_if<hir::Res::Const>(&e.res.kind)) {
                        deps.push_back(Pending::constant(k->id));
                    } else if (const auto* a = std::get_if<hir::Res::Attr>(&e.res.kind)) {
                        deps.push_back(Pending::attr(a->cell, a->index));
                    }
                } else if constexpr (std::is_same_v<E, Expr::Point>) {
                    stack.push_back({e.x, false});
                    stack.push_back({e.y, false});
                    if (e.angle) {
                        stack.push_back({*e.angle, false});
                    }
                } else if constexpr (std::is_same_v<E, Expr::List>) {
                    for (const ExprId element : c.hir.elements(e.elements)) {
                        stack.push_back({element, false});
                    }
                } else if constexpr (std::is_same_v<E, Expr::Binary>) {
                    stack.push_back({e.lhs, false});
                    stack.push_back({e.rhs, false});
                } else if constexpr (std::is_same_v<E, Expr::Prefix>) {
                    stack.push_back({e.operand, false});
                } else if constexpr (std::is_same_v<E, Expr::Field>) {
                    stack.push_back({e.base, false});
                } else if constexpr (std::is_same_v<E, Expr::Index>) {
                    stack.push_back({e.base, false});
                    stack.push_back({e.index, false});
                } else if constexpr (std::is_same_v<E, Expr::Call>) {
                    stack.push_back({e.callee, false});
                    for (const hir::Arg& arg : c.hir.args_of(e.args)) {
                        stack.push_back({arg.value, false});
                    }
                }
            },
            kind);
        // Children were pushed in reading order; reversed, they are popped in reading order.
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first_child), stack.end());
        if (std::holds_alternative<Expr::Field>(kind)) {
            stack.insert(stack.begin() + static_cast<std::ptrdiff_t>(first_child), {id, true});
        }
    }
    return deps;
}

// A depth-first walk over the dependencies that computes each definition after those it needs.
// While a definition is computed, `pending` holds exactly the definitions the walk is inside,
// as the recursive computation would, so a cycle is reported at the same place.
void Checker::settle(const Pending& root) {
    const auto settled = [&](const Pending& key) {
        return key.kind == Pending::Kind::Const
                   ? types.consts.contains(hir::ConstId{key.owner})
                   : types.attrs.contains({CellId{key.owner}, key.index});
    };
    struct Frame {
        Pending key;
        std::vector<Pending> deps;
        std::size_t next = 0;
    };
    settling = true;
    std::vector<Frame> stack;
    stack.push_back({root, dependencies(*this, root)});
    pending.insert(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.deps.size()) {
            const Pending dep = top.deps[top.next++];
            if (!settled(dep) && !pending.contains(dep)) {
                pending.insert(dep);
                stack.push_back({dep, dependencies(*this, dep)});
            }
            continue;
        }
        const Pending key = top.key;
        stack.pop_back();
        pending.erase(key);
        compute(key);
    }
    settling = false;
}

} // namespace quorvane_dsl::check
