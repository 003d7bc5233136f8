#include "technology.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>

#include "base/utf8.hpp"
#include "file_io.hpp"
#include "report.hpp"
#include "syntax/ast.hpp"
#include "syntax/parser.hpp"

namespace quorvane {

namespace {

namespace fs = std::filesystem;
namespace ast = quorvane_dsl::syntax::ast;
using quorvane_dsl::syntax::SyntaxKind;
using quorvane_dsl::syntax::SyntaxNode;

fs::path canonical_or_as_written(const fs::path& path) {
    std::error_code error;
    fs::path canonical = fs::canonical(path, error);
    return error ? path : canonical;
}

// A path's bytes as text: bytes outside any UTF-8 character become U+FFFD.
std::string lossy_text(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        const auto decoded = quorvane_dsl::syntax::utf8::decode(bytes, pos);
        if (decoded.ch == quorvane_dsl::syntax::utf8::invalid_byte) {
            text += "\xEF\xBF\xBD";
        } else {
            text.append(bytes, pos, decoded.len);
        }
        pos += decoded.len;
    }
    return text;
}

// A GDS number as lowering reads it: a whole decimal i32, its sign included.
std::optional<std::int32_t> gds_number(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

// The GDS pair of a layer definition: that of its last well-formed gds property.
std::optional<std::pair<std::int32_t, std::int32_t>> gds_pair(const SyntaxNode& layer_def) {
    std::optional<std::pair<std::int32_t, std::int32_t>> pair;
    for (const SyntaxNode& node : ast::child_nodes(layer_def, SyntaxKind::LAYER_PROP)) {
        const std::optional<ast::GdsSpec> spec = ast::LayerProp{node}.gds();
        if (!spec) {
            continue;
        }
        const auto layer = gds_number(spec->signed_layer());
        const auto datatype = gds_number(spec->signed_datatype());
        if (layer && datatype) {
            pair = {*layer, *datatype};
        }
    }
    return pair;
}

// Global names and layers of the file's own items, read from its syntax tree.
void collect(const SyntaxNode& root, quorvane_dsl::decompile::LayerSource& source) {
    const auto name_of = [](const SyntaxNode& node) {
        const std::optional<ast::Name> name = ast::name_child(node);
        return name ? name->text() : std::string();
    };
    for (const SyntaxNode& item : root.children()) {
        switch (item.kind()) {
        case SyntaxKind::LAYER_TABLE:
            for (const SyntaxNode& def : ast::child_nodes(item, SyntaxKind::LAYER_DEF)) {
                const std::string name = name_of(def);
                if (name.empty()) {
                    continue;
                }
                source.globals.push_back(name);
                // A later definition of the same pair names it.
                if (const auto pair = gds_pair(def)) {
                    source.layers[*pair] = name;
                }
            }
            break;
        case SyntaxKind::CONST_DEF:
        case SyntaxKind::XSECTION_DEF:
        case SyntaxKind::CELL:
            if (std::string name = name_of(item); !name.empty()) {
                source.globals.push_back(std::move(name));
            }
            break;
        default:
            break;
        }
    }
}

} // namespace

std::string relative_path(const std::string& target, const std::string& base) {
    const fs::path t = canonical_or_as_written(target);
    const fs::path b = base.empty() ? canonical_or_as_written(".") : canonical_or_as_written(base);
    fs::path relative;
    auto tail = t.begin();
    bool within = true;
    for (auto part = b.begin(); within && part != b.end(); ++part, ++tail) {
        within = tail != t.end() && *tail == *part;
    }
    if (within) {
        for (; tail != t.end(); ++tail) {
            relative /= *tail;
        }
    } else {
        relative = t;
    }
    std::string text = lossy_text(relative.string());
    std::replace(text.begin(), text.end(), '\\', '/');
    if (text.size() > 3 && text.starts_with("//?/")) {
        text.erase(0, 4);
    }
    return text;
}

std::string parent_directory(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    if (trimmed.empty() || trimmed == "/") {
        return {};
    }
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    std::string parent = trimmed.substr(0, slash);
    while (parent.size() > 1 && parent.back() == '/') {
        parent.pop_back();
    }
    return parent.empty() ? "/" : parent;
}

std::expected<quorvane_dsl::decompile::LayerSource, Outcome>
technology(const std::string& path, const std::string& output_directory) {
    const auto text = read(path);
    if (!text) {
        return std::unexpected(Error{text.error()});
    }
    const auto parsed = quorvane_dsl::syntax::parser::parse(*text);
    if (!parsed.errors.empty()) {
        print_syntax_errors(path, *text, parsed.errors);
        return std::unexpected(Fail{});
    }
    quorvane_dsl::decompile::LayerSource source;
    source.import_path = relative_path(path, output_directory);
    collect(parsed.tree(), source);
    return source;
}

} // namespace quorvane
