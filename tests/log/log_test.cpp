#include "log/Log.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "log/Diagnostics.h"
#include "platform/CalendarTime.h"
#include "platform/ModuleFile.h"
#include "platform/RegularFile.h"
#include "tests/support/SpecialFiles.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSupport.h"

namespace {

using logging::FormatFileDateTime;
using logging::GetFileVersionText;
using logging::LogLine;
using logging::LogModuleVersion;
using logging::LogStream;
using logging::LogText;
using logging::OwnExecutablePath;
using logging::WriteLogTimestamp;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.path() + "/test.log";
        ASSERT_TRUE(m_stream.Open(m_path));
        m_stream.SetClock([] { return platform::LocalTimestamp{5, 12, 2026, 22, 6, 14, 123}; });
    }
    std::string Content() { return txtest::ReadLog(m_path); }

    txtest::TempDir m_dir;
    std::string m_path;
    LogStream m_stream;
};

TEST_F(LogTest, PrefixHasFourDigitYearAndThreeMillisecondDigits) {
    EXPECT_EQ(LogStream::FormatPrefix({31, 12, 2026, 23, 59, 59, 999}),
              "[31/12/2026 23:59:59:999]: ");
    EXPECT_EQ(LogStream::FormatPrefix({1, 2, 2026, 9, 5, 3, 7}), "[01/02/2026 09:05:03:007]: ");
    m_stream.SetClock([] { return platform::LocalTimestamp{1, 2, 2026, 9, 5, 3, 7}; });
    LogLine(m_stream, "x\n");
    EXPECT_EQ(Content(), "[01/02/2026 09:05:03:007]: x\n");
}

TEST_F(LogTest, IsATextFileWithTheSystemsLineEnds) {
    LogLine(m_stream, "one\n");
    LogText(m_stream, "two\nthree\n");
    const std::string end = txtest::LogLineEnd();
    EXPECT_EQ(txtest::ReadFile(m_path),
              "[05/12/2026 22:06:14:123]: one" + end + "two" + end + "three" + end);
}

TEST_F(LogTest, ValuesAreWrittenVerbatimAndContinuationsShareOneLine) {
    LogLine(m_stream, "[Event]: Title received: %s; ", "100% %d %s");
    LogText(m_stream, "\n");
    LogLine(m_stream, "[Event]: Flight data received: ");
    LogText(m_stream, "IAS=%d Kts; ", 250);
    LogText(m_stream, "NextWP=%s.\n", "ABCDEFGH");
    EXPECT_EQ(Content(),
              "[05/12/2026 22:06:14:123]: [Event]: Title received: 100% %d %s; \n"
              "[05/12/2026 22:06:14:123]: [Event]: Flight data received: IAS=250 Kts; "
              "NextWP=ABCDEFGH.\n");
}

TEST_F(LogTest, LongMessageIsCutAtBufferSize) {
    const std::string longText(5000, 'a');
    LogText(m_stream, "%s", longText.c_str());
    EXPECT_EQ(Content(), std::string(2523, 'a'));
    LogLine(m_stream, "%s", longText.c_str());
    EXPECT_EQ(Content().size(), 2523u + 27u + 2523u);
}

TEST_F(LogTest, AClosedStreamWritesNothingAndEachOpenStartsAfresh) {
    LogLine(m_stream, "first run\n");
    m_stream.Close();
    LogLine(m_stream, "line\n");
    LogText(m_stream, "text\n");
    WriteLogTimestamp(m_stream);
    EXPECT_FALSE(m_stream.IsOpen());
    EXPECT_EQ(Content(), "[05/12/2026 22:06:14:123]: first run\n");
    ASSERT_TRUE(m_stream.Open(m_path));
    LogLine(m_stream, "second run\n");
    EXPECT_EQ(Content(), "[05/12/2026 22:06:14:123]: second run\n");
}

TEST_F(LogTest, PiecesFromManyThreadsNeverMix) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            const std::string body(200, static_cast<char>('a' + t));
            for (int i = 0; i < 200; ++i) LogLine(m_stream, "%s\n", body.c_str());
        });
    }
    for (auto& thread : threads) thread.join();
    const std::string content = Content();
    EXPECT_EQ(txtest::CountLines(content, "]: "), 800);
    for (int t = 0; t < 4; ++t) {
        const std::string line = "[05/12/2026 22:06:14:123]: " + std::string(200, 'a' + t) + "\n";
        size_t count = 0;
        for (size_t at = content.find(line); at != std::string::npos;
             at = content.find(line, at + 1))
            ++count;
        EXPECT_EQ(count, 200u);
    }
}

TEST_F(LogTest, ModuleVersionWithoutModuleOrFlagWritesTwoLines) {
    LogModuleVersion(m_stream, nullptr, 1, false);
    EXPECT_EQ(Content(),
              "[05/12/2026 22:06:14:123]: Dataflags: 1, 0, size=0x00000000.\n"
              "[05/12/2026 22:06:14:123]: Error: Bad hModuleInstance.\n");
}

TEST_F(LogTest, ModuleVersionWithFlagReportsOwnExecutable) {
    LogModuleVersion(m_stream, nullptr, 1, true);
    // The date in the system's own time zone, as the system itself tells the file's time.
    EXPECT_EQ(Content(),
              "[05/12/2026 22:06:14:123]: Dataflags: 1, 1, size=0x00000000.\n"
              "[05/12/2026 22:06:14:123]: Module version: 1.2.0.0. Date/time: " +
                  txtest::FileWriteDateText(OwnExecutablePath()) + ".\n");
}

TEST_F(LogTest, ModuleOfAnAddressInASharedLibraryIsThatLibrary) {
    // stdout's FILE lives in the C library, which carries no version information on Linux; its
    // file's time is reported all the same.
    const std::string library = platform::ModulePath(stdout);
    EXPECT_EQ(Lower(std::filesystem::path(library).filename().string()), txtest::CLibraryFileName())
        << library;
    // An address in the program's own code is in its executable; one on the stack is in none.
    std::error_code error;
    EXPECT_TRUE(std::filesystem::equivalent(
        platform::ModulePath(reinterpret_cast<const void*>(&Lower)), OwnExecutablePath(), error));
    int onTheStack = 0;
    EXPECT_EQ(platform::ModulePath(&onTheStack), "");
    LogModuleVersion(m_stream, stdout, 1, false);
    const std::string content = Content();
    const size_t second = content.find('\n') + 1;
    EXPECT_TRUE(content.starts_with("[05/12/2026 22:06:14:123]: Dataflags: 1, 0, size=0x"))
        << content;
    EXPECT_TRUE(std::regex_match(
        content.substr(second),
        std::regex(R"(\[[^\]]+\]: Module version: )" + txtest::CLibraryVersionPattern() +
                   R"(\. Date/time: )" + txtest::FileWriteDateText(library) + R"(\.\n)")))
        << content;
}

TEST(FileDateTimeTest, ModesAndFailures) {
    txtest::TempDir dir;
    const std::string path = dir.path() + "/file";
    txtest::WriteFile(path, "x");
    ASSERT_TRUE(txtest::SetFileWriteTime(path, 1780000000));  // 28 May 2026 UTC
    txtest::UseUtcAsLocalTime();
    char out[26];
    ASSERT_TRUE(FormatFileDateTime(1, path, out, sizeof out));
    EXPECT_STREQ(out, "28/05/2026 20:26:40");
    ASSERT_TRUE(FormatFileDateTime(2, path, out, sizeof out));
    EXPECT_STREQ(out, "Thu May 28 20:26:40 2026");
    std::strcpy(out, "kept");
    EXPECT_FALSE(FormatFileDateTime(3, path, out, sizeof out));
    EXPECT_FALSE(FormatFileDateTime(1, dir.path() + "/missing", out, sizeof out));
    EXPECT_STREQ(out, "kept");
}

TEST(FileVersionTest, OnlyTheProgramsOwnFileCarriesItsVersion) {
    const std::string own = OwnExecutablePath();
    EXPECT_EQ(GetFileVersionText(own), "1.2.0.0");
    txtest::TempDir dir;
    const std::string copy = dir.path() + "/renamed.exe";
    std::filesystem::copy_file(own, copy);
    EXPECT_EQ(GetFileVersionText(copy), txtest::VersionTravelsWithACopy() ? "1.2.0.0" : "");
    txtest::WriteFile(dir.path() + "/plain.txt", "no resources here");
    EXPECT_EQ(GetFileVersionText(dir.path() + "/plain.txt"), "");
    EXPECT_EQ(GetFileVersionText(dir.path() + "/missing.exe"), "");
}

TEST(CalendarTimeTest, UtcTextAndTimesTheCLibraryCannotWrite) {
    std::tm when{};
    ASSERT_TRUE(platform::ToUtcTime(0, when));
    EXPECT_EQ(platform::AsctimeText(when), "Thu Jan " + txtest::AsctimeDay(1) + " 00:00:00 1970\n");
    when.tm_mon = 12;  // no such month
    EXPECT_EQ(platform::AsctimeText(when).empty(), txtest::CLibraryRefusesOddTimes());
    EXPECT_EQ(platform::ToUtcTime(-1, when), !txtest::CLibraryRefusesOddTimes());
    EXPECT_EQ(platform::ToLocalTime(-1, when), !txtest::CLibraryRefusesOddTimes());
}

TEST(CalendarTimeTest, NowIsTheClocksLocalTime) {
    const auto local = [](std::time_t moment) {
        std::tm out{};
        EXPECT_TRUE(platform::ToLocalTime(moment, out));
        return std::tuple(out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min,
                          out.tm_sec);
    };
    const auto before = local(std::time(nullptr));
    const platform::LocalTimestamp now = platform::LocalNow();
    const auto after = local(std::time(nullptr));
    const auto nowFields =
        std::tuple(now.year, now.month, now.day, now.hour, now.minute, now.second);
    EXPECT_LE(before, nowFields);
    EXPECT_LE(nowFields, after);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LE(now.millisecond, 999);
}

// The web server's pictures: plain files only, read while the gauge may be writing them.
TEST(RegularFileTest, ReadsPlainFilesEvenWhileWrittenAndRefusesFoldersAndDevices) {
    txtest::TempDir dir;
    const std::string path = dir.path() + "/MCDU_Dspl.png";
    const std::string content("\x89PNG\r\n\x1a\n\0binary", 14);
    txtest::WriteFile(path, content);
    {
        std::ofstream writer(path, std::ios::binary | std::ios::app);
        ASSERT_TRUE(writer.is_open());
        const auto read = platform::ReadRegularFile(path);
        EXPECT_TRUE(read.IsOk());
        EXPECT_EQ(read.value, content);
    }
    const txtest::RegularFileErrors errors = txtest::RegularFileErrorNumbers();
    const auto special = txtest::MakeSpecialFiles(dir.path() + "/", ".png");
    ASSERT_FALSE(special.empty());
    const std::pair<std::string, int> refused[] = {
        {dir.path() + "/missing.png", errors.missing},
        {dir.path(), errors.folder},
        {dir.path() + "/" + special.front(), errors.special}};
    for (const auto& [name, code] : refused) {
        const auto read = platform::ReadRegularFile(name);
        EXPECT_EQ(read.status.Kind(), platform::ErrorKind::kCannotOpen) << name;
        EXPECT_EQ(read.status.Code(), code) << name;
    }
}

}  // namespace
