// The state of one evaluation and the steps that read and change it; each job lives in a file of
// its own (expressions, statements, lazy, instantiate, builder, stored, driver).
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "analysis.hpp"
#include "base/stack.hpp"
#include "boolean/types.hpp"
#include "diag/diag.hpp"
#include "eval/cell_state.hpp"
#include "eval/env.hpp"
#include "eval/eval.hpp"
#include "eval/shapes.hpp"
#include "eval/stored_index.hpp"
#include "eval/value.hpp"
#include "geom/frame.hpp"
#include "geom/shape.hpp"
#include "hir/members.hpp"
#include "ir/model.hpp"
#include "link/link.hpp"

namespace quorvane_dsl::eval {

// The cell a place statement names and which of its anchors (placement.cpp).
struct CellTarget;

struct VariantHash {
    std::size_t operator()(const std::pair<std::uint32_t, std::string>& variant) const {
        return std::hash<std::string>{}(variant.second) ^
               (std::size_t{variant.first} * 0x9e3779b97f4a7c15ULL);
    }
};

// One named argument of a cell use.
struct ArgValue {
    std::string name;
    Value value;
    hir::Src src;
};

// How deep expressions, statements and the definitions they use may nest while evaluated. Chains
// of constants, attributes and cells are as long as the input makes them and are followed by
// recursion, so the room left on the stack is bounded as well: on the work thread the count is
// what refuses, on a small stack the room.
inline constexpr std::uint32_t depth_limit = 200'000;

// Lists nest at most as deep as a stored literal may, so every list can be stored and freeing
// one never recurses deeper than that.
inline constexpr std::uint32_t max_list_depth = ir::max_literal_depth;

struct Evaluator {
    const Analysis& analysis;
    const hir::Hir& hir;
    hir::MemberIndex members;
    ir::Library lib;
    StoredIndex stored_index; // of lib's cells
    std::vector<diag::Diagnostic> diagnostics;
    double dbu = 1.0;
    std::uint64_t steps = 0;
    std::uint64_t max_steps = step_limit;
    // False: built and copied cells keep only what the cells placing them read (EvalOptions).
    bool keep_library = true;
    // Once the limit is reported, every later step stops silently and loops end.
    bool limit_reached = false;
    std::uint8_t join = 0;
    std::uint32_t depth = 0; // evaluations and statements under way, innermost included
    std::unordered_map<hir::ConstId, Result<Value>, IdxHash> consts;
    std::unordered_set<hir::ConstId, IdxHash> consts_pending;
    // Depth of computations whose diagnostics are discarded (Evaluator::quietly).
    std::uint32_t quiet_depth = 0;
    std::vector<hir::CellId> stack;
    // Which cells are on `stack`, by index, so that a deep hierarchy is not walked at every level.
    std::vector<bool> on_stack;
    // Every variant asked for, by cell index and parameter key: hashed, since a design of many
    // cells would otherwise compare keys down a tree of all of them at every use.
    std::unordered_map<std::pair<std::uint32_t, std::string>, std::optional<std::uint64_t>,
                       VariantHash>
        instances;
    // By cell index, the variant built without arguments and the key of the defaults; a flat
    // list, since a design of many cells looks each up once or twice. Empty until computed.
    std::vector<std::optional<std::optional<std::uint64_t>>> plain_instances;
    std::vector<std::optional<std::optional<std::string>>> default_keys;
    // By cell index, whether some `place` statement names the cell. Any other cell is built by
    // the driver alone, once, as a top: no variant of it is looked up again and, without a
    // library, nothing reads what it built. All true unless the driver says otherwise.
    std::vector<bool> placed;
    std::unordered_map<hir::LayerId, std::uint64_t, IdxHash> layer_map;
    std::unordered_map<std::string, std::shared_ptr<const XsValue>> xsections;
    std::unordered_map<hir::XsId, std::optional<std::string>, IdxHash> xs_default_keys;
    std::optional<std::vector<Value>> xs_args;
    link::Linker linker;
    std::unordered_set<std::uint64_t> copied;
    // Where a list nesting too deep was reported: a loop that keeps nesting one list would
    // otherwise repeat the report at every later iteration.
    std::unordered_set<hir::ExprId, IdxHash> deep_lists;
    // Refusals left unreported because their place was reported before. A build that meets one
    // fails as if it had reported it: the report may belong to another variant.
    std::uint64_t unreported_refusals = 0;

    explicit Evaluator(const Analysis& a)
        : analysis(a), hir(a.hir), members(a.hir), on_stack(a.hir.cells.size(), false),
          plain_instances(a.hir.cells.size()), default_keys(a.hir.cells.size()),
          placed(a.hir.cells.size(), true) {}

    // Errors: push the diagnostic, hand back Stop in whatever result type the caller has.
    std::unexpected<Stop> fail(hir::Src src, std::string message);
    std::unexpected<Stop> fail_expr(hir::ExprId expr, std::string message);
    // The name messages give `shape` (display_name).
    std::string shape_name(const RtShape& shape) const {
        return display_name(shape.name, shape.src, hir);
    }
    // Where a refusal is reported: a place, or an expression whose place is looked up only then,
    // since every expression counts a step and goes one level deeper.
    hir::Src locate(hir::Src src) const { return src; }
    hir::Src locate(hir::ExprId expr) const { return hir.expr_src(expr); }
    // Counts one step; the step past the limit reports it at `at`, once per evaluation.
    template <class At> Result<void> count_step(At at) {
        // After the limit every step stops without a word, so the whole evaluation unwinds at
        // once.
        if (limit_reached) {
            return std::unexpected(Stop{});
        }
        if (++steps > max_steps) {
            limit_reached = true;
            limit_src = locate(at);
            report_limit();
            return std::unexpected(Stop{});
        }
        return {};
    }
    // Runs `step` one level deeper, or refuses at `at` past the depth limit.
    template <class At, class F> auto deeper(At at, F&& step) -> decltype(step()) {
        if (depth >= depth_limit || !base::stack_room()) {
            return fail(locate(at),
                        "evaluation nests too deeply (is a chain of definitions too long?)");
        }
        // The result is made in the caller's place: every expression evaluated passes here.
        struct Level {
            std::uint32_t& depth;
            ~Level() { --depth; }
        } level{++depth};
        return step();
    }

    // Runs `compute` with its diagnostics discarded afterwards. Constants that fail inside are
    // not remembered as failed, so their next use reports the error; a reached evaluation limit
    // is reported all the same.
    template <class F> auto quietly(F&& compute) {
        const std::size_t mark = diagnostics.size();
        const bool limit_before = limit_reached;
        ++quiet_depth;
        auto result = compute();
        --quiet_depth;
        diagnostics.resize(mark);
        if (limit_reached && !limit_before && quiet_depth == 0) {
            report_limit();
        }
        return result;
    }

    // Expressions (expressions.cpp).
    Result<Value> eval(hir::ExprId expr, Env& env, CellState* cell);
    Result<double> length(hir::ExprId expr, Env& env, CellState* cell);
    Result<bool> boolean(hir::ExprId expr, Env& env, CellState* cell);
    Result<Value> binding_value(hir::BindingId binding, Env& env, CellState& cell, hir::Src src);
    // The value `binding` holds in `env` or at cell level; null when none.
    const Value* bound(hir::BindingId binding, const Env& env, const CellState& cell) const;
    // The refusal of a name whose statement has not run, at `src`.
    std::unexpected<Stop> unbound(hir::BindingId binding, hir::Src src);
    Result<Value> const_value(hir::ConstId c);

    // Attributes and markers, evaluated on first use (lazy.cpp).
    Result<Value> attr(std::uint32_t index, CellState& cell);
    Result<Value> marker(std::uint32_t index, CellState& cell);

    // Statements (statements.cpp).
    void exec(hir::StmtId stmt, Env& env, CellState& cell);

    // Shape statements (shapes.cpp), derived shapes (derived.cpp) and placement (placement.cpp).
    Result<ShapeDef> shape_def(hir::Primitive primitive, std::span<const hir::Arg> args, Env& env,
                               CellState& cell, hir::Src src);
    // A new derived shape of two operand values, or none when neither denotes shapes.
    Result<std::optional<Value>> shape_binary(hir::ExprId expr, hir::BinOp op, const Value& lhs,
                                              const Value& rhs, CellState* cell);
    Result<geom::Transform> resolve_shape(ShapeId id, CellState& cell);
    Result<geom::Transform> resolve_instance(InstanceId id, CellState& cell);
    Result<void> place(hir::StmtId stmt, const hir::Stmt::Place& statement, Env& env,
                       CellState& cell);
    // Member access (members.cpp).
    Result<Value> field(hir::ExprId expr, Value base, hir::Symbol member, CellState* cell);

    // Cell variants (instantiate.cpp) and their building (builder.cpp).
    Result<std::uint64_t> instantiate(hir::CellId cell, const std::vector<ArgValue>& args,
                                      hir::Src use);
    Result<void> params(CellState& cell, const std::vector<ArgValue>& args);
    std::optional<std::string> param_key(CellState& cell);
    // Without a library, a cell no `place` names keeps no record and gets `unkept_cell`.
    Result<std::uint64_t> build(CellState cell, std::string name);
    static constexpr std::uint64_t unkept_cell = RtInstance::no_cell;

    // Cross-sections (xsection.cpp): built from a definition, on top of an optional base value;
    // none follows a diagnostic or input that analysis reported.
    struct XsArg {
        std::optional<std::string_view> name; // of the HIR's texts or of a stored value
        hir::Src name_src;
        Value value;
    };
    std::shared_ptr<const XsValue> xsection(hir::XsId def, const XsValue* base,
                                            std::vector<XsArg> args, hir::Src use);
    Result<Value> xsection_call(hir::XsId def, const XsValue* base, std::span<const hir::Arg> args,
                                Env& env, CellState* cell, hir::Src src);
    // The radius bends of `xs` take, in nm.
    std::optional<double> xs_radius(const XsValue& xs, double tol);
    Result<Value> xsection_field(hir::ExprId expr, const XsValue& xs, const std::string& name);

    // Stored values and geometry in database units (stored.cpp).
    Result<ir::Value> store_value(const Value& value, hir::Src src);
    Result<Value> load_value(const ir::Value& value, hir::Src src);
    Result<Value> load_xsection(const ir::Value::Named& named, hir::Src src);
    void shape_geometry(const geom::LocalGeometry& geometry, const geom::Transform& transform,
                        std::vector<ir::Geometry>& out) const;

  private:
    hir::Src limit_src{};
    void report_limit();

    Result<Value> eval_kind(hir::ExprId expr, Env& env, CellState* cell);
    Result<Value> eval_name(hir::ExprId expr, const hir::Res& res, Env& env, CellState* cell);
    Result<Value> eval_point(const hir::Expr::Point& point, Env& env, CellState* cell);
    Result<Value> eval_binary(hir::ExprId expr, const hir::Expr::Binary& binary, Env& env,
                              CellState* cell);
    // One operator of a chain, applied to its left operand's value.
    Result<Value> binary_link(hir::ExprId expr, const hir::Expr::Binary& binary, const Value& lhs,
                              Env& env, CellState* cell);
    // The bool `v` that `expr` gave, or the error at `expr`.
    Result<bool> as_boolean(hir::ExprId expr, const Value& v);
    Result<Value> eval_index(hir::ExprId expr, const hir::Expr::Index& index, Env& env,
                             CellState* cell);
    Result<Value> eval_call(hir::ExprId expr, const hir::Expr::Call& call, Env& env,
                            CellState* cell);
    // The list made of `items`, refused at `expr` when it would nest too deep.
    Result<Value> make_list(hir::ExprId expr, std::vector<Value> items);
    // Refuses a list nesting too deep at `expr`, reported once per place.
    std::unexpected<Stop> list_too_deep(hir::ExprId expr);
    Result<Value> append(const hir::Expr::Call& call, hir::ExprId target, Env& env,
                         CellState* cell);

    void exec_kind(hir::StmtId stmt, Env& env, CellState& cell);
    void exec_body(const hir::Body& body, Env& env, CellState& cell);
    void exec_for(hir::StmtId stmt, const hir::Stmt::For& loop, Env& env, CellState& cell);
    void exec_if(const hir::Stmt::If& branch, Env& env, CellState& cell);
    void exec_assign(const hir::Stmt::Assign& assign, Env& env, CellState& cell);
    void exec_shape(hir::StmtId stmt, const hir::Stmt::Shape& statement, Env& env, CellState& cell);
    void exec_shape_expr(const hir::Stmt::ShapeExpr& statement, Env& env, CellState& cell);
    void exec_clone(hir::StmtId stmt, const hir::Stmt::Clone& statement, Env& env, CellState& cell);
    static void adopt_bands(RtShape& shape, BandedDef drawn);
    void adopt_recipe(ShapeId id, Derived recipe, CellState& cell,
                      const std::function<std::string(const Derived&)>& refusal);
    // The shape a shape-making statement names: the pre-registered one for a cell-level name,
    // else a new one bound in `env`; none when a cell-level name holds no shape.
    std::optional<ShapeId> name_shape(hir::BindingId binding, std::optional<hir::LayerId> layer,
                                      Env& env, CellState& cell);

    // Where a pending placement puts its anchor: the `at` frame, offset and extra rotation.
    struct Target {
        geom::Frame frame;
        double dx = 0;
        double dy = 0;
        double rotate = 0;
        bool mirror = false;
        std::optional<ir::PortRef> port; // the marker location `at` came from
    };
    // The pending placement is used up: its expressions are evaluated in its own snapshot.
    Result<Target> target_frame(Pending& pending, CellState& cell);
    Result<geom::Transform> resolve_pending(Pending& pending, ShapeId id, CellState& cell);
    Result<geom::Transform> resolve_view(ShapeId id, CellState& cell);
    std::unexpected<Stop> cycle(const CellState& cell, const std::string& name, hir::Src src);
    Result<void> place_shape(hir::StmtId stmt, const hir::Stmt::Place& statement, ShapeId id,
                             const std::string& anchor, Env& env, CellState& cell);
    Result<void> place_cell(hir::StmtId stmt, const hir::Stmt::Place& statement,
                            const CellTarget& target, Env& env, CellState& cell);
    Result<std::string> instance_name(const hir::Stmt::Place& statement,
                                      const std::string& cell_name, hir::Src src, CellState& cell);
    void bind_instance(const hir::Stmt::Place& statement, std::size_t index, Env& env,
                       CellState& cell);
    Result<boolean::Polygons> operand_polygons(const std::vector<ShapeId>& ids, CellState& cell);
    Result<geom::LocalShape> derived_outline(const Derived& recipe, CellState& cell);
    Result<Value> shape_field(hir::ExprId expr, ShapeId id, const std::string& name,
                              CellState& cell);
    Result<Value> instance_markers(hir::ExprId expr, InstanceId id, const std::string& name,
                                   CellState& cell);
    // The place of `expr`, the member access, is looked up only when a cross-section is loaded.
    Result<std::shared_ptr<const XsValue>> marker_xsection(const ir::Marker& marker,
                                                           hir::ExprId expr);

    Result<Value> lazy(Lazy& slot, std::string_view what, const std::string& name, hir::Src src,
                       auto&& compute);
    Result<Value> marker_value(std::uint32_t index, CellState& cell);

    Result<std::uint64_t> copy_imported(const hir::CellDef& def, std::size_t file, std::size_t cell,
                                        const std::vector<ArgValue>& args, hir::Src use);
    std::optional<std::string> default_key(hir::CellId cell);
    Result<Value> xs_default(const hir::ParamDef& param, std::vector<Value> earlier);
    std::optional<std::string> xs_default_key(hir::XsId def);
    Result<std::vector<double>> xs_offsets(const hir::XsSection& section);
    bool xs_properties(const hir::XsDef& def, XsValue& xs);

    Result<void> preregister(hir::StmtId stmt, CellState& cell);
    void settle(CellState& cell);
    void check_unplaced(const CellState& cell);
    void marker_attributes(std::uint32_t index, CellState& cell);
    std::vector<ir::Shape> cell_shapes(const CellState& cell) const;
    std::vector<ir::Instance> cell_instances(const CellState& cell) const;
    std::vector<ir::Marker> cell_markers(CellState& cell);
};

} // namespace quorvane_dsl::eval
