// Ring files: little-endian u32 ring count, then per ring a u32 point count and that many
// pairs of i64 x, y.
#pragma once

#include <cstdint>
#include <cstdio>
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
    if (!f)
        return std::nullopt;
    Rings rings;
    std::uint32_t count = 0;
    bool ok = std::fread(&count, 4, 1, f) == 1;
    for (std::uint32_t i = 0; ok && i < count; ++i) {
        std::uint32_t n = 0;
        ok = std::fread(&n, 4, 1, f) == 1;
        if (!ok)
            break;
        std::vector<Pt> ring(n);
        ok = std::fread(ring.data(), sizeof(Pt), n, f) == n;
        rings.push_back(std::move(ring));
    }
    std::fclose(f);
    if (!ok)
        return std::nullopt;
    return rings;
}

inline bool write(const std::string& path, const Rings& rings) {
    std::string tmp = path + ".part";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
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

} // namespace ring_file
