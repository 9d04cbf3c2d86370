#include <gtest/gtest.h>

#include <string>

#include "tests/support/FakeServerHost.h"
#include "tests/support/Golden.h"
#include "web/McduKeyTable.h"
#include "web/McduPages.h"
#include "web/PageHandler.h"

namespace {

using web::HttpRequest;
using web::McduKeyCodeFromPath;

// Every key of the table with the code a press of its path hands to the pipe, one line each:
// path, code, label. The table's own code field must say the same. Any path's code is its last two
// characters, as atoi reads them: whatever precedes them, a sign, or nothing.
TEST(McduPages, KeyTableAsServedAndAnyPathsCodeAsAtoiReadsItsLastTwoCharacters) {
    txtest::FakeServerHost host;
    std::string table;
    for (const web::McduKey& key : web::McduKeyTable) {
        HttpRequest request;
        request.path = key.path;
        web::ServePage(request, host);
        ASSERT_TRUE(request.mcduKey.has_value()) << key.path;
        EXPECT_EQ(*request.mcduKey, key.code) << key.path;
        table +=
            std::string(key.path) + " " + std::to_string(*request.mcduKey) + " " + key.label + "\n";
    }
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-keys.txt", table));
    EXPECT_EQ(McduKeyCodeFromPath("/xyzMCDU_KB_12"), 12);
    EXPECT_EQ(McduKeyCodeFromPath("/MCDU_KB_123"), 23);
    EXPECT_EQ(McduKeyCodeFromPath("/MCDU_KB_-1"), -1);
    EXPECT_EQ(McduKeyCodeFromPath("/MCDU_KB_5"), 0);
}

}  // namespace
