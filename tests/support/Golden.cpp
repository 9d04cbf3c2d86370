#include "tests/support/Golden.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace txtest {

namespace {

std::string GoldenPath(const std::string& name) {
    return std::string(TX_SOURCE_DIR) + "/tests/golden/" + name;
}

bool UpdateRequested() {
    const char* update = std::getenv("TX_UPDATE_GOLDEN");
    return update != nullptr && std::string(update) == "1";
}

// The line of `text` that holds byte `at`, where both texts first differ (their lines start at the
// same byte); a line that runs to the end of the text without a line feed is marked so.
std::string LineAt(const std::string& text, size_t at) {
    const size_t start = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;  // npos + 1 is 0
    const size_t end = text.find('\n', start);
    if (end != std::string::npos) return text.substr(start, end - start);
    return text.substr(start) + "<end of text>";
}

// A line as a message can show it: control bytes escaped, and a long line (the status page is
// one) cut to the stretch around `column`.
std::string Shown(const std::string& line, size_t column) {
    const size_t kContext = 60;
    const size_t from = column > kContext ? column - kContext : 0;
    std::string shown = from > 0 ? "..." : "";
    for (size_t i = from; i < line.size() && i < column + kContext; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\t') {
            shown += "\\t";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            shown += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
        } else {
            shown += static_cast<char>(c);
        }
    }
    if (line.size() > column + kContext) shown += "...";
    return shown;
}

}  // namespace

::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual) {
    const std::string path = GoldenPath(name);
    if (UpdateRequested()) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(actual.data(), static_cast<std::streamsize>(actual.size()));
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

    const size_t at = static_cast<size_t>(
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
        expected.begin());
    const size_t line =
        1 + static_cast<size_t>(std::count(
                expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
    const size_t lineStart = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
    const size_t column = at - lineStart;
    return ::testing::AssertionFailure()
           << name << " differs from the output at line " << line << ", column " << column + 1
           << " (" << expected.size() << " bytes in the file, " << actual.size() << " produced)"
           << "\n  golden: " << Shown(LineAt(expected, at), column)
           << "\n  actual: " << Shown(LineAt(actual, at), column);
}

}  // namespace txtest
