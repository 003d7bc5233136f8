// The JSON reader against Python's json module on generated standard documents: both must
// agree on every string, number and structure.

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "base/utf8.hpp"
#include "lvs/json.hpp"

namespace {

using namespace quorvane_dsl::lvs;
namespace fs = std::filesystem;
namespace utf8 = quorvane_dsl::base::utf8;

// Prints each document's values in the same prefix form as canonical() below; lone surrogates
// become U+FFFD, as the reader has them.
const char* python_side = R"(
import json, re, struct, sys

class Obj(list):
    pass

def canonical(v, out):
    if isinstance(v, Obj):
        out.append('o%d{' % len(v))
        for k, x in v:
            canonical(k, out)
            canonical(x, out)
        out.append('}')
    elif isinstance(v, list):
        out.append('a%d[' % len(v))
        for x in v:
            canonical(x, out)
        out.append(']')
    elif v is None or v is True or v is False:
        out.append({None: 'n', True: 't', False: 'f'}[v])
    elif isinstance(v, float):
        out.append('d%016x' % struct.unpack('<Q', struct.pack('<d', v))[0])
    else:
        out.append('s' + re.sub('[\ud800-\udfff]', '\ufffd', v).encode('utf-8').hex() + ';')

docs = open(sys.argv[1], 'rb').read().split(b'\0')[:-1]
with open(sys.argv[2], 'w') as f:
    for doc in docs:
        out = []
        canonical(json.loads(doc.decode('utf-8'), parse_int=float, object_pairs_hook=Obj), out)
        f.write(''.join(out) + '\n')
)";

void append_hex(std::string& out, std::string_view bytes) {
    constexpr char digits[] = "0123456789abcdef";
    for (const char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 0xF];
    }
}

void canonical(const JsonDocument& doc, JsonId id, std::string& out) {
    const Json& value = doc[id];
    if (const auto* array = std::get_if<Json::Array>(&value.value)) {
        out += "a" + std::to_string(array->items.size()) + "[";
        for (const JsonId item : array->items) {
            canonical(doc, item, out);
        }
        out += "]";
    } else if (const auto* object = std::get_if<Json::Object>(&value.value)) {
        out += "o" + std::to_string(object->members.size()) + "{";
        for (const Json::Member& member : object->members) {
            out += "s";
            append_hex(out, member.key);
            out += ";";
            canonical(doc, member.value, out);
        }
        out += "}";
    } else if (const auto* text = std::get_if<std::string>(&value.value)) {
        out += "s";
        append_hex(out, *text);
        out += ";";
    } else if (const auto* number = std::get_if<double>(&value.value)) {
        char bits[17];
        std::snprintf(bits, sizeof bits, "%016llx",
                      static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(*number)));
        out += "d" + std::string(bits);
    } else if (const auto* flag = std::get_if<bool>(&value.value)) {
        out += *flag ? "t" : "f";
    } else {
        out += "n";
    }
}

class Generator {
  public:
    std::string document() {
        std::string out;
        value(out, 0);
        space(out);
        return out;
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    void space(std::string& out) {
        for (int n = pick(4); n > 0; --n) {
            out += " \t\n\r"[pick(4)];
        }
    }

    void value(std::string& out, int depth) {
        space(out);
        const int kind = depth >= 5 ? pick(3) : pick(5);
        if (kind == 0) {
            out += std::vector<std::string>{"null", "true", "false"}[pick(3)];
        } else if (kind == 1) {
            number(out);
        } else if (kind == 2) {
            string(out);
        } else {
            container(out, depth, kind == 3);
        }
    }

    void container(std::string& out, int depth, bool array) {
        out += array ? '[' : '{';
        for (int n = pick(5), i = 0; i < n; ++i) {
            out += i == 0 ? "" : ",";
            if (!array) {
                space(out);
                string(out);
                space(out);
                out += ':';
            }
            value(out, depth + 1);
            space(out);
        }
        out += array ? ']' : '}';
    }

    void digits(std::string& out, int max) {
        for (int n = 1 + pick(max); n > 0; --n) {
            out += static_cast<char>('0' + pick(10));
        }
    }

    void number(std::string& out) {
        if (pick(2) == 0) {
            out += '-';
        }
        if (pick(4) == 0) {
            out += '0';
        } else {
            out += static_cast<char>('1' + pick(9));
            digits(out, pick(3) == 0 ? 25 : 6);
        }
        if (pick(2) == 0) {
            out += '.';
            digits(out, 20);
        }
        if (pick(3) == 0) {
            out += "eE"[pick(2)];
            out += std::vector<std::string>{"", "+", "-"}[pick(3)];
            digits(out, 3);
        }
    }

    void string(std::string& out) {
        out += '"';
        for (int n = pick(12); n > 0; --n) {
            character(out);
        }
        out += '"';
    }

    void unicode_escape(std::string& out, char32_t code) {
        const char* digits = pick(2) ? "0123456789abcdef" : "0123456789ABCDEF";
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += digits[(code >> shift) & 0xF];
        }
    }

    void character(std::string& out) {
        switch (pick(6)) {
        case 0:
            out += std::vector<std::string>{"\\\"", "\\\\", "\\/", "\\b",
                                            "\\f",  "\\n",  "\\r", "\\t"}[pick(8)];
            break;
        case 1:
            unicode_escape(out, std::uniform_int_distribution<char32_t>(0, 0xFFFF)(rng_));
            break;
        case 2: {
            // A surrogate pair, now and then with a half missing or out of order.
            const char32_t high = 0xD800 + pick(0x400);
            const char32_t low = 0xDC00 + pick(0x400);
            const int shape = pick(4);
            unicode_escape(out, shape == 3 ? low : high);
            if (shape != 2) {
                unicode_escape(out, shape == 3 ? high : low);
            }
            break;
        }
        case 3: {
            const char32_t code = std::uniform_int_distribution<char32_t>(0x7F, 0x10FFFF)(rng_);
            utf8::encode(out, code >= 0xD800 && code <= 0xDFFF ? 0xE9 : code);
            break;
        }
        default:
            const char c = static_cast<char>(0x20 + pick(0x5F));
            out += c == '"' || c == '\\' ? 'x' : c;
        }
    }

    std::mt19937 rng_{20261206};
};

TEST(JsonReader, AgreesWithPythonOnStandardDocuments) {
    if (std::system("python3 -c '' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const fs::path dir = fs::temp_directory_path() / ("qv-json-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Generator generator;
    std::vector<std::string> ours;
    {
        std::ofstream docs(dir / "docs", std::ios::binary);
        for (int i = 0; i < 3000; ++i) {
            const std::string doc = generator.document();
            docs << doc << '\0';
            auto parsed = parse_json(doc);
            ASSERT_TRUE(parsed) << doc << ": " << parsed.error();
            ours.emplace_back();
            canonical(*parsed, parsed->root, ours.back());
        }
        std::ofstream(dir / "canonical.py") << python_side;
    }
    const std::string command = "python3 '" + (dir / "canonical.py").string() + "' '" +
                                (dir / "docs").string() + "' '" + (dir / "out").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream theirs(dir / "out");
    std::string line;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_TRUE(std::getline(theirs, line));
        EXPECT_EQ(ours[i], line) << "document " << i;
    }
    fs::remove_all(dir);
}

} // namespace
