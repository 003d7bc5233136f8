#include "technology.hpp"

#include <algorithm>
#include <filesystem>

#include "analysis.hpp"
#include "base/utf8.hpp"
#include "inputs.hpp"
#include "load.hpp"
#include "report.hpp"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// A path's bytes as text: bytes outside any UTF-8 character become U+FFFD.
std::string lossy_text(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        const auto decoded = quorvane_dsl::base::utf8::decode(bytes, pos);
        if (decoded.ch == quorvane_dsl::base::utf8::invalid_byte) {
            text += "\xEF\xBF\xBD";
        } else {
            text.append(bytes, pos, decoded.len);
        }
        pos += decoded.len;
    }
    return text;
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
technology(const std::string& path, const std::string& output_directory, InputFiles& inputs) {
    auto analysis = quorvane_dsl::analyze(path, command_analysis);
    if (!analysis) {
        return std::unexpected(Error{analysis.error()});
    }
    add_sources(inputs, analysis->hir.files);
    if (!report(*analysis)) {
        return std::unexpected(Fail{});
    }
    quorvane_dsl::decompile::LayerSource source;
    source.import_path = relative_path(path, output_directory);
    // In definition order, so that a later layer of the same pair names it.
    for (const quorvane_dsl::hir::LayerDef& layer : analysis->hir.layers) {
        if (layer.gds) {
            source.layers[*layer.gds] = layer.name;
        }
    }
    source.globals.reserve(analysis->hir.globals.size());
    for (const auto& [name, global] : analysis->hir.globals) {
        source.globals.push_back(name);
    }
    return source;
}

} // namespace quorvane
