#include "decompile/output.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "base/pool.hpp"
#include "format/format.hpp"

namespace quorvane_dsl::decompile {

namespace {

std::size_t line_count(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count(text, '\n'));
}

// Drops the first `opening` and the last `closing` lines of a formatted text, whose every line
// ends with a line feed: the lines that only stood in for the blocks around the piece.
void cut_context(std::string& text, std::size_t opening, std::size_t closing) {
    std::size_t end = text.size();
    for (; closing > 0 && end > 0; --closing) {
        const std::size_t previous = text.rfind('\n', end - 2);
        end = previous == std::string::npos ? 0 : previous + 1;
    }
    std::size_t begin = 0;
    for (; opening > 0 && begin < end; --opening) {
        begin = text.find('\n', begin) + 1;
    }
    text.resize(end);
    text.erase(0, begin);
}

// Appends the texts in order; the copies run on the pool, as together they may be most of the
// output.
void append_in_order(std::string& out, std::span<const std::string> texts) {
    std::vector<std::size_t> offsets{out.size()};
    for (const std::string& text : texts) {
        offsets.push_back(offsets.back() + text.size());
    }
    out.resize_and_overwrite(offsets.back(), [&](char* data, std::size_t size) {
        base::pool::for_each(texts.size(), [&](std::size_t i) {
            std::memcpy(data + offsets[i], texts[i].data(), texts[i].size());
        });
        return size;
    });
}

} // namespace

Output::Output(bool formatting, PieceLimits limits, TextSink sink)
    : formatting_(formatting), limits_(limits), sink_(std::move(sink)) {
    if (formatting_) {
        pieces_.emplace_back();
    }
}

void Output::end_item() {
    if (formatting_ && pieces_.back().text.size() >= limits_.piece) {
        start({.blank_before = true});
    }
}

void Output::begin_verbatim(std::string_view closing) {
    if (!formatting_) {
        return;
    }
    pieces_.back().text += closing;
    pieces_.back().closing_lines = line_count(closing);
    start({.verbatim = true});
}

void Output::end_verbatim(std::string_view opening) {
    if (!formatting_) {
        return;
    }
    Piece piece{.text = std::string(opening), .opening_lines = line_count(opening)};
    if (direct_) {
        direct_ = false;
        pieces_.push_back(std::move(piece));
        return;
    }
    start(std::move(piece));
}

void Output::append_verbatim(std::span<std::string> texts) {
    if (formatting_ && direct_) {
        for (std::string& text : texts) {
            hand_on(std::move(text));
        }
        return;
    }
    append_in_order(text(), texts);
}

void Output::bound_verbatim() {
    if (!formatting_) {
        return;
    }
    if (direct_) {
        if (out_.size() >= limits_.piece) {
            hand_on_gathered();
        }
        return;
    }
    if (pieces_.back().verbatim && pieces_.back().text.size() >= limits_.piece) {
        flush(pieces_.size());
        direct_ = true;
    }
}

void Output::start(Piece piece) {
    pending_bytes_ += pieces_.back().text.size();
    pieces_.push_back(std::move(piece));
    if (pending_bytes_ >= limits_.batch) {
        flush(pieces_.size() - 1);
    }
}

void Output::flush(std::size_t ready) {
    // Once a piece is rejected the text is written anew unformatted; nothing more is laid out.
    std::atomic<bool> rejected = unparsed_;
    base::pool::for_each(ready, [&](std::size_t i) {
        Piece& piece = pieces_[i];
        if (piece.verbatim || rejected) {
            return;
        }
        auto formatted = format::format(piece.text);
        if (!formatted) {
            rejected = true;
            return;
        }
        cut_context(*formatted, piece.opening_lines, piece.closing_lines);
        piece.text = std::move(*formatted);
    });
    unparsed_ = rejected;
    for (std::size_t i = 0; i < ready && !unparsed_; ++i) {
        if (pieces_[i].blank_before) {
            out_ += '\n';
        }
        hand_on(std::move(pieces_[i].text));
    }
    pieces_.erase(pieces_.begin(), pieces_.begin() + static_cast<std::ptrdiff_t>(ready));
    pending_bytes_ = 0;
}

void Output::hand_on(std::string text) {
    if (text.size() < limits_.piece) {
        out_ += text;
        if (out_.size() >= limits_.piece) {
            hand_on_gathered();
        }
        return;
    }
    hand_on_gathered();
    // Once a piece is rejected the caller drops what it was handed; it need not take more.
    if (!unparsed_) {
        sink_(std::move(text));
    }
}

void Output::hand_on_gathered() {
    if (!out_.empty() && !unparsed_) {
        sink_(std::move(out_));
    }
    out_.clear();
}

std::expected<void, Unparsed> Output::finish() && {
    if (formatting_) {
        // A cut after the last cell leaves an empty piece, which would add a blank line.
        if (pieces_.back().text.empty()) {
            pieces_.pop_back();
        }
        flush(pieces_.size());
    }
    if (unparsed_) {
        return std::unexpected(Unparsed{});
    }
    hand_on_gathered();
    return {};
}

} // namespace quorvane_dsl::decompile
