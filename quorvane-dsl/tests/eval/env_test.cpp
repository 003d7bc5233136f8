#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "eval/env.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::eval;

namespace {

std::int64_t int_of(const Value* v) {
    return v ? std::get<Value::Int>(v->kind).value : -1;
}

} // namespace

// Placements keep snapshots of the environment; whatever is written later, on either side, each
// keeps reading the values of its own time.
TEST(EvalEnv, SnapshotsKeepTheValuesOfTheirTime) {
    const hir::BindingId a{0};
    const hir::BindingId b{1};
    Env env;
    const Env empty = env.snapshot();
    env.set(a, Value::integer(1));
    const Env first = env.snapshot();
    env.set(a, Value::integer(2));
    env.set(b, Value::integer(3));
    Env second = env.snapshot();
    *env.edit(a) = Value::integer(4);
    EXPECT_EQ(int_of(empty.find(a)), -1);
    EXPECT_EQ(int_of(first.find(a)), 1);
    EXPECT_EQ(int_of(first.find(b)), -1); // written after the snapshot
    EXPECT_EQ(int_of(second.find(a)), 2);
    EXPECT_EQ(int_of(env.find(a)), 4);

    // Writes to a snapshot stay its own, and so do snapshots of it.
    second.set(a, Value::integer(9));
    *second.edit(b) = Value::integer(8);
    const Env third = second.snapshot();
    second.set(b, Value::integer(7));
    EXPECT_EQ(int_of(env.find(a)), 4);
    EXPECT_EQ(int_of(env.find(b)), 3);
    EXPECT_EQ(int_of(third.find(a)), 9);
    EXPECT_EQ(int_of(third.find(b)), 8);
    EXPECT_EQ(second.edit(hir::BindingId{5}), nullptr);

    // Many bindings, spread out: every one keeps its own value.
    Env many;
    for (std::uint32_t i = 0; i < 100; ++i) {
        many.set(hir::BindingId{i * 7919}, Value::integer(i));
    }
    for (std::uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(int_of(many.find(hir::BindingId{i * 7919})), i);
    }
    EXPECT_EQ(many.find(hir::BindingId{1}), nullptr);
}

// A loop variable is written once per snapshot, other bindings now and then: every snapshot
// finds the value each held when it was taken, in both kinds of history.
TEST(EvalEnv, SnapshotsReadDenseAndSparseHistories) {
    const hir::BindingId dense{0};
    const hir::BindingId sparse{1};
    Env env;
    std::vector<Env> snapshots;
    for (std::int64_t k = 0; k < 50; ++k) {
        env.set(dense, Value::integer(k));
        if (k % 7 == 3) {
            env.set(sparse, Value::integer(k));
        }
        snapshots.push_back(env.snapshot());
    }
    for (std::int64_t k = 0; k < 50; ++k) {
        const Env& seen = snapshots[static_cast<std::size_t>(k)];
        EXPECT_EQ(int_of(seen.find(dense)), k);
        EXPECT_EQ(int_of(seen.find(sparse)), k < 3 ? -1 : k - (k - 3) % 7);
    }
}
