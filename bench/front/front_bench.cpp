// Lexing, line indexing and tree building over a generated source of about 1 MB.
#include <string>

#include <benchmark/benchmark.h>

#include "source/source.hpp"
#include "syntax/lexer.hpp"
#include "syntax/tree.hpp"

using namespace quorvane_dsl;
using enum syntax::SyntaxKind;

namespace {

std::string generated_source() {
    std::string text;
    for (int i = 0; text.size() < 1'000'000; ++i) {
        std::string n = std::to_string(i);
        text += "cell c" + n + "(w: size = 2.5um) {\n";
        text += "    # a comment about shape " + n + "\n";
        text += "    shape rect(w, 500nm) as r" + n + " at (0, " + n + "um) rotate 90deg\n";
        text += "    place c" + n + " with { name = \"x" + n + "\" } at (1..5, 1.5e3)\n";
        text += "}\n";
    }
    return text;
}

const std::string& source() {
    static const std::string text = generated_source();
    return text;
}

void BM_Lex(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(syntax::lexer::lex(source()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source().size()));
}
BENCHMARK(BM_Lex);

void BM_LineIndex(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(source::LineIndex(source()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source().size()));
}
BENCHMARK(BM_LineIndex);

// One node per line over the tokens of that line: about the shape and node density of a parse.
void BM_BuildAndWalkTree(benchmark::State& state) {
    syntax::lexer::Lexed lexed = syntax::lexer::lex(source());
    for (auto _ : state) {
        syntax::TreeBuilder builder;
        builder.start_node(SOURCE_FILE);
        builder.start_node(BLOCK);
        std::size_t offset = 0;
        for (const syntax::lexer::Token& token : lexed.tokens) {
            std::string_view text = std::string_view(source()).substr(offset, token.len);
            offset += token.len;
            builder.token(token.kind, text);
            if (token.kind == WHITESPACE && text.find('\n') != std::string_view::npos) {
                builder.finish_node();
                builder.start_node(BLOCK);
            }
        }
        builder.finish_node();
        builder.finish_node();
        syntax::SyntaxNode root = syntax::SyntaxNode::root(builder.finish());
        std::size_t events = 0;
        for (const auto& event : root.preorder_with_tokens()) {
            events += event.walk == syntax::Walk::Enter;
        }
        benchmark::DoNotOptimize(events);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source().size()));
}
BENCHMARK(BM_BuildAndWalkTree);

} // namespace
