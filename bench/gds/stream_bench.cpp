// The GDSII stream codec alone on the benchmark library's shape mix: 10^6 boxes and 2*10^5
// eight-point polygons in one cell, plus 1000 cells of 100 boxes placed once each.
#include <random>

#include <benchmark/benchmark.h>

#include "io/gds/reader.hpp"
#include "io/gds/writer.hpp"

namespace {

using namespace vork::models;

top::LayoutDb big_library() {
    top::LayoutDb db;
    db.name = "BENCH";
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> coordinate(-10'000'000, 10'000'000);
    const LayerId metal = db.layer({"metal", 1, 0});
    const LayerId poly = db.layer({"poly", 2, 0});
    const CellId chip = *db.add_cell("chip");
    auto& records = db.cells[chip.value].shapes;
    records[metal].reserve(1'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
        const std::int64_t x = coordinate(random);
        const std::int64_t y = coordinate(random);
        records[metal].push_back({{}, shape::Box{x, y, x + 500, y + 300}});
    }
    std::vector<Point> ring(8);
    for (int i = 0; i < 200'000; ++i) {
        const std::int64_t x = coordinate(random);
        const std::int64_t y = coordinate(random);
        ring = {{x, y},
                {x + 400, y},
                {x + 400, y + 100},
                {x + 200, y + 100},
                {x + 200, y + 300},
                {x + 100, y + 300},
                {x + 100, y + 100},
                {x, y + 100}};
        records[poly].push_back({{}, shape::Polygon{db.store_points(ring), {}}});
    }
    for (int c = 0; c < 1000; ++c) {
        const CellId cell = *db.add_cell("block" + std::to_string(c));
        for (int i = 0; i < 100; ++i) {
            const std::int64_t x = coordinate(random) / 100;
            (void)db.insert_shape_record(cell, metal, {{}, shape::Box{x, x, x + 50, x + 80}});
        }
        (void)db.insert_instance(
            chip, {.transform = {{c * 1000, 0}, shape::Orthogonal{0}}, .cell = cell});
    }
    return db;
}

const top::LayoutDb& library() {
    static const top::LayoutDb db = big_library();
    return db;
}

void write_stream(benchmark::State& state) {
    for (auto _ : state) {
        auto bytes = vork::io::gds::writer::write_gds(library());
        benchmark::DoNotOptimize(bytes->data());
        state.counters["MB"] = static_cast<double>(bytes->size()) / 1e6;
    }
}

void read_stream(benchmark::State& state) {
    const auto bytes = *vork::io::gds::writer::write_gds(library());
    for (auto _ : state) {
        auto db = vork::io::gds::reader::read_layout(bytes);
        benchmark::DoNotOptimize(db->cells.data());
    }
}

} // namespace

BENCHMARK(write_stream)->Unit(benchmark::kMillisecond);
BENCHMARK(read_stream)->Unit(benchmark::kMillisecond);
