// Ring files (little-endian u32 ring count, then per ring a u32 point count and that many
// pairs of i64 x, y), and what the drivers share besides: options and the memory peak.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace ring_file {

struct Pt {
    std::int64_t x;
    std::int64_t y;
};
using Rings = std::vector<std::vector<Pt>>;

inline std::optional<Rings> read(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return std::nullopt;
    }
    // A count larger than what is left of the file is refused before anything is allocated.
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    Rings rings;
    std::uint32_t count = 0;
    bool ok = size >= 4 && std::fread(&count, 4, 1, f) == 1 &&
              std::uint64_t{count} * 4 <= static_cast<std::uint64_t>(size);
    for (std::uint32_t i = 0; ok && i < count; ++i) {
        std::uint32_t n = 0;
        ok = std::fread(&n, 4, 1, f) == 1 &&
             std::uint64_t{n} * sizeof(Pt) <= static_cast<std::uint64_t>(size - std::ftell(f));
        if (!ok) {
            break;
        }
        std::vector<Pt> ring(n);
        ok = std::fread(ring.data(), sizeof(Pt), n, f) == n;
        rings.push_back(std::move(ring));
    }
    std::fclose(f);
    if (!ok) {
        return std::nullopt;
    }
    return rings;
}

inline bool write(const std::string& path, const Rings& rings) {
    std::string tmp = path + ".part";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        return false;
    }
    auto count = static_cast<std::uint32_t>(rings.size());
    bool ok = std::fwrite(&count, 4, 1, f) == 1;
    for (const auto& ring : rings) {
        auto n = static_cast<std::uint32_t>(ring.size());
        ok = ok && std::fwrite(&n, 4, 1, f) == 1 && std::fwrite(ring.data(), sizeof(Pt), n, f) == n;
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

// The command line shared by the engine's and the peers' drivers: OP A [B] with -t threads,
// -o output, -d distance and -j join; a driver ignores what it has no use for.
struct Options {
    std::vector<std::string> args;
    std::string out, threads, distance, join = "miter";
};

inline Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* value = arg == "-t"   ? &o.threads
                             : arg == "-o" ? &o.out
                             : arg == "-d" ? &o.distance
                             : arg == "-j" ? &o.join
                                           : nullptr;
        if (value && i + 1 < argc) {
            *value = argv[++i];
        } else {
            o.args.push_back(arg);
        }
    }
    return o;
}

// A field of /proc/self/status in kB, 0 when it cannot be read.
inline std::size_t status_kb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) {
            return std::stoull(line.substr(field.size() + 1));
        }
    }
    return 0;
}

// Restarts the peak resident size (VmHWM) from the current one.
inline void reset_peak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace ring_file
