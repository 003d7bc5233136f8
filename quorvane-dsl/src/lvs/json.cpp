#include "lvs/json.hpp"

#include <charconv>
#include <cstdlib>
#include <optional>

#include "base/utf8.hpp"

namespace quorvane_dsl::lvs {

const Json* JsonDocument::member(const Json::Object& object, std::string_view key) const {
    for (const Json::Member& member : object.members) {
        if (member.key == key) {
            return &(*this)[member.value];
        }
    }
    return nullptr;
}

namespace {

namespace utf8 = base::utf8;

constexpr char32_t replacement_char = 0xFFFD;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_number_char(char c) {
    return is_digit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

int hex_digit(char c) {
    if (is_digit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool is_high_surrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The four bytes after a \u, read as a hexadecimal number that may carry a plus sign (older
// netlists were read that way, so such a file keeps its meaning).
std::expected<char32_t, std::string> hex_code(std::string_view text, std::size_t at) {
    if (at + 4 > text.size() || !utf8::is_char_boundary(text, at + 4)) {
        return std::unexpected("bad \\u escape");
    }
    std::string_view digits = text.substr(at, 4);
    if (digits.front() == '+') {
        digits.remove_prefix(1);
    }
    char32_t code = 0;
    for (const char c : digits) {
        const int digit = hex_digit(c);
        if (digit < 0) {
            return std::unexpected("invalid digit found in string");
        }
        code = code * 16 + static_cast<char32_t>(digit);
    }
    return code;
}

// An optional sign, digits with at most one decimal point, then an optional exponent.
bool is_decimal(std::string_view run) {
    std::size_t i = 0;
    const auto skip_sign = [&] {
        if (i < run.size() && (run[i] == '+' || run[i] == '-')) {
            ++i;
        }
    };
    skip_sign();
    std::size_t digits = 0;
    bool point = false;
    for (; i < run.size(); ++i) {
        if (is_digit(run[i])) {
            ++digits;
        } else if (run[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i == run.size()) {
        return true;
    }
    if (run[i] != 'e' && run[i] != 'E') {
        return false;
    }
    ++i;
    skip_sign();
    const std::size_t exponent_start = i;
    while (i < run.size() && is_digit(run[i])) {
        ++i;
    }
    return i > exponent_start && i == run.size();
}

// The nearest double to a decimal text that is_decimal accepted.
double decimal_value(std::string_view run) {
    if (run.front() == '+') {
        run.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(run.data(), run.data() + run.size(), value);
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone past the range of double; strtod gives the
        // infinity or zero that is nearest.
        value = std::strtod(std::string(run).c_str(), nullptr);
    }
    return value;
}

template <typename T> std::unexpected<std::string> fail(T message) {
    return std::unexpected(std::string(std::move(message)));
}

// Reads one value with an explicit stack of the arrays and objects still open, so that deep
// nesting costs memory, not call depth.
class JsonParser {
  public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    // Moves past white space.
    void ws() {
        while (pos_ < text_.size()) {
            const utf8::Decoded next = utf8::decode(text_, pos_);
            if (!utf8::is_white_space(next.ch)) {
                return;
            }
            pos_ += next.len;
        }
    }

    std::size_t offset() const { return pos_; }
    bool at_end() const { return pos_ >= text_.size(); }

    std::expected<JsonId, std::string> value() {
        for (;;) {
            auto started = start_value();
            if (!started) {
                return std::unexpected(std::move(started.error()));
            }
            std::optional<JsonId> done = *started;
            // A finished value may finish the containers around it in turn.
            while (done) {
                if (open_.empty()) {
                    return *done;
                }
                auto delivered = deliver(*done);
                if (!delivered) {
                    return std::unexpected(std::move(delivered.error()));
                }
                done = *delivered;
            }
        }
    }

    JsonDocument take(JsonId root) { return {std::move(values_), root}; }

  private:
    enum class Awaiting { Element, Key, MemberValue };

    struct Open {
        JsonId id;
        std::size_t start = 0;
        Awaiting awaiting = Awaiting::Element;
        std::string key;
    };

    using Step = std::expected<std::optional<JsonId>, std::string>;

    JsonId add(Json value) {
        values_.push_back(std::move(value));
        return {static_cast<std::uint32_t>(values_.size() - 1)};
    }

    std::string_view character_at(std::size_t at) const {
        return text_.substr(at, utf8::decode(text_, at).len);
    }

    // Begins the value at the cursor: a finished value, or nothing when a container was opened
    // whose elements follow.
    Step start_value() {
        ws();
        if (at_end()) {
            return fail("unexpected end of JSON");
        }
        const std::size_t start = pos_;
        const char c = text_[pos_];
        if (c == '"') {
            ++pos_;
            auto text = string_body();
            if (!text) {
                return std::unexpected(std::move(text.error()));
            }
            return add({std::move(*text)});
        }
        if (c == '[' || c == '{') {
            return open(c, start);
        }
        if (c == 'n' || c == 't' || c == 'f') {
            return word(start);
        }
        return number(start);
    }

    Step open(char bracket, std::size_t start) {
        ++pos_;
        ws();
        const bool array = bracket == '[';
        const JsonId id = array ? add({Json::Array{}}) : add({Json::Object{}});
        if (!at_end() && text_[pos_] == (array ? ']' : '}')) {
            ++pos_;
            return id;
        }
        open_.push_back({id, start, array ? Awaiting::Element : Awaiting::Key, {}});
        return std::nullopt;
    }

    // Hands a finished value to the innermost open container; gives that container when the
    // value was its last.
    Step deliver(JsonId id) {
        Open& top = open_.back();
        switch (top.awaiting) {
        case Awaiting::Element:
            std::get<Json::Array>(values_[top.id.index].value).items.push_back(id);
            return after_item(']', "expected `,` or `]` in an array");
        case Awaiting::Key:
            return take_key(top, id);
        case Awaiting::MemberValue:
            std::get<Json::Object>(values_[top.id.index].value)
                .members.push_back({std::move(top.key), id});
            top.awaiting = Awaiting::Key;
            return after_item('}', "expected `,` or `}` in an object");
        }
        return std::nullopt;
    }

    Step after_item(char close, const char* message) {
        ws();
        if (!at_end() && text_[pos_] == ',') {
            ++pos_;
            return std::nullopt;
        }
        if (!at_end() && text_[pos_] == close) {
            ++pos_;
            const JsonId closed = open_.back().id;
            open_.pop_back();
            return closed;
        }
        return fail(message);
    }

    Step take_key(Open& top, JsonId id) {
        auto* key = std::get_if<std::string>(&values_[id.index].value);
        if (key == nullptr) {
            return fail("expected a key at byte " + std::to_string(top.start));
        }
        top.key = std::move(*key);
        // The key's text now lives in the member; its slot stays behind empty.
        ws();
        if (at_end()) {
            return fail("expected `:` at the end");
        }
        if (text_[pos_] != ':') {
            return fail("expected `:` at byte " + std::to_string(pos_) + ", found `" +
                        std::string(character_at(pos_)) + "`");
        }
        ++pos_;
        top.awaiting = Awaiting::MemberValue;
        return std::nullopt;
    }

    // The text of a string whose opening quote is behind the cursor.
    std::expected<std::string, std::string> string_body() {
        std::string out;
        for (;;) {
            const std::size_t stop = text_.find_first_of("\"\\", pos_);
            if (stop == std::string_view::npos) {
                return fail("unterminated string");
            }
            out.append(text_.substr(pos_, stop - pos_));
            pos_ = stop + 1;
            if (text_[stop] == '"') {
                return out;
            }
            if (at_end()) {
                return fail("unterminated string");
            }
            if (auto escaped = escape(out); !escaped) {
                return std::unexpected(std::move(escaped.error()));
            }
        }
    }

    // Appends what the escape after a backslash stands for.
    std::expected<void, std::string> escape(std::string& out) {
        const char c = text_[pos_++];
        switch (c) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'u': {
            auto code = unicode_escape();
            if (!code) {
                return std::unexpected(std::move(code.error()));
            }
            utf8::encode(out, *code);
            break;
        }
        default:
            // Any other character stands for itself; the rest of a multi-byte character
            // follows as plain text.
            out += c;
        }
        return {};
    }

    // The character of a \u escape, two escapes when they form a surrogate pair. A surrogate
    // without its partner stands for no character and becomes U+FFFD.
    std::expected<char32_t, std::string> unicode_escape() {
        auto code = hex_code(text_, pos_);
        if (!code) {
            return code;
        }
        pos_ += 4;
        if (is_high_surrogate(*code) && text_.substr(pos_, 2) == "\\u") {
            const auto low = hex_code(text_, pos_ + 2);
            if (low && is_low_surrogate(*low)) {
                pos_ += 6;
                return 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
            }
        }
        if (is_high_surrogate(*code) || is_low_surrogate(*code)) {
            return replacement_char;
        }
        return *code;
    }

    Step word(std::size_t start) {
        while (pos_ < text_.size() && is_letter(text_[pos_])) {
            ++pos_;
        }
        const std::string_view run = text_.substr(start, pos_ - start);
        if (run == "true" || run == "false") {
            return add({run == "true"});
        }
        if (run == "null") {
            return add({Json::Null{}});
        }
        return fail("unexpected `" + std::string(run) + "` at byte " + std::to_string(start));
    }

    Step number(std::size_t start) {
        while (pos_ < text_.size() && is_number_char(text_[pos_])) {
            ++pos_;
        }
        const std::string_view run = text_.substr(start, pos_ - start);
        if (!is_decimal(run)) {
            return fail("unexpected `" + std::string(character_at(start)) + "` at byte " +
                        std::to_string(start));
        }
        return add({decimal_value(run)});
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::vector<Json> values_;
    std::vector<Open> open_;
};

// A pair of two strings, or nothing for any other element.
std::optional<NetConnection> reference_connection(const JsonDocument& doc, const Json& element) {
    const auto* pair = std::get_if<Json::Array>(&element.value);
    if (pair == nullptr || pair->items.size() != 2) {
        return std::nullopt;
    }
    const auto* a = std::get_if<std::string>(&doc[pair->items[0]].value);
    const auto* b = std::get_if<std::string>(&doc[pair->items[1]].value);
    if (a == nullptr || b == nullptr) {
        return std::nullopt;
    }
    return connection_of(*a, *b);
}

// An object with a string "name" and a string "cell", or nothing.
std::optional<NetInstance> reference_instance(const JsonDocument& doc, const Json& element) {
    const auto* object = std::get_if<Json::Object>(&element.value);
    if (object == nullptr) {
        return std::nullopt;
    }
    const auto text_of = [&](std::string_view key) -> const std::string* {
        const Json* value = doc.member(*object, key);
        return value ? std::get_if<std::string>(&value->value) : nullptr;
    };
    const std::string* name = text_of("name");
    const std::string* cell = text_of("cell");
    if (name == nullptr || cell == nullptr) {
        return std::nullopt;
    }
    return NetInstance{*name, *cell};
}

const Json::Array* array_member(const JsonDocument& doc, const Json::Object& object,
                                std::string_view key) {
    const Json* value = doc.member(object, key);
    return value ? std::get_if<Json::Array>(&value->value) : nullptr;
}

std::expected<NetCell, std::string> reference_cell(const JsonDocument& doc, const Json& element) {
    const auto* object = std::get_if<Json::Object>(&element.value);
    const Json* name = object ? doc.member(*object, "name") : nullptr;
    if (name == nullptr || !std::holds_alternative<std::string>(name->value)) {
        return fail("cell without `name`");
    }
    NetCell cell{.name = std::get<std::string>(name->value)};
    const Json* source = doc.member(*object, "source");
    const auto* source_text = source ? std::get_if<std::string>(&source->value) : nullptr;
    cell.source = source_text ? *source_text : cell.name;
    if (const auto* instances = array_member(doc, *object, "instances")) {
        for (const JsonId id : instances->items) {
            if (auto inst = reference_instance(doc, doc[id])) {
                cell.instances.push_back(std::move(*inst));
            }
        }
    }
    if (const auto* connections = array_member(doc, *object, "connections")) {
        for (const JsonId id : connections->items) {
            if (auto pair = reference_connection(doc, doc[id])) {
                cell.connections.push_back(std::move(*pair));
            }
        }
        make_connection_set(cell.connections);
    }
    return cell;
}

} // namespace

std::expected<JsonDocument, std::string> parse_json(std::string_view text) {
    JsonParser parser(text);
    auto root = parser.value();
    if (!root) {
        return std::unexpected(std::move(root.error()));
    }
    parser.ws();
    if (!parser.at_end()) {
        return fail("unexpected text at byte " + std::to_string(parser.offset()));
    }
    return parser.take(*root);
}

std::expected<std::vector<NetCell>, std::string> read_netlist(std::string_view text) {
    auto doc = parse_json(text);
    if (!doc) {
        return std::unexpected(std::move(doc.error()));
    }
    const auto* root = std::get_if<Json::Object>(&(*doc)[doc->root].value);
    const Json* cells = root ? doc->member(*root, "cells") : nullptr;
    if (cells == nullptr) {
        return fail("missing `cells`");
    }
    std::vector<NetCell> out;
    const auto* elements = std::get_if<Json::Array>(&cells->value);
    if (elements == nullptr) {
        return out;
    }
    out.reserve(elements->items.size());
    for (const JsonId id : elements->items) {
        auto cell = reference_cell(*doc, (*doc)[id]);
        if (!cell) {
            return std::unexpected(std::move(cell.error()));
        }
        out.push_back(std::move(*cell));
    }
    return out;
}

} // namespace quorvane_dsl::lvs
