#pragma once
// txbench's command line, as bench/run.sh writes it:
//   txbench [--quick] [--only FIGURE] [--windows <the Windows build's bin folder>]
// and where Wine is, for the Windows build's figures.

#include <string>

namespace txbench {

struct Options {
    bool quick = false;      // smaller batches and shorter windows, to try the harness
    std::string only;        // one figure by its name; empty for all
    std::string windowsBin;  // the Windows build's figures are taken when this is given
    std::string wine;        // the first `wine` on PATH; empty when there is none

    bool Wanted(const char* figure) const { return only.empty() || only == figure; }
};

Options ReadOptions(int argc, char** argv);

}  // namespace txbench
