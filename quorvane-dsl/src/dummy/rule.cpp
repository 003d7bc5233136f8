#include <string>

#include "base/utf8.hpp"
#include "dummy/dummy.hpp"
#include "ir/scan.hpp"
#include "ir/value.hpp"

namespace quorvane_dsl::dummy {

namespace {

using base::utf8::trim;

std::string quoted(std::string_view text) {
    return "`" + std::string(text) + "`";
}

bool is_name(std::string_view text) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (text.empty() || !letter(text[0])) {
        return false;
    }
    for (char c : text) {
        if (!letter(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

// The example each valued key offers when it is written without a value.
std::optional<std::string_view> example_value(std::string_view key) {
    static constexpr std::pair<std::string_view, std::string_view> examples[] = {
        {"size", "2um"},
        {"space", "2um"},
        {"keepout", "3um"},
        {"margin", "10um"},
        {"exclude", "metal+heater"},
        {"area", "chip"},
        {"datatype", "1"}};
    for (const auto& [name, example] : examples) {
        if (name == key) {
            return example;
        }
    }
    return std::nullopt;
}

std::expected<std::vector<LayerRef>, std::string> layer_list(std::string_view text) {
    std::vector<LayerRef> refs;
    for (;;) {
        const std::size_t plus = text.find('+');
        auto ref = layer_ref(text.substr(0, plus));
        if (!ref) {
            return std::unexpected(std::move(ref.error()));
        }
        refs.push_back(std::move(*ref));
        if (plus == std::string_view::npos) {
            return refs;
        }
        text.remove_prefix(plus + 1);
    }
}

// One "key=value" piece (or a bare key) applied to the rule.
std::expected<void, std::string> apply(Rule& rule, std::string_view key,
                                       std::optional<std::string_view> value) {
    const bool known = example_value(key) || key == "stagger";
    if (!known) {
        return std::unexpected("unknown dummy option " + quoted(key) +
                               "; options: size, space, keepout, margin, exclude, area, "
                               "datatype, stagger");
    }
    if (key == "stagger") {
        if (!value || *value == "true") {
            rule.stagger = true;
        } else if (*value == "false") {
            rule.stagger = false;
        } else {
            return std::unexpected("`stagger` is true or false, not " + quoted(*value));
        }
        return {};
    }
    if (!value) {
        return std::unexpected(quoted(key) + " needs a value, such as `" + std::string(key) + "=" +
                               std::string(*example_value(key)) + "`");
    }
    if (key == "exclude") {
        auto refs = layer_list(*value);
        if (!refs) {
            return std::unexpected(std::move(refs.error()));
        }
        rule.exclude = std::move(*refs);
        return {};
    }
    if (key == "area") {
        auto ref = layer_ref(*value);
        if (!ref) {
            return std::unexpected(std::move(ref.error()));
        }
        rule.area = std::move(*ref);
        return {};
    }
    if (key == "datatype") {
        const auto number = ir::scan::read_i32(*value);
        if (!number) {
            return std::unexpected("`datatype` is a number, not " + quoted(*value));
        }
        rule.datatype = *number;
        return {};
    }
    auto nanometres = length(key, *value);
    if (!nanometres) {
        return std::unexpected(std::move(nanometres.error()));
    }
    double& target = key == "size"      ? rule.size
                     : key == "space"   ? rule.space
                     : key == "keepout" ? rule.keepout
                                        : rule.margin;
    target = *nanometres;
    return {};
}

} // namespace

std::expected<LayerRef, std::string> layer_ref(std::string_view text) {
    text = trim(text);
    if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
        const auto layer = ir::scan::read_i32(text.substr(0, slash));
        const auto datatype = ir::scan::read_i32(text.substr(slash + 1));
        if (layer && datatype) {
            return GdsPair{*layer, *datatype};
        }
    } else if (is_name(text)) {
        return std::string(text);
    }
    return std::unexpected("expected a layer name or `<layer>/<datatype>`, found " + quoted(text));
}

std::expected<double, std::string> length(std::string_view key, std::string_view text) {
    if (const auto value = ir::Value::parse_literal(text)) {
        if (const auto* integer = std::get_if<ir::Value::Int>(&value->kind);
            integer && integer->value == 0) {
            return 0.0;
        }
        if (const auto* number = std::get_if<ir::Value::Number>(&value->kind);
            number && number->dim == units::Dim{1, 0} && number->value >= 0) {
            return number->value;
        }
    }
    return std::unexpected(
        quoted(key) + " is a length that is not negative, such as `2um`; found " + quoted(text));
}

std::expected<Rule, std::string> Rule::parse(std::string_view text) {
    const std::size_t colon = text.find(':');
    auto layer = layer_ref(text.substr(0, colon));
    if (!layer) {
        return std::unexpected(std::move(layer.error()));
    }
    Rule rule{.layer = std::move(*layer)};
    std::string_view options =
        colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    for (;;) {
        const std::size_t comma = options.find(',');
        const std::string_view piece = trim(options.substr(0, comma));
        if (!piece.empty()) {
            const std::size_t equals = piece.find('=');
            const std::string_view key = trim(piece.substr(0, equals));
            std::optional<std::string_view> value;
            if (equals != std::string_view::npos) {
                value = trim(piece.substr(equals + 1));
            }
            if (auto applied = apply(rule, key, value); !applied) {
                return std::unexpected(std::move(applied.error()));
            }
        }
        if (comma == std::string_view::npos) {
            break;
        }
        options.remove_prefix(comma + 1);
    }
    if (!(rule.size > 0)) {
        return std::unexpected("the dummy `size` must be positive");
    }
    return rule;
}

} // namespace quorvane_dsl::dummy
