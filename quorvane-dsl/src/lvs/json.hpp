#pragma once

// A small JSON reader for reference netlists, and the reading of such a netlist into NetCells.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "lvs/netlist.hpp"

namespace quorvane_dsl::lvs {

// The position of a value in its JsonDocument.
struct JsonId {
    std::uint32_t index = 0;
};

struct Json {
    struct Null {};
    struct Array {
        std::vector<JsonId> items;
    };
    struct Member {
        std::string key;
        JsonId value;
    };
    // Members in file order; a repeated key is a further member.
    struct Object {
        std::vector<Member> members;
    };
    std::variant<Null, bool, double, std::string, Array, Object> value;
};

// Every value of one text in one flat list, so that nesting depth never becomes call depth,
// neither while reading nor while walking or freeing the values.
struct JsonDocument {
    std::vector<Json> values;
    JsonId root;

    const Json& operator[](JsonId id) const { return values[id.index]; }
    // The value of the first member with that key, or none.
    const Json* member(const Json::Object& object, std::string_view key) const;
};

// One JSON value and nothing but white space after it. Lenient where a standard writer never
// goes: any Unicode white space, a backslash before any other character stands for it, numbers
// may have a plus sign, leading zeros or a bare decimal point. Errors name byte offsets.
std::expected<JsonDocument, std::string> parse_json(std::string_view text);

// The cells of a reference netlist in file order: names, sources, instances and connections.
// Ports are never read; malformed instances and connections are skipped.
std::expected<std::vector<NetCell>, std::string> read_netlist(std::string_view text);

} // namespace quorvane_dsl::lvs
