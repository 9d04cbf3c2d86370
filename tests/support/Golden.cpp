#include "tests/support/Golden.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace txtest {

::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(TX_SOURCE_DIR) + "/tests/golden/" + name;
    const char* update = std::getenv("TX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << actual;
        return ::testing::AssertionSuccess();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return ::testing::AssertionFailure() << path << " is missing";
    std::ostringstream read;
    read << in.rdbuf();
    const std::string expected = read.str();
    if (expected == actual) return ::testing::AssertionSuccess();
    // The status page is one long line: the bytes from the first difference on, escaped.
    const size_t at = static_cast<size_t>(
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
        expected.begin());
    return ::testing::AssertionFailure()
           << name << " differs at byte " << at
           << "\n  golden: " << ::testing::PrintToString(expected.substr(at, 80))
           << "\n  actual: " << ::testing::PrintToString(actual.substr(at, 80));
}

}  // namespace txtest
