// Writes the benchmark design as GDSII for KLayout: dummy_gen OUT.gds
#include <cstdio>
#include <fstream>

#include "design.hpp"
#include "lib.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dummy_gen OUT.gds\n");
        return 2;
    }
    auto written = quorvane_dsl_gds::write_gds(bench_dummy::design());
    if (!written) {
        return 1;
    }
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(written->bytes.data()),
               static_cast<std::streamsize>(written->bytes.size()));
    return 0;
}
