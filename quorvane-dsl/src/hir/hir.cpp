#include "hir/hir.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <string>
#include <variant>

#include "base/fatal.hpp"

namespace quorvane_dsl::hir {

namespace {

template <class T> Run<T> append_run(std::vector<T>& all, std::span<const T> list) {
    // Runs are u32 like every index; a program this large cannot come from a text below 4 GiB.
    if (all.size() + list.size() >= UINT32_MAX) {
        base::fatal("hir: more than 2^32 - 1 list entries");
    }
    const Run<T> run{static_cast<std::uint32_t>(all.size()),
                     static_cast<std::uint32_t>(list.size())};
    all.insert(all.end(), list.begin(), list.end());
    return run;
}

std::optional<Global> global_of(const Hir& hir, std::string_view name, Global::Kind kind) {
    auto found = hir.globals.find(name);
    if (found == hir.globals.end() || found->second.kind != kind) {
        return std::nullopt;
    }
    return found->second;
}

template <class Def>
std::optional<Src> member_src(const std::vector<Def>& members, std::uint32_t index) {
    if (index >= members.size()) {
        return std::nullopt;
    }
    return members[index].src;
}

} // namespace

std::optional<BindingId> Res::local() const {
    if (const auto* local = std::get_if<Local>(&kind)) {
        return local->binding;
    }
    return std::nullopt;
}

Res Global::res() const {
    switch (kind) {
    case Kind::Layer:
        return Res{Res::Layer{LayerId{index}}};
    case Kind::Const:
        return Res{Res::Const{ConstId{index}}};
    case Kind::Cell:
        return Res{Res::Cell{CellId{index}}};
    case Kind::XSection:
        return Res{Res::XSection{XsId{index}}};
    }
    base::fatal("hir: global of unknown kind");
}

std::optional<std::pair<std::uint32_t, const ParamDef*>> XsDef::param(std::string_view name) const {
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i].name == name) {
            return std::pair{static_cast<std::uint32_t>(i), &params[i]};
        }
    }
    return std::nullopt;
}

Src Hir::expr_src(ExprId id) const {
    if (id.raw >= expr_ranges.size()) {
        base::fatal("hir: expression location " + std::to_string(id.raw) + " out of range");
    }
    const auto run = std::ranges::upper_bound(expr_files, id.raw, {}, &FileRun::first);
    return {expr_ranges[id.raw], std::prev(run)->file};
}

const Src& Hir::stmt_src(StmtId id) const {
    if (id.raw >= stmt_srcs.size()) {
        base::fatal("hir: statement location " + std::to_string(id.raw) + " out of range");
    }
    return stmt_srcs[id.raw];
}

ArgRun Hir::add_args(std::span<const Arg> list) {
    return append_run(args, list);
}

ExprRun Hir::add_elements(std::span<const ExprId> list) {
    return append_run(list_elements, list);
}

Body Hir::add_body(std::span<const StmtId> list) {
    return append_run(bodies, list);
}

namespace {

// Hashes eight bytes at a time: names are short, and a byte at a time costs more than the probe.
std::uint64_t text_hash(std::string_view text) {
    constexpr std::uint64_t mix = 0x9E3779B97F4A7C15;
    std::uint64_t hash = text.size() * mix;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, 8);
        hash = std::rotl((hash ^ word) * mix, 29);
    }
    std::uint64_t tail = 0;
    if (at < text.size()) {
        std::memcpy(&tail, text.data() + at, text.size() - at);
    }
    hash = (hash ^ tail) * mix;
    return hash ^ (hash >> 32);
}

} // namespace

std::size_t Texts::probe(std::string_view text, std::uint64_t hash) const {
    const auto high = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    for (; slots_[at].symbol_plus_one != 0; at = (at + 1) & mask) {
        const Slot slot = slots_[at];
        if (slot.hash_high == high && texts_[slot.symbol_plus_one - 1] == text) {
            break;
        }
    }
    return at;
}

std::optional<Symbol> Texts::find(std::string_view text) const {
    if (slots_.empty()) {
        return std::nullopt;
    }
    const Slot slot = slots_[probe(text, text_hash(text))];
    if (slot.symbol_plus_one == 0) {
        return std::nullopt;
    }
    return Symbol{slot.symbol_plus_one - 1};
}

Symbol Texts::intern(std::string_view text) {
    if (slots_.empty()) {
        slots_.resize(64);
    }
    const std::uint64_t hash = text_hash(text);
    const std::size_t at = probe(text, hash);
    if (slots_[at].symbol_plus_one != 0) {
        return Symbol{slots_[at].symbol_plus_one - 1};
    }
    if (texts_.size() >= UINT32_MAX - 1) {
        base::fatal("hir: more than 2^32 - 2 distinct texts");
    }
    const Symbol symbol{static_cast<std::uint32_t>(texts_.size())};
    texts_.emplace_back(text);
    slots_[at] = {static_cast<std::uint32_t>(hash >> 32), symbol.raw + 1};
    if (texts_.size() * 2 > slots_.size()) {
        grow();
    }
    return symbol;
}

void Texts::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot slot : old) {
        if (slot.symbol_plus_one == 0) {
            continue;
        }
        std::size_t at = text_hash(texts_[slot.symbol_plus_one - 1]) & mask;
        while (slots_[at].symbol_plus_one != 0) {
            at = (at + 1) & mask;
        }
        slots_[at] = slot;
    }
}

StmtId Hir::add_stmt(Stmt stmt, Src src) {
    stmt_srcs.push_back(src);
    return stmts.alloc(std::move(stmt));
}

std::optional<CellId> Hir::cell_by_name(std::string_view name) const {
    if (auto global = global_of(*this, name, Global::Kind::Cell)) {
        return CellId{global->index};
    }
    return std::nullopt;
}

std::optional<XsId> Hir::xsection_by_name(std::string_view name) const {
    if (auto global = global_of(*this, name, Global::Kind::XSection)) {
        return XsId{global->index};
    }
    return std::nullopt;
}

std::optional<Src> Hir::res_src(const Res& res) const {
    return std::visit(
        [&](const auto& r) -> std::optional<Src> {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, Res::Local>) {
                return bindings[r.binding].src;
            } else if constexpr (std::is_same_v<R, Res::Param>) {
                return member_src(cells[r.cell].params, r.index);
            } else if constexpr (std::is_same_v<R, Res::Attr>) {
                return member_src(cells[r.cell].attrs, r.index);
            } else if constexpr (std::is_same_v<R, Res::Marker>) {
                return member_src(cells[r.cell].markers, r.index);
            } else if constexpr (std::is_same_v<R, Res::Const>) {
                return consts[r.id].src;
            } else if constexpr (std::is_same_v<R, Res::Cell>) {
                return cells[r.id].src;
            } else if constexpr (std::is_same_v<R, Res::XSection>) {
                return xsections[r.id].src;
            } else if constexpr (std::is_same_v<R, Res::XsParam>) {
                return member_src(xsections[r.xs].params, r.index);
            } else if constexpr (std::is_same_v<R, Res::Layer>) {
                return layers[r.id].src;
            } else {
                return std::nullopt;
            }
        },
        res.kind);
}

} // namespace quorvane_dsl::hir
