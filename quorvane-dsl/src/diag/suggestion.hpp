// The one "did you mean" rule for names that match nothing, shared by lowering and checking.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane_dsl::diag {

// A candidate name with what the search's bounds need of it, made once however many names it is
// offered to.
struct Candidate {
    std::string_view name;
    std::size_t length = 0; // in characters
    // Which bytes occur: bit b of `bytes[b / 64]`; meaningful only when all bytes are ASCII.
    std::array<std::uint64_t, 2> bytes{};
    bool ascii = true;
};

// The names with their lengths and byte sets, in order.
std::vector<Candidate> candidates(std::span<const std::string_view> names);

// The candidate closest to a name by edit distance among those offered so far. Names shorter
// than 3 bytes get none; a candidate may differ in at most a third of the name's bytes; ties go
// to the smallest text, so neither the order of the candidates nor how they are split into
// groups matters.
class Nearest {
  public:
    explicit Nearest(std::string_view name);

    void consider(std::span<const Candidate> candidates);
    // "; did you mean `x`?" for the best candidate, or "".
    std::string hint() const;

  private:
    std::string name_;
    std::size_t limit_ = 0;
    Candidate traits_; // of the name, whose text it does not keep: the name may move
    std::optional<std::pair<std::size_t, std::string>> best_;
};

// The hint of `Nearest` over these candidates.
std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates);

} // namespace quorvane_dsl::diag
