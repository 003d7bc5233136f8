// Whiteboxes back in place of published blackboxes, matched by their signatures.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::blackbox {

// One library offered to take blackboxes from; `name` is how messages cite it. Its position in
// the offered list decides every first-wins choice.
struct Whiteboxes {
    std::string name;
    const ir::Library* library = nullptr; // borrowed for the call
};

// Every outcome of one unboxing, each list in the order the events happened.
struct UnboxReport {
    std::vector<std::string> unboxed;
    std::vector<std::string> warnings;
    std::vector<std::string> errors;
};

// Replaces each blackbox cell of `design` by the whitebox with its recorded content signature,
// or, with `allow_revision`, by a same-name whitebox with an unchanged interface. Never fails:
// a blackbox that cannot be unboxed stays as it is and the reason is a line of the report.
// Afterwards cells of one name are merged and an unused "blackbox" layer is dropped.
UnboxReport unbox(ir::Library& design, std::span<const Whiteboxes> whiteboxes, bool allow_revision);

// "sha256:" and the first 12 hex digits: the first 19 characters, never cutting one.
std::string_view short_signature(std::string_view signature);

} // namespace quorvane_dsl::blackbox
