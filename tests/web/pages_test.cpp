#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "log/Log.h"
#include "tests/support/FakeServerHost.h"
#include "tests/support/Golden.h"
#include "tests/support/TestSupport.h"
#include "web/FormatNumber.h"
#include "web/ImageFile.h"
#include "web/PageHandler.h"
#include "web/StatusPage.h"

namespace {

using web::FormatNumber;
using web::HttpRequest;
using web::TimeOfDay;

// ---- Number texts --------------------------------------------------------------------------

TEST(FormatNumber, TruncationCutsToTwoDecimalsTowardZero) {
    using Case = std::tuple<double, bool, bool, const char*>;  // value, truncate2, pad, text
    // Plain: printf's "%g", 6 significant digits, a two-digit exponent on every system.
    // Then two decimals cut toward zero, and a hundredfold without a 32-bit integer taking the
    // conversion's INT32_MIN. Then clock parts: a zero before values below ten, negative ones
    // included. (The goldens show more: 0.785 is 0.78, 30, 05, 14.)
    for (const auto& [value, truncate2, pad, text] :
         {Case{0.0001, false, false, "0.0001"}, Case{0.00001, false, false, "1e-05"},
          Case{999999.0, false, false, "999999"}, Case{1234567.0, false, false, "1.23457e+06"},
          Case{-DBL_MAX, false, false, "-1.79769e+308"}, Case{-0.785, true, false, "-0.78"},
          Case{-0.009, true, false, "0"}, Case{123456.789, true, false, "123457"},
          Case{3e7, true, false, "-2.14748e+07"}, Case{std::nan(""), true, false, "-2.14748e+07"},
          Case{9.5, false, true, "09.5"}, Case{-3, false, true, "0-3"},
          Case{9.999, true, true, "09.99"}}) {
        EXPECT_EQ(FormatNumber(value, "", truncate2, pad), text) << value;
    }
}

// ---- Status values -------------------------------------------------------------------------

// The limits themselves and NaN are level flight; the page's goldens show the other two modes.
TEST(StatusTexts, FlightModeUsesStrictLimits) {
    for (const double level : {0.1, -0.1, std::nan("")})
        EXPECT_EQ(web::FlightModeText(level), "LEVEL") << level;
}

// An identifier of all 8 characters has no terminating zero; what follows a zero is not shown.
// The goldens show the empty one and the escaping.
TEST(StatusTexts, WaypointIsCutAtEightCharactersAndEscaped) {
    const char full[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    EXPECT_EQ(web::WaypointText(full), "ABCDEFGH");
    const char short_[8] = {'K', 'J', 'F', '>', 0, 'X', 'X', 'X'};
    EXPECT_EQ(web::WaypointText(short_), "KJF&gt;");
}

// ---- The handler -----------------------------------------------------------------------------

// A settings folder and a working directory side by side in a private folder, the working one
// current. The log goes to a file of the test's own.
class PagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(m_settings);
        std::filesystem::create_directories(m_work);
        ASSERT_TRUE(logging::LogFile.Open(m_logPath));
        std::filesystem::current_path(m_work);
    }
    void TearDown() override {
        web::SetStatusPageClock({});
        std::filesystem::current_path(m_oldCwd);
        logging::LogFile.Close();
    }

    HttpRequest Serve(const std::string& path) {
        HttpRequest request;
        request.path = path;
        web::ServePage(request, m_host);
        return request;
    }
    // How many lines of the log hold `needle`.
    int Logged(const std::string& needle) const {
        return txtest::CountLines(txtest::ReadLog(m_logPath), needle);
    }

    txtest::TempDir m_dir;
    const std::string m_settings = m_dir.path() + "/settings/";
    const std::string m_work = m_dir.path() + "/work";
    const std::string m_logPath = m_dir.path() + "/test.log";
    const std::filesystem::path m_oldCwd = std::filesystem::current_path();
    txtest::FakeServerHost m_host{m_settings};
};

// Routes are exact and case-sensitive, and taken in order (a picture's name may hold a key's, see
// below).
TEST_F(PagesTest, FixedPagesAndRoutesByteForByte) {
    const std::string notFound = "not-found.html";
    const std::string key = "mcdu-key-command.html";
    const std::pair<std::string, std::vector<std::string>> routes[] = {
        {"offline.html", {"/offline"}},
        {"please-wait.html", {"/pause", "/resume"}},
        {"mcdu-frameset.html", {"/MCDU"}},
        {"mcdu-main.html", {"/MCDU_main"}},
        {key, {"/MCDU_KB_07", "/xyzMCDU_KB_12", "MCDU_KB_", "/MCDU/MCDU_KB_99"}},
        {notFound,
         {"/index.html", "/Pause", "/STATUS", "/mcdu", "/MCDU/", "", "/offline/", "/mcdu_kb_07",
          "/x.PNG"}}};
    for (const auto& [golden, paths] : routes) {
        for (const std::string& path : paths) {
            const HttpRequest request = Serve(path);
            EXPECT_EQ(request.status, golden == notFound ? "404 Not Found" : "202 OK") << path;
            EXPECT_TRUE(txtest::MatchesGolden(golden, request.body)) << path;
            EXPECT_EQ(request.mcduKey.has_value(), golden == key) << path;
        }
    }
    EXPECT_EQ(m_host.Calls(), (std::vector<std::string>{"pause", "resume"}));
}

// The page follows the record, the pause state and the clock at each request.
TEST_F(PagesTest, StatusPageByteForByte) {
    web::SetStatusPageClock([] { return TimeOfDay{14, 30, 0}; });
    m_host.flightData = {249.9, 0.785, 35000.7, 6.2831, 1852.0, 123.45678, 231.5, 0.11, {}};
    const HttpRequest request = Serve("/");
    EXPECT_EQ(request.status, "202 OK");
    EXPECT_TRUE(txtest::MatchesGolden("status.html", request.body));

    // Paused, another time, and a waypoint name full of markup.
    m_host.paused = true;
    web::SetStatusPageClock([] { return TimeOfDay{9, 5, 3}; });
    m_host.flightData = {0, 0, 0, 0, 0, 420.0, 0, -0.2, "<i>\"&'"};
    EXPECT_TRUE(txtest::MatchesGolden("status-paused.html", Serve("/").body));
    EXPECT_EQ(Logged(""), 0);  // the status page writes nothing to the log
}

// ---- Image files -----------------------------------------------------------------------------

// The gauge's pictures (any name holding ".png", a key's look-alike too) come from the settings
// folder, the pages' own from the working folder. Missing or empty files give an empty answer,
// logged but for the empty one. (That folders, FIFOs and devices are never read is the file
// reader's own case.) Installed pictures may be read-only to the user.
TEST_F(PagesTest, ImagesComeFromTheirFolders) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\x01\xff", 12);
    txtest::WriteFile(m_settings + "MCDU_Dspl.png", png);
    txtest::WriteFile(m_settings + "MCDU_KB_05.png", "key five");
    txtest::WriteFile(m_settings + "photo.png.jpg", "from settings");
    txtest::WriteFile(m_settings + "busbanner.jpg", "wrong folder");
    txtest::WriteFile(m_settings + "empty.png", "");
    txtest::WriteFile(m_work + "/busbanner.jpg", "banner");
    txtest::WriteFile(m_work + "/photo.png.jpg", "from work");
    EXPECT_EQ(Serve("/MCDU_Dspl.png").body, png);
    EXPECT_EQ(Serve("/photo.png.jpg").body, "from settings");
    EXPECT_EQ(Serve("/busbanner.jpg").body, "banner");
    const HttpRequest key = Serve("/MCDU_KB_05.png");
    EXPECT_EQ(key.body, "key five");
    EXPECT_FALSE(key.mcduKey.has_value());
    for (const char* path : {"/empty.png", "/other name (2).png", "/nothing.jpg"}) {
        const HttpRequest request = Serve(path);
        EXPECT_EQ(request.status + request.body, "202 OK") << path;
    }
    EXPECT_EQ(Logged("]: Failed to open image file: " + m_settings +
                     "other name (2).png, error 0x00000002."),
              1);
    EXPECT_EQ(Logged("]: Failed to open image file: nothing.jpg, error 0x00000002."), 1);
    EXPECT_EQ(Logged("Failed"), 2);

    // Root may write any file, so a read-only picture only shows as such to an ordinary user, who
    // needs to pass through the private folders.
    using std::filesystem::perms;
    txtest::WriteFile(m_settings + "installed.png", "read-only");
    std::filesystem::permissions(m_settings + "installed.png",
                                 perms::owner_read | perms::others_read);
    for (const std::string& folder : {m_dir.path(), m_settings})
        std::filesystem::permissions(folder, perms::others_read | perms::others_exec,
                                     std::filesystem::perm_options::add);
    EXPECT_EQ(txtest::AsOrdinaryUser([&] { return Serve("/installed.png").body; }), "read-only");
}

// Refused before any file is looked for, with one line of log: a name let through would be
// answered "202 OK". A colon makes a drive-relative name on Windows ("D:" is that drive's
// current folder), or a file's stream: it is refused on every system. The settings folder and a
// PNG name may take 258 characters together.
TEST_F(PagesTest, NamesNeverLeaveTheirFoldersNorPassTheLengthLimit) {
    const size_t longestPng = web::kImagePathMax - m_settings.size();
    ASSERT_LE(longestPng, 255u) << "the test's folder is too short for this check";
    const std::string longest = std::string(longestPng - 4, 'p') + ".png";
    txtest::WriteFile(m_settings + longest, "longest");
    EXPECT_EQ(Serve("/" + longest).body, "longest");
    const std::string abs = m_dir.path();
    const std::vector<std::string> refused = {"/p" + longest,
                                              "/../secret.png",
                                              "//" + abs.substr(1) + "/secret.png",
                                              "/" + abs + "/secret.jpg",
                                              "/sub/inner.png",
                                              "/sub\\inner.png",
                                              "/..\\secret.jpg",
                                              "/C:secret.jpg",
                                              "/busbanner.jpg:hidden",
                                              "/....//secret.png",
                                              "/.hidden.png",
                                              "/.jpg",
                                              "../secret.png",
                                              std::string("/TarvelXConnectExtended.ini\0.png", 32),
                                              "/a\rb.png",
                                              "/" + std::string(10000, '.') + "/secret.png"};
    for (const std::string& path : refused)
        EXPECT_EQ(Serve(path).status, "404 Not Found") << path.substr(0, 80);
    EXPECT_EQ(Logged(""), 16);  // a line each
    EXPECT_EQ(Logged("Refused image file name"), 16);
    // The log shows a control byte, never writes it.
    EXPECT_EQ(Logged("Refused image file name a\\x0db.png: holds a control byte."), 1);
    // Percent signs are not decoded: this is a plain (missing) name inside the folder.
    EXPECT_EQ(Serve("/%2e%2e%2fsecret.png").status, "202 OK");
    EXPECT_EQ(Logged("Failed to open image file: " + m_settings + "%2e%2e%2fsecret.png"), 1);
}

}  // namespace
