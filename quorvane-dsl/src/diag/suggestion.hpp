// The one "did you mean" rule for names that match nothing, shared by lowering and checking.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane_dsl::diag {

// The candidate closest to a name by edit distance among those offered so far. Names shorter
// than 3 bytes get none; a candidate may differ in at most a third of the name's bytes; ties go
// to the smallest text, so neither the order of the candidates nor how they are split into
// groups matters.
class Nearest {
  public:
    explicit Nearest(std::string_view name);

    void consider(std::span<const std::string_view> candidates);
    // "; did you mean `x`?" for the best candidate, or "".
    std::string hint() const;

  private:
    std::string name_;
    std::size_t limit_ = 0;
    std::size_t length_ = 0; // in characters
    std::optional<std::pair<std::size_t, std::string>> best_;
};

// The hint of `Nearest` over these candidates.
std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates);

} // namespace quorvane_dsl::diag
