#include "load/load.hpp"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "base/file.hpp"
#include "ir/text.hpp"
#include "syntax/ast.hpp"

namespace quorvane_dsl::load {
namespace {

using source::FileId;

// The directory part of a normalised name; empty for a bare file name.
std::string_view directory_of(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : name.substr(0, slash + 1);
}

std::string join(std::string_view directory, std::string_view path) {
    if (path.starts_with('/') || directory.empty()) {
        return std::string(path);
    }
    std::string joined(directory);
    if (!joined.ends_with('/')) {
        joined += '/';
    }
    return joined + std::string(path);
}

// Only the exact, case-sensitive extension "qvir" marks IR text; `x.QVIR` is read as source.
bool is_ir_path(std::string_view path) {
    const std::string_view last = path.substr(path.rfind('/') + 1);
    const std::size_t dot = last.rfind('.');
    return dot != std::string_view::npos && dot != 0 && last.substr(dot + 1) == "qvir";
}

diag::Diagnostic error_at(FileId file, source::TextRange range, std::string message) {
    return diag::Diagnostic{.message = std::move(message), .src = {range, file}};
}

class Loader {
  public:
    explicit Loader(Loaded& loaded) : loaded_(loaded) {}

    FileId add(std::string name, std::string text) {
        known_.insert(name);
        return loaded_.files.add(std::move(name), std::move(text));
    }

    void drain(FileId root) {
        work_.push_back(root);
        while (!work_.empty()) {
            const FileId file = work_.front();
            work_.pop_front();
            parse_source(file);
        }
    }

  private:
    void parse_source(FileId file) {
        syntax::parser::Parse parse =
            syntax::parser::parse_owned(std::move(loaded_.files.files[file.index].text));
        for (const auto& error : parse.errors) {
            loaded_.diagnostics.push_back(error_at(file, error.range, error.message));
        }
        const std::vector<syntax::ast::Import> imports = syntax::ast::imports(parse.tree());
        loaded_.sources.emplace_back(file, std::move(parse));
        for (const auto& import : imports) {
            follow(file, import);
        }
    }

    void follow(FileId importer, const syntax::ast::Import& import) {
        // The importer's name may move when files grows, so copy what is needed first.
        std::string path =
            normalize_path(join(directory_of(loaded_.files[importer].name), import.path));
        if (known_.contains(path)) {
            return;
        }
        auto text = base::read_text_file(path);
        if (!text) {
            loaded_.diagnostics.push_back(error_at(
                importer, import.range, "cannot import `" + import.path + "`: " + text.error()));
            return;
        }
        const bool ir = is_ir_path(path);
        const FileId file = add(std::move(path), std::move(*text));
        if (ir) {
            read_ir(file, importer, import);
        } else {
            work_.push_back(file);
        }
    }

    void read_ir(FileId file, FileId importer, const syntax::ast::Import& import) {
        auto parsed = ir::parse_with_spans(loaded_.files[file].text);
        if (!parsed) {
            loaded_.diagnostics.push_back(
                error_at(importer, import.range,
                         "cannot import `" + import.path + "`: " + parsed.error().text()));
            return;
        }
        IrFile ir_file{.library = std::move(parsed->library),
                       .file = file,
                       .importer = importer,
                       .import_range = import.range};
        ir_file.spans.reserve(parsed->spans.size());
        for (const auto& span : parsed->spans) {
            // The text is below 4 GiB (Files refuses larger), so its offsets fit in u32.
            ir_file.spans.push_back(
                {static_cast<std::uint32_t>(span.start), static_cast<std::uint32_t>(span.end)});
        }
        loaded_.ir_files.push_back(std::move(ir_file));
    }

    Loaded& loaded_;
    std::unordered_set<std::string> known_;
    std::deque<FileId> work_;
};

} // namespace

std::string normalize_path(std::string_view path) {
    std::vector<std::string_view> components;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = std::min(path.find('/', pos), path.size());
        const std::string_view component = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (component.empty() || component == ".") {
            continue;
        }
        // A `..` takes back a name; with no name before it, it has to stay.
        if (component == ".." && !components.empty() && components.back() != "..") {
            components.pop_back();
            continue;
        }
        components.push_back(component);
    }
    std::string result = path.starts_with('/') ? "/" : "";
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) {
            result += '/';
        }
        result += components[i];
    }
    return result;
}

std::expected<Loaded, std::string> load(const std::string& path) {
    std::string name = normalize_path(path);
    auto text = base::read_text_file(name);
    if (!text) {
        return std::unexpected("reading " + path + ": " + text.error());
    }
    Loaded loaded;
    Loader loader(loaded);
    loader.drain(loader.add(std::move(name), std::move(*text)));
    return loaded;
}

} // namespace quorvane_dsl::load
