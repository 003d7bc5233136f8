// The checker's table of types, handed on with the HIR.
#pragma once

namespace quorvane_dsl::check {

// Placeholder until the type checker lands; it replaces this with the real table.
struct Types {};

} // namespace quorvane_dsl::check
