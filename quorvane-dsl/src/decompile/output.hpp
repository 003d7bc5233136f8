// The decompiler's output: generated text laid out by the formatter piece by piece and handed on.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decompile/decompile.hpp"

namespace quorvane_dsl::decompile {

// When generated text is handed on. Tests set small values to cut the text everywhere.
struct PieceLimits {
    // A formatted piece ends at the first cell end past this many bytes, which bounds the
    // syntax tree the formatter builds for it.
    std::size_t piece = 256 * 1024;
    // Pending pieces past this many bytes are laid out (in parallel) and appended to the output.
    std::size_t batch = 16 * 1024 * 1024;
};

// Hands the generated text on. Without formatting it is one growing text, handed on at the end.
// With formatting the text is cut into pieces that the formatter lays out one by one: cuts fall at
// cell ends, where the whole text's layout is the join of the items' layouts with a blank line
// between, and around runs of shape statements. Those runs are written in the formatter's layout by
// their generator and pass as they are; the formatter sees the block around them, closed and
// reopened by the same lines as in the whole text, so it lays the rest out as it would the whole.
// Laid out pieces are handed on in order as each batch is done, so the text never stands whole.
class Output {
  public:
    Output(bool formatting, PieceLimits limits, TextSink sink);

    // Room for an output of about this many bytes, so that it is not copied as it grows.
    void reserve(std::size_t bytes) { out_.reserve(bytes); }

    // Where generated text goes now.
    std::string& text() { return formatting_ && !direct_ ? pieces_.back().text : out_; }
    // Appends texts that are in the formatter's layout already, in order; they may be taken.
    void append_verbatim(std::span<std::string> texts);

    // A top-level item (a cell) ended here.
    void end_item();
    // Text from here on is in the formatter's layout already; `closing` are the lines that
    // close the blocks open here.
    void begin_verbatim(std::string_view closing);
    // The verbatim text ended; `opening` are the lines that opened the blocks still open.
    void end_verbatim(std::string_view opening);
    // Once a verbatim run has grown past a piece, lays out what is pending and lets the rest of
    // the run go straight into the output.
    void bound_verbatim();

    // Hands on the rest; Unparsed when the formatter rejected a piece.
    std::expected<void, Unparsed> finish() &&;

  private:
    struct Piece {
        std::string text;
        bool verbatim = false;
        bool blank_before = false; // a blank line parts it from the item before
        std::size_t opening_lines = 0;
        std::size_t closing_lines = 0;
    };

    void start(Piece piece);
    // Lays out the first `ready` pending pieces in parallel and hands them on in order.
    void flush(std::size_t ready);
    // Texts of a piece's size go on as they are; smaller ones gather in `out_` first, so that
    // the sink is not handed a run of small texts.
    void hand_on(std::string text);
    void hand_on_gathered();

    bool formatting_;
    PieceLimits limits_;
    TextSink sink_;
    std::string out_;               // text not yet handed on, before any pending piece
    std::vector<Piece> pieces_;     // pending; the last one is being written
    std::size_t pending_bytes_ = 0; // of the pieces before the last
    bool direct_ = false;           // a verbatim run is written straight into the output
    bool unparsed_ = false;
};

} // namespace quorvane_dsl::decompile
