#include "port_findings.hpp"

#include <iostream>

#include "lvs/findings.hpp"

namespace quorvane {

bool print_findings(const quorvane_dsl::ir::Library& library) {
    bool any_error = false;
    for (const quorvane_dsl::lvs::Finding& finding : quorvane_dsl::lvs::findings(library)) {
        std::cerr << (finding.warning ? "warning: " : "error: ") << finding.message << " (in "
                  << finding.cell << ")\n";
        any_error = any_error || !finding.warning;
    }
    return any_error;
}

} // namespace quorvane
