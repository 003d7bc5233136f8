// The lowering driver: declares every global first, then lowers the items in fixed passes.
#include "lower/lower.hpp"

#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {
namespace {

// Reserves the arenas from the size of the source texts, so that they do not grow by doubling:
// each growth step moves every item and touches twice the memory. The ratios are those of dense
// designs; a sparser text leaves part of the reservation untouched, which costs no pages.
void reserve_for_text(hir::Hir& hir, std::size_t bytes, Options options) {
    hir.exprs.reserve(bytes / 6);
    hir.expr_ranges.reserve(bytes / 6);
    hir.stmts.reserve(bytes / 32);
    hir.stmt_srcs.reserve(bytes / 32);
    if (options.occurrences) {
        hir.occurrences.reserve(bytes / 16);
    }
    hir.bindings.reserve(bytes / 64);
}

} // namespace

hir::Hir lower(load::Loaded loaded, Options options) {
    hir::Hir hir;
    hir.files = std::move(loaded.files);
    hir.diagnostics = std::move(loaded.diagnostics);
    std::size_t source_bytes = 0;
    for (const auto& [file, parse] : loaded.sources) {
        source_bytes += parse.tree().text_range().len();
    }
    reserve_for_text(hir, source_bytes, options);
    {
        Lowerer lowerer(std::move(hir), options);
        for (const auto& [file, parse] : loaded.sources) {
            // Counted before lowering takes handles of its own.
            if (parse.green.use_count() == 1) {
                lowerer.release_behind(file, *parse.green);
            }
            lowerer.declare_items(file, parse.tree());
        }
        lowerer.import_ir_files(std::move(loaded.ir_files));
        lowerer.lower_items();
        hir = lowerer.finish();
    }
    for (auto& [file, parse] : loaded.sources) {
        hir.files.files[file.index].text = syntax::release_text(std::move(parse.green));
    }
    return hir;
}

void Lowerer::error(hir::Src at, std::string message) {
    hir_.diagnostics.push_back(diag::Diagnostic{.message = std::move(message), .src = at});
}

void Lowerer::too_deep(source::TextRange at) {
    if (!too_deep_reported_) {
        too_deep_reported_ = true;
        error(src(at), "nested too deeply");
    }
}

void Lowerer::occurrence(hir::Res res, hir::Src at, bool declaration) {
    if (options_.occurrences) {
        hir_.occurrences.push_back({std::move(res), at, declaration});
    }
}

hir::ExprId Lowerer::missing(source::TextRange range) {
    return hir_.add_expr(hir::Expr{hir::Expr::Missing{}}, src(range));
}

void Lowerer::declare_items(source::FileId file, const SyntaxNode& root) {
    file_ = file;
    for (const SyntaxNode& node : root.children()) {
        switch (node.kind()) {
        case SyntaxKind::LAYER_TABLE:
            for (const SyntaxNode& def : ast::child_nodes(node, SyntaxKind::LAYER_DEF)) {
                declare_layer(def);
            }
            break;
        case SyntaxKind::CONST_DEF:
            declare_const(node);
            break;
        case SyntaxKind::XSECTION_DEF:
            declare_xsection(node);
            break;
        case SyntaxKind::CELL:
            declare_cell(node);
            break;
        default:
            break;
        }
    }
}

bool Lowerer::declare_global_at(std::string name, source::TextRange range, hir::Global global) {
    auto [entry, inserted] = hir_.globals.try_emplace(std::move(name), global);
    if (inserted) {
        return true;
    }
    diag::Diagnostic diagnostic{.message = "`" + entry->first + "` is already defined",
                                .src = src(range)};
    if (auto first = hir_.res_src(entry->second.res())) {
        diagnostic.notes.push_back({"first defined here", *first});
    }
    hir_.diagnostics.push_back(std::move(diagnostic));
    return false;
}

void Lowerer::declare_const(const SyntaxNode& def) {
    const auto name = ast::name_child(def);
    if (!name) {
        return;
    }
    std::optional<hir::TypeAnn> ty;
    if (const auto type = ast::type_child(def)) {
        ty = type_ann(hir_.texts, file_, *type);
    }
    const hir::ExprId provisional = missing(def.text_range());
    const hir::ConstId id = hir_.consts.alloc(hir::ConstDef{
        .name = name->text(), .ty = std::move(ty), .src = src(name->syntax), .value = provisional});
    if (declare_global_at(name->text(), name->syntax.text_range(),
                          {hir::Global::Kind::Const, id.raw})) {
        occurrence(hir::Res{hir::Res::Const{id}}, src(name->syntax), true);
        const_work_.push_back({file_, id.raw, def});
    }
}

void Lowerer::import_ir_files(std::vector<load::IrFile> files) {
    for (load::IrFile& file : files) {
        import_ir_file(std::move(file));
    }
}

void Lowerer::lower_items() {
    for (const Work& work : const_work_) {
        file_ = work.file;
        hir_.consts[hir::ConstId{work.index}].value =
            expr(ast::child_after(work.node, SyntaxKind::EQ), work.node.text_range());
    }
    for (const Work& work : layer_work_) {
        file_ = work.file;
        layer_props(hir::LayerId{work.index}, work.node);
    }
    for (const Work& work : xs_work_) {
        file_ = work.file;
        lower_xsection(hir::XsId{work.index}, work.node);
    }
    for (const Work& work : cell_work_) {
        release_before(work);
        file_ = work.file;
        lower_cell(hir::CellId{work.index}, work.node);
    }
}

void Lowerer::release_behind(source::FileId file, const syntax::Tree& tree) {
    if (releases_.size() <= file.index) {
        releases_.resize(file.index + 1);
    }
    releases_[file.index].emplace(tree);
}

// Only the last pass gives storage back: each earlier one leaves items all over a file for the
// passes after it. The cells of a file come in the file's order, and a cell's lowering reads
// its own subtree alone; declarations, diagnostics and the pre-bound names keep no index or
// handle of the tree that is read again.
void Lowerer::release_before(const Work& work) {
    if (work.file.index < releases_.size() && releases_[work.file.index]) {
        releases_[work.file.index]->behind(work.node.index());
    }
}

} // namespace quorvane_dsl::lower
