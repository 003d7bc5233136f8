#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "lvs/json.hpp"

namespace {

using namespace quorvane_dsl::lvs;

std::string error_of(const std::string& text) {
    auto cells = read_netlist(text);
    return cells ? "(read)" : cells.error();
}

// The one string a document holds, as the reader decodes it.
std::string string_of(const std::string& json) {
    auto doc = parse_json(json);
    EXPECT_TRUE(doc) << json << ": " << doc.error();
    return doc ? std::get<std::string>((*doc)[doc->root].value) : "";
}

double number_of(const std::string& json) {
    auto doc = parse_json(json);
    EXPECT_TRUE(doc) << json << ": " << doc.error();
    return doc ? std::get<double>((*doc)[doc->root].value) : -1;
}

TEST(JsonReader, ErrorsNameWhatAndWhere) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "unexpected end of JSON"},
        {"[1,]", "unexpected `]` at byte 3"},
        {"tru", "unexpected `tru` at byte 0"},
        {"-", "unexpected `-` at byte 0"},
        {"NaN", "unexpected `N` at byte 0"},
        {" 1e", "unexpected `1` at byte 1"},
        {"1.2.3", "unexpected `1` at byte 0"},
        {"--1", "unexpected `-` at byte 0"},
        {"\xc3\xa9", "unexpected `\xc3\xa9` at byte 0"},
        {"[1 2]", "expected `,` or `]` in an array"},
        {"{\"a\" 1}", "expected `:` at byte 5, found `1`"},
        {"{\"a\"\xe3\x80\x80\xc3\xa9}", "expected `:` at byte 7, found `\xc3\xa9`"},
        {"{\"a\"", "expected `:` at the end"},
        {" {1: 2}", "expected a key at byte 1"},
        {"{[[\"x\"]]: 2}", "expected a key at byte 0"},
        {"{\"a\": 1 \"b\"}", "expected `,` or `}` in an object"},
        {"\"abc", "unterminated string"},
        {"\"abc\\", "unterminated string"},
        {"\"\\u12\"", "bad \\u escape"},
        {"\"\\u123\xc3\xa9\"", "bad \\u escape"},
        {"\"\\u00g9\"", "invalid digit found in string"},
        {"\"\\u-123\"", "invalid digit found in string"},
        {"{\"cells\": []} {}", "unexpected text at byte 14"},
        {"[]", "missing `cells`"},
        {"{}", "missing `cells`"},
        {"{\"Cells\": []}", "missing `cells`"},
        {"{\"cells\": [{\"name\": 1, \"name\": \"a\"}]}", "cell without `name`"},
        {"{\"cells\": [{\"name\": \"a\"}, 3]}", "cell without `name`"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(error_of(text), message) << text;
    }
}

TEST(JsonReader, DecodesEscapesAsJsonDefines) {
    EXPECT_EQ(string_of(R"("\b\f\n\r\t\"\\\/")"), "\b\f\n\r\t\"\\/");
    EXPECT_EQ(string_of(R"("\u00e9\u00E9")"), "\xc3\xa9\xc3\xa9");
    EXPECT_EQ(string_of(R"("\ud83d\ude00")"), "\xf0\x9f\x98\x80");
    // A surrogate without its partner stands for no character.
    EXPECT_EQ(string_of(R"("\ud83d|\ude00|\ud83d\u0041|\ud83d\ud83d\ude00")"),
              "\xef\xbf\xbd|\xef\xbf\xbd|\xef\xbf\xbd"
              "A|\xef\xbf\xbd\xf0\x9f\x98\x80");
}

TEST(JsonReader, KeepsTheLenientQuirksOfOlderNetlists) {
    EXPECT_EQ(string_of(R"("\q\u+0e9)"
                        "\x01\t\""),
              "q\xc3\xa9\x01\t");
    for (const auto& [text, value] : std::vector<std::pair<std::string, double>>{
             {"+1", 1}, {".5", 0.5}, {"5.", 5}, {"1E3", 1000}, {"007", 7}, {"-0.25e+1", -2.5}}) {
        EXPECT_EQ(number_of(text), value) << text;
    }
    EXPECT_EQ(number_of("1e999"), std::numeric_limits<double>::infinity());
    // Every Unicode white space separates, no-break and ideographic spaces included.
    auto cells = read_netlist("\xc2\xa0{\xe3\x80\x80\"cells\"\xe2\x80\xa8:\n[]\xc2\x85}\t ");
    ASSERT_TRUE(cells) << cells.error();
    EXPECT_TRUE(cells->empty());
    auto doc = parse_json(R"({"k": 1, "k": 2})");
    ASSERT_TRUE(doc);
    EXPECT_EQ(std::get<Json::Object>((*doc)[doc->root].value).members.size(), 2u);
}

TEST(JsonReader, ReferenceCellsTakeWhatTheComparisonNeeds) {
    auto cells = read_netlist(R"({"cells": [
        {"source": 7, "name": "top", "name": "other",
         "instances": [{"name": "a", "cell": "c"}, {"name": 1, "cell": "c"}, {"name": "b"}, 5,
                       {"cell": "d", "name": "b", "extra": []}],
         "connections": [["y.p[0]", "x.p[0]"], ["x.p[0]", "y.p[0]"], ["a"], ["a", "b", "c"],
                         ["a", 1], "ab"],
         "ports": 12},
        {"name": "bare", "instances": {}, "connections": 3}],
        "cells": 5})");
    ASSERT_TRUE(cells) << cells.error();
    ASSERT_EQ(cells->size(), 2u);
    const NetCell& top = (*cells)[0];
    EXPECT_EQ(top.name, "top");
    EXPECT_EQ(top.source, "top");
    EXPECT_EQ(top.instances, (std::vector<NetInstance>{{"a", "c"}, {"b", "d"}}));
    EXPECT_EQ(top.connections, (std::vector<NetConnection>{{"x.p[0]", "y.p[0]"}}));
    EXPECT_EQ((*cells)[1], (NetCell{.name = "bare", .source = "bare"}));
    auto none = read_netlist(R"({"cells": 5})");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(JsonReader, DeepNestingCostsNoCallDepth) {
    const std::size_t depth = 100000;
    const std::string deep = std::string(depth, '[') + std::string(depth, ']');
    auto doc = parse_json(deep);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->values.size(), depth);
    EXPECT_EQ(error_of("{\"cells\": " + std::string(depth, '{')), "unexpected end of JSON");
}

} // namespace
