#include "tests/support/Golden.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace txtest {

::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(TX_SOURCE_DIR) + "/tests/golden/" + name;
    const char* update = std::getenv("TX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << actual;
        if (!out) return ::testing::AssertionFailure() << "cannot write " << path;
        return ::testing::AssertionSuccess();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ::testing::AssertionFailure()
               << path << " is missing (TX_UPDATE_GOLDEN=1 writes it from today's output)";
    }
    std::ostringstream read;
    read << in.rdbuf();
    const std::string expected = read.str();
    if (expected == actual) return ::testing::AssertionSuccess();

    // The stretch around the first byte that differs, control bytes escaped: the status page is
    // one long line.
    const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    const size_t offset = static_cast<size_t>(at.first - expected.begin());
    const size_t from = offset > 40 ? offset - 40 : 0;
    return ::testing::AssertionFailure()
           << name << " differs from the output at line "
           << 1 + std::count(expected.begin(), at.first, '\n') << ", byte " << offset << " ("
           << expected.size() << " bytes in the file, " << actual.size() << " produced)"
           << "\n  golden: " << ::testing::PrintToString(expected.substr(from, 100))
           << "\n  actual: " << ::testing::PrintToString(actual.substr(from, 100));
}

}  // namespace txtest
