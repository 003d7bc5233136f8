#include <iostream>

#include "commands.hpp"
#include "file_io.hpp"
#include "load.hpp"
#include "lvs/netlist.hpp"
#include "port_findings.hpp"

namespace quorvane {

Outcome netlist(Args args) {
    InputFiles inputs;
    const auto library = compile_lib(args, "netlist", inputs);
    if (!library) {
        return library.error();
    }
    const std::vector<std::string> outputs = flag_values(args, "-o");
    if (!outputs.empty()) {
        if (auto apart = refuse_overwriting_inputs(outputs[0], inputs); !apart) {
            return Error{std::move(apart.error())};
        }
    }
    // An error finding fails the run, but the netlist is still written for the designer to read.
    const bool failed = print_findings(*library);
    const std::string text = quorvane_dsl::lvs::netlist_text(quorvane_dsl::lvs::netlist(*library));
    if (outputs.empty()) {
        if (auto written = write_standard_output(text); !written) {
            return Error{std::move(written.error())};
        }
    } else {
        if (auto written = write_whole_file(outputs[0], text); !written) {
            return Error{std::move(written.error())};
        }
        std::cout << "wrote " << outputs[0] << '\n';
    }
    return failed ? Outcome{Fail{}} : Outcome{Pass{}};
}

} // namespace quorvane
