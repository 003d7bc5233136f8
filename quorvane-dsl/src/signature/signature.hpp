// Cell signatures: canonical texts, their SHA-256 digests, hulls and footprints.
#pragma once

// Identity of cells across runs and files: canonical texts hashed with SHA-256, and the
// footprint box a published blackbox declares. The canonical texts are a published format;
// every byte of them is fixed.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ir/model.hpp"
#include "sha256/sha256.hpp"

namespace quorvane_dsl::signature {

sha256::Digest sha(std::string_view data);

// The content-digest memo of one library; valid while the library is not changed.
class Digests {
  public:
    explicit Digests(const ir::Library& library);

    // The content digest of a cell. A cell met again while its own digest is being built
    // (a cycle of placements) answers 32 zero bytes there.
    sha256::Digest cell(std::uint64_t index);
    // "sha256:" and the hex digest of the content signature text.
    std::string content(std::uint64_t index);

  private:
    std::string content_text(std::uint64_t index) const;

    const ir::Library& library_;
    std::vector<std::optional<sha256::Digest>> slots_;
    std::vector<bool> in_progress_;
};

// The interface signature of a cell with the given footprint and database unit.
std::string interface(const ir::Cell& cell, const ir::Box& footprint, double dbu);

// "blackbox `c` does not match its interface signature: it was changed after it was published"
// for a blackbox whose record no longer matches the cell; nothing for any other cell.
std::optional<std::string> changed_blackbox(const ir::Cell& cell, double dbu);

// Appends the header lines shared by the interface and content texts.
void header(std::string& text, const ir::Cell& cell);

std::string canonical(const ir::Value& value);

// Whether the value, written as IR text stores it `where` and as GDS metadata stores it, reads
// back with the same canonical text. One that does not (an area, "2500 # area", reads back as the
// Int 2500) would leave a published blackbox that no longer matches its own signature.
bool reads_back_alike(const ir::Value& value, ir::Stored where);
std::string geometry_text(std::span<const ir::Point> points);

// A rounded number: to a millionth, "0" for zero, else its shortest positional digits.
std::string number_text(double value);
// An angle reduced to [0, 360) by the shared angle rule, then rounded like `number_text`.
std::string angle_text(double degrees);

struct HullPoint {
    double x = 0;
    double y = 0;
    auto operator<=>(const HullPoint&) const = default;
};

using Hull = std::vector<HullPoint>;
using HullMemo = std::vector<std::optional<Hull>>;

// The convex hull of a cell and everything it places, memoised per cell in `memo` (one slot
// per cell of the library).
const Hull& hull(const ir::Library& library, std::uint64_t index, HullMemo& memo);

// Bounding box of the cell's hull and of its own port locations; none when there is nothing.
std::optional<ir::Box> footprint(const ir::Library& library, std::uint64_t index);

} // namespace quorvane_dsl::signature
