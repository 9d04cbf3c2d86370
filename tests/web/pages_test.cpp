#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "log/Log.h"
#include "tests/support/FakeServerHost.h"
#include "tests/support/Golden.h"
#include "tests/support/SpecialFiles.h"
#include "tests/support/TestSupport.h"
#include "web/FormatNumber.h"
#include "web/HttpServer.h"
#include "web/ImageFile.h"
#include "web/McduPages.h"
#include "web/PageHandler.h"
#include "web/StatusPage.h"

namespace {

using web::AltitudeText;
using web::BuildMcduFramesetPage;
using web::BuildMcduKeyCommandPage;
using web::BuildMcduMainPage;
using web::BuildNotFoundPage;
using web::ContentTypeLine;
using web::DistanceText;
using web::EscapeHtml;
using web::FlightModeText;
using web::FormatNumber;
using web::FuelText;
using web::GroundSpeedText;
using web::HeadingText;
using web::HttpRequest;
using web::IasText;
using web::kImageNameMax;
using web::kImagePathMax;
using web::MachText;
using web::ServeImageFile;
using web::ServePage;
using web::SetStatusPageClock;
using web::StatusPageNow;
using web::TimeOfDay;
using web::TimeText;
using web::TruncateToInt32;
using web::WaypointText;

std::string PrintfG(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// ---- Number texts --------------------------------------------------------------------------

TEST(FormatNumber, GeneralNotationIsPrintfGOverAWideSweep) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  DBL_MAX,
                                  -DBL_MAX,
                                  DBL_MIN,
                                  std::numeric_limits<double>::denorm_min(),
                                  999999.0,
                                  999999.4,
                                  999999.6,
                                  1e6,
                                  0.0001,
                                  0.00009999995,
                                  0.000099999949};
    const double mantissas[] = {1.0, 1.5, 2.5, 3.14159265, 9.999994, 9.999995, 9.9999951, 7.0};
    for (int exponent = -320; exponent <= 308; ++exponent) {
        for (const double mantissa : mantissas) {
            const double value = mantissa * std::pow(10.0, exponent);
            values.push_back(value);
            values.push_back(-value);
        }
    }
    std::mt19937_64 random(20261205);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
        values.push_back(static_cast<double>(static_cast<int64_t>(bits % 2000000001) - 1000000000) /
                         1000.0);
    }
    for (const double value : values) {
        const std::string expected = PrintfG(value);
        ASSERT_EQ(FormatNumber(value, "", false, false), expected) << "value " << value;
        ASSERT_EQ(FormatNumber(value, " Kts", false, false), expected + " Kts");
    }
    // A few written out, so the notation itself is pinned and not only its equality with printf.
    EXPECT_EQ(FormatNumber(30.0, "", false, false), "30");
    EXPECT_EQ(FormatNumber(0.0001, "", false, false), "0.0001");
    EXPECT_EQ(FormatNumber(0.00001, "", false, false), "1e-05");
    EXPECT_EQ(FormatNumber(999999.0, "", false, false), "999999");
    EXPECT_EQ(FormatNumber(1234567.0, "", false, false), "1.23457e+06");
    EXPECT_EQ(FormatNumber(-2.50, " M", false, false), "-2.5 M");
}

TEST(FormatNumber, TruncationCutsToTwoDecimalsTowardZero) {
    EXPECT_EQ(FormatNumber(0.785, "", true, false), "0.78");
    EXPECT_EQ(FormatNumber(0.29, "", true, false), "0.28");  // 0.29 * 100 is just below 29
    EXPECT_EQ(FormatNumber(1.999, "", true, false), "1.99");
    EXPECT_EQ(FormatNumber(-0.785, "", true, false), "-0.78");
    EXPECT_EQ(FormatNumber(-0.009, "", true, false), "0");
    EXPECT_EQ(FormatNumber(123456.789, "", true, false), "123457");  // then 6 digits of %g
    EXPECT_EQ(FormatNumber(5.0, " NM", true, false), "5 NM");
    // Values whose hundredfold has no 32-bit integer take the conversion's INT32_MIN.
    EXPECT_EQ(FormatNumber(3e7, "", true, false), "-2.14748e+07");
    EXPECT_EQ(FormatNumber(std::nan(""), "", true, false), "-2.14748e+07");
    EXPECT_EQ(TruncateToInt32(2147483647.9), 2147483647.0);
    EXPECT_EQ(TruncateToInt32(-2147483648.9), -2147483648.0);
    EXPECT_EQ(TruncateToInt32(2147483648.0), -2147483648.0);
    EXPECT_EQ(TruncateToInt32(-7.9), -7.0);
}

TEST(FormatNumber, PadPutsAZeroBeforeValuesBelowTen) {
    EXPECT_EQ(FormatNumber(0, "", false, true), "00");
    EXPECT_EQ(FormatNumber(5, "", false, true), "05");
    EXPECT_EQ(FormatNumber(9.5, "", false, true), "09.5");
    EXPECT_EQ(FormatNumber(10, "", false, true), "10");
    EXPECT_EQ(FormatNumber(59, "", false, true), "59");
    EXPECT_EQ(FormatNumber(-3, "", false, true), "0-3");
    EXPECT_EQ(FormatNumber(9.999, "", true, true), "09.99");
}

// ---- Status values -------------------------------------------------------------------------

TEST(StatusTexts, FlightValuesAsThePageShowsThem) {
    EXPECT_EQ(MachText(0.785), "0.78 M");
    EXPECT_EQ(MachText(0.29), "0.28 M");
    EXPECT_EQ(DistanceText(1852.0), "1 NM");
    EXPECT_EQ(DistanceText(0.0), "0 NM");
    EXPECT_EQ(DistanceText(10000.0), "5.39 NM");
    EXPECT_EQ(HeadingText(6.2831), "359");
    EXPECT_EQ(HeadingText(0.0), "0");
    EXPECT_EQ(IasText(249.9), "249 Kts");
    EXPECT_EQ(FuelText(123.45678), "123.457 LBS");
    EXPECT_EQ(FuelText(420.0), "420 LBS");
    EXPECT_EQ(AltitudeText(35000.7), "35000 Ft");
    EXPECT_EQ(AltitudeText(-50.7), "-50 Ft");
    EXPECT_EQ(GroundSpeedText(231.5), "450 Kts");
    EXPECT_EQ(GroundSpeedText(0.5), "0 Kts");
}

TEST(StatusTexts, FlightModeUsesStrictLimits) {
    EXPECT_EQ(FlightModeText(0.1), "LEVEL");
    EXPECT_EQ(FlightModeText(-0.1), "LEVEL");
    EXPECT_EQ(FlightModeText(0.0), "LEVEL");
    EXPECT_EQ(FlightModeText(std::nan("")), "LEVEL");
    EXPECT_EQ(FlightModeText(0.11), "CLIMBING");
    EXPECT_EQ(FlightModeText(std::numeric_limits<double>::infinity()), "CLIMBING");
    EXPECT_EQ(FlightModeText(-0.2), "DESCENDING");
}

TEST(StatusTexts, WaypointIsCutAtEightCharactersAndEscaped) {
    const char empty[8] = {};
    EXPECT_EQ(WaypointText(empty), "N/A");
    const char short_[8] = {'K', 'J', 'F', 'K', 0, 'X', 'X', 'X'};
    EXPECT_EQ(WaypointText(short_), "KJFK");
    const char full[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};  // no terminating zero
    EXPECT_EQ(WaypointText(full), "ABCDEFGH");
    const char markup[8] = {'<', 'b', '>', '&', '"', '\'', 'x', 0};
    EXPECT_EQ(WaypointText(markup), "&lt;b&gt;&amp;&quot;&#39;x");
    EXPECT_EQ(EscapeHtml("a&amp;b"), "a&amp;amp;b");
}

TEST(StatusTexts, TimeIsTwoDigitsPerPart) {
    EXPECT_EQ(TimeText({9, 5, 3}), "09:05:03");
    EXPECT_EQ(TimeText({14, 30, 0}), "14:30:00");
    EXPECT_EQ(TimeText({0, 0, 0}), "00:00:00");
    EXPECT_EQ(TimeText({23, 59, 59}), "23:59:59");
    SetStatusPageClock([] { return TimeOfDay{9, 5, 3}; });
    EXPECT_EQ(TimeText(StatusPageNow()), "09:05:03");
    SetStatusPageClock({});
    const TimeOfDay now = StatusPageNow();
    EXPECT_TRUE(now.hour >= 0 && now.hour < 24 && now.minute >= 0 && now.minute < 60);
}

// ---- The handler -----------------------------------------------------------------------------

// A settings folder and a working directory side by side in a private folder, with a secret file
// next to them that no request may ever read. The log goes to a file of the test's own.
class PagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_settings = m_dir.path() + "/settings/";
        m_work = m_dir.path() + "/work";
        std::filesystem::create_directories(m_settings);
        std::filesystem::create_directories(m_work);
        m_logPath = m_dir.path() + "/test.log";
        ASSERT_TRUE(logging::LogFile.Open(m_logPath));
        m_oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(m_work);
        m_host = std::make_unique<txtest::FakeServerHost>(m_settings);
        SetStatusPageClock([] { return TimeOfDay{14, 30, 0}; });
    }
    void TearDown() override {
        SetStatusPageClock({});
        m_host.reset();
        std::filesystem::current_path(m_oldCwd);
        logging::LogFile.Close();
    }

    HttpRequest Serve(const std::string& path) {
        HttpRequest request;
        request.path = path;
        ServePage(request, *m_host);
        return request;
    }
    void SetFlightData(const sim::FlightData& data) { m_host->SetFlightData(data); }
    std::string Log() const { return txtest::ReadLog(m_logPath); }

    txtest::TempDir m_dir;
    std::string m_settings;
    std::string m_work;
    std::string m_logPath;
    std::filesystem::path m_oldCwd;
    std::unique_ptr<txtest::FakeServerHost> m_host;
};

TEST_F(PagesTest, FixedPagesByteForByte) {
    HttpRequest offline = Serve("/offline");
    EXPECT_EQ(offline.status, "202 OK");
    EXPECT_TRUE(txtest::MatchesGolden("offline.html", offline.body));

    HttpRequest pause = Serve("/pause");
    EXPECT_EQ(pause.status, "202 OK");
    EXPECT_TRUE(txtest::MatchesGolden("please-wait.html", pause.body));
    EXPECT_EQ(m_host->Pauses(), std::vector<bool>{true});
    HttpRequest resume = Serve("/resume");
    EXPECT_EQ(resume.body, pause.body);
    EXPECT_EQ(m_host->Pauses(), (std::vector<bool>{true, false}));

    HttpRequest missing = Serve("/index.html");
    EXPECT_EQ(missing.status, "404 Not Found");
    EXPECT_TRUE(txtest::MatchesGolden("not-found.html", missing.body));
}

TEST_F(PagesTest, RoutesAreExactCaseSensitiveAndInOrder) {
    for (const char* path : {"/index.html", "/Pause", "/STATUS", "/x.JPG", "/mcdu", "/MCDU/", "",
                             "//", "/ ", "/offline/", "/MCDU_main/", "/mcdu_kb_07", "/x.PNG"}) {
        HttpRequest request = Serve(path);
        EXPECT_EQ(request.status, "404 Not Found") << path;
        EXPECT_EQ(request.body, BuildNotFoundPage()) << path;
    }
    EXPECT_EQ(Serve("/MCDU").body, BuildMcduFramesetPage());
    EXPECT_EQ(Serve("/MCDU_main").body, BuildMcduMainPage());
    for (const char* path : {"/MCDU_KB_07", "/xyzMCDU_KB_12", "/MCDU_KB_5", "/MCDU_KB_-1",
                             "MCDU_KB_", "/MCDU/MCDU_KB_99"}) {
        HttpRequest request = Serve(path);
        EXPECT_EQ(request.status, "202 OK") << path;
        EXPECT_EQ(request.body, BuildMcduKeyCommandPage()) << path;
    }
    // Anything holding ".jpg" or ".png" is a file, even when it looks like a key or a page.
    txtest::WriteFile(m_settings + "MCDU_KB_05.png", "key five");
    txtest::WriteFile(m_settings + "MCDU_KB_07.png", "key seven");
    txtest::WriteFile(m_work + "/MCDU.jpg", "jpeg");
    EXPECT_EQ(Serve("/MCDU_KB_05.png").body, "key five");
    EXPECT_EQ(Serve("/MCDU_KB_07.png").body, "key seven");
    EXPECT_EQ(Serve("/MCDU.jpg").body, "jpeg");
    HttpRequest index = Serve("/index.png");
    EXPECT_EQ(index.status, "202 OK");
    EXPECT_EQ(index.body, "");
}

// The page follows the record, the pause state and the clock at each request.
TEST_F(PagesTest, StatusPageByteForByte) {
    sim::FlightData data{};
    data.ias = 249.9;
    data.mach = 0.785;
    data.altitude = 35000.7;
    data.heading = 6.2831;
    data.wpDistance = 1852.0;
    data.fuelTotal = 123.45678;
    data.groundSpeed = 231.5;
    data.verticalSpeed = 0.11;
    SetFlightData(data);
    m_host->paused = false;
    HttpRequest request = Serve("/");
    EXPECT_EQ(request.status, "202 OK");
    EXPECT_TRUE(txtest::MatchesGolden("status.html", request.body));

    // Paused, another time, and a waypoint name full of markup.
    m_host->paused = true;
    SetStatusPageClock([] { return TimeOfDay{9, 5, 3}; });
    data = {};
    data.fuelTotal = 420.0;
    data.verticalSpeed = -0.2;
    std::memcpy(data.nextWpId, "<i>\"&'", 6);
    SetFlightData(data);
    EXPECT_TRUE(txtest::MatchesGolden("status-paused.html", Serve("/").body));
    EXPECT_EQ(Log(), "");  // the status page writes nothing to the log
}

// ---- Image files -----------------------------------------------------------------------------

TEST_F(PagesTest, ImagesComeFromTheirFolders) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\x01\xff", 12);
    txtest::WriteFile(m_settings + "MCDU_Dspl.png", png);
    txtest::WriteFile(m_work + "/busbanner.jpg", "banner");
    txtest::WriteFile(m_work + "/mcdu_bg.jpg", "background");
    txtest::WriteFile(m_settings + "photo.png.jpg", "from settings");
    txtest::WriteFile(m_work + "/photo.png.jpg", "from work");
    txtest::WriteFile(m_settings + "busbanner.jpg", "wrong folder");

    HttpRequest display = Serve("/MCDU_Dspl.png");
    EXPECT_EQ(display.status, "202 OK");
    EXPECT_EQ(display.body, png);
    EXPECT_EQ(Serve("/busbanner.jpg").body, "banner");
    EXPECT_EQ(Serve("/mcdu_bg.jpg").body, "background");
    EXPECT_EQ(Serve("/photo.png.jpg").body, "from settings");
    EXPECT_EQ(ContentTypeLine("/photo.png.jpg"), "Content-Type: image/jpeg");
    EXPECT_EQ(Serve("/other name (2).png").body, "");
    // Exactly one log line, after its 27-character timestamp prefix.
    const std::string log = Log();
    ASSERT_GT(log.size(), 27u);
    EXPECT_EQ(log.substr(27), "Failed to open image file: " + m_settings +
                                  "other name (2).png, error 0x00000002.\n");
}

TEST_F(PagesTest, MissingEmptyAndUnreadableFiles) {
    HttpRequest missing = Serve("/nothing.png");
    EXPECT_EQ(missing.status, "202 OK");
    EXPECT_EQ(missing.body, "");
    EXPECT_EQ(txtest::CountLines(Log(), "Failed to open image file: " + m_settings +
                                            "nothing.png, error 0x00000002."),
              1);
    HttpRequest missingJpg = Serve("/nothing.jpg");
    EXPECT_EQ(missingJpg.body, "");
    EXPECT_EQ(
        txtest::CountLines(Log(), "Failed to open image file: nothing.jpg, error 0x00000002."), 1);

    txtest::WriteFile(m_settings + "empty.png", "");
    const std::string before = Log();
    HttpRequest empty = Serve("/empty.png");
    EXPECT_EQ(empty.status, "202 OK");
    EXPECT_EQ(empty.body, "");
    EXPECT_EQ(Log(), before);

    // A folder that carries an image name is no picture either.
    std::filesystem::create_directories(m_settings + "folder.png");
    EXPECT_EQ(Serve("/folder.png").body, "");
    EXPECT_EQ(txtest::CountLines(Log(), "Failed to open image file: " + m_settings + "folder.png"),
              1);
}

TEST_F(PagesTest, SpecialFilesUnderImageNamesNeverHoldTheServer) {
    // A FIFO here, device names on Windows: an open or a read of either may wait for ever.
    const std::vector<std::string> names = txtest::MakeSpecialFiles(m_settings, ".png");
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        auto served = std::async(std::launch::async, [&] { return Serve("/" + name).body; });
        if (served.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "it held the server";
            txtest::ReleaseSpecialFile(m_settings + name);  // so that the test can end
        }
        EXPECT_EQ(served.get(), "");
        EXPECT_EQ(txtest::CountLines(Log(), "Failed to open image file: " + m_settings + name), 1);
    }
}

// Serves `path` with the rights of an ordinary user: root may write any file, so a read-only
// picture only shows as such without them.
std::string ServeImageUnprivileged(const std::string& path, const std::string& settings) {
    return txtest::RunAsOrdinaryUser([&] {
        HttpRequest request;
        request.path = path;
        ServeImageFile(request, settings);
        return request.body;
    });
}

TEST_F(PagesTest, ReadOnlyPictureIsServed) {
    using std::filesystem::perms;
    const perms readOnly = perms::owner_read | perms::group_read | perms::others_read;
    txtest::WriteFile(m_settings + "installed.png", "read-only picture");
    txtest::WriteFile(m_work + "/installed.jpg", "read-only jpeg");
    std::filesystem::permissions(m_settings + "installed.png", readOnly);
    std::filesystem::permissions(m_work + "/installed.jpg", readOnly);
    // The ordinary user needs to pass through the private folders.
    for (const std::string& folder : {m_dir.path(), m_settings, m_work}) {
        std::filesystem::permissions(folder, perms::owner_all | perms::group_read |
                                                 perms::group_exec | perms::others_read |
                                                 perms::others_exec);
    }
    EXPECT_EQ(ServeImageUnprivileged("/installed.png", m_settings), "read-only picture");
    // From the working directory, too.
    EXPECT_EQ(ServeImageUnprivileged("/installed.jpg", m_settings), "read-only jpeg");
    // And a file the user cannot read at all is a failed open, not a crash.
    std::filesystem::permissions(m_settings + "installed.png", perms::none);
    if (txtest::RunningAsRoot()) {
        EXPECT_EQ(ServeImageUnprivileged("/installed.png", m_settings), "");
    }
}

TEST_F(PagesTest, NamesNeverLeaveTheirFolders) {
    const std::string secret = "TOP SECRET";
    txtest::WriteFile(m_dir.path() + "/secret.png", secret);
    txtest::WriteFile(m_dir.path() + "/secret.jpg", secret);
    txtest::WriteFile(m_settings + "TarvelXConnectExtended.ini", secret);
    txtest::WriteFile(m_settings + ".hidden.png", secret);
    std::filesystem::create_directories(m_settings + "sub");
    txtest::WriteFile(m_settings + "sub/inner.png", secret);
    const std::string abs = m_dir.path();

    const std::vector<std::string> refused = {
        "/../secret.png",
        "/../secret.jpg",
        "/../../" + abs.substr(1) + "/secret.png",
        "//" + abs.substr(1) + "/secret.png",
        "/" + abs + "/secret.jpg",
        "/" + abs + "/secret.png",
        "/..\\secret.png",
        "/..\\secret.jpg",
        "/\\..\\secret.png",
        "/x\\..\\..\\secret.png",
        "/C:\\secret.png",
        // A drive-relative name on Windows ("D:" is that drive's current folder), or a file's
        // stream: a colon is refused on every system.
        "/C:secret.jpg",
        "/Z:secret.png",
        "/busbanner.jpg:hidden",
        "/MCDU_Dspl.png::$DATA",
        "/....//secret.png",
        "/..../secret.jpg",
        "/./../secret.png",
        "/sub/../../secret.png",
        "/sub/inner.png",
        "/x.png/../../secret.png",
        "/..%2f..%2fsecret.png",
        "/%2e%2e/secret.png",
        "/..png",
        "/...png",
        "/.hidden.png",
        "/.png",
        "/.jpg",
        "/secret..png",
        "/..;/secret.png",
        "/~/../secret.png",
        "../secret.png",
        "x/../secret.png",
        std::string("/TarvelXConnectExtended.ini\0.png", 32),
        std::string("/secret\x00../x.png", 16),
        "/a\rb.png",
        "/tab\t.jpg",
        "/" + std::string(300, 'a') + ".png",
        "/" + std::string(10000, '.') + "/secret.png",
        "/" + std::string(5000, 'b') + ".jpg",
    };
    for (const std::string& path : refused) {
        const std::string before = Log();
        HttpRequest request = Serve(path);
        const std::string added = Log().substr(before.size());
        EXPECT_EQ(request.status, "404 Not Found") << path.substr(0, 80);
        EXPECT_EQ(request.body, BuildNotFoundPage()) << path.substr(0, 80);
        EXPECT_EQ(txtest::CountLines(added, "Refused image file name"), 1) << path.substr(0, 80);
        EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << path.substr(0, 80);
        EXPECT_EQ(added.find("Failed to open"), std::string::npos) << path.substr(0, 80);
    }
    // Percent signs are not decoded: these are plain (missing) names inside the folders.
    for (const std::string& path :
         {std::string("/%2e%2e%2fsecret.png"), std::string("/%2E%2E%5Csecret.jpg"),
          std::string("/%c0%ae%c0%aesecret.png")}) {
        const std::string before = Log();
        HttpRequest request = Serve(path);
        const std::string added = Log().substr(before.size());
        EXPECT_EQ(request.status, "202 OK") << path;
        EXPECT_EQ(request.body, "") << path;
        EXPECT_EQ(txtest::CountLines(added, "Failed to open image file: "), 1) << path;
    }
    EXPECT_EQ(Log().find(secret), std::string::npos);
}

TEST_F(PagesTest, NameLengthLimits) {
    // The settings folder and a PNG name may take 258 characters together.
    const size_t longestPng = kImagePathMax - m_settings.size();
    ASSERT_GT(longestPng, 10u);
    ASSERT_LE(longestPng, 255u) << "the test's folder is too short for this check";
    const std::string name = std::string(longestPng - 4, 'p') + ".png";
    txtest::WriteFile(m_settings + name, "longest");
    EXPECT_EQ(Serve("/" + name).body, "longest");
    HttpRequest tooLong = Serve("/p" + name);
    EXPECT_EQ(tooLong.status, "404 Not Found");
    EXPECT_EQ(txtest::CountLines(Log(), "Refused image file name"), 1);

    // A JPEG name may take 259 characters; this one is longer than the file system allows, so it
    // is tried and fails like any missing file.
    const std::string jpg = std::string(kImageNameMax - 4, 'j') + ".jpg";
    HttpRequest longest = Serve("/" + jpg);
    EXPECT_EQ(longest.status, "202 OK");
    EXPECT_EQ(txtest::CountLines(Log(), "Failed to open image file: " + jpg), 1);
    EXPECT_EQ(Serve("/j" + jpg).status, "404 Not Found");
    EXPECT_EQ(txtest::CountLines(Log(), "Refused image file name"), 2);
}

}  // namespace
