// The one "did you mean" rule for names that match nothing, shared by lowering and checking.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane_dsl::diag {

// "; did you mean `x`?" for the candidate closest to `name` by edit distance, or "". Names
// shorter than 3 bytes get none; a candidate may differ in at most a third of the name's bytes;
// ties go to the smallest text, so the order of the candidates does not matter.
std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates);

} // namespace quorvane_dsl::diag
