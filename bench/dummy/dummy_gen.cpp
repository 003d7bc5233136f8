// Writes the benchmark design as GDSII for KLayout: dummy_gen OUT.gds
#include <cstdio>
#include <fstream>

#include "design.hpp"
#include "io/gds/writer.hpp"
#include "lib.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dummy_gen OUT.gds\n");
        return 2;
    }
    auto layout = quorvane_dsl_gds::to_layout(bench_dummy::design());
    if (!layout) {
        return 1;
    }
    auto bytes = vork::io::gds::writer::write_gds(layout->layout);
    if (!bytes) {
        return 1;
    }
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes->data()),
               static_cast<std::streamsize>(bytes->size()));
    return 0;
}
