#include "log/Log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "log/Diagnostics.h"
#include "platform/CalendarTime.h"
#include "platform/RegularFile.h"
#include "tests/support/SpecialFiles.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSupport.h"

namespace {

using logging::FormatFileDateTime;
using logging::LogLine;
using logging::LogModuleVersion;
using logging::LogStream;
using logging::LogText;
using logging::OwnExecutablePath;
using logging::WriteLogTimestamp;

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
    m_stream.SetClock([] { return platform::LocalTimestamp{1, 2, 2026, 9, 5, 3, 7}; });
    LogLine(m_stream, "[Event]: Title received: %s; ", "100% %d %s");
    LogText(m_stream, "IAS=%d Kts;\nnext\n", 250);
    const std::string end = txtest::LogLineEnd();
    EXPECT_EQ(txtest::ReadFile(m_path),
              "[01/02/2026 09:05:03:007]: [Event]: Title received: 100% %d %s; IAS=250 Kts;" + end +
                  "next" + end);
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
    for (char c : {'a', 'b', 'c', 'd'})
        threads.emplace_back([this, c] {
            for (int i = 0; i < 200; ++i) LogLine(m_stream, "%s\n", std::string(200, c).c_str());
        });
    for (auto& thread : threads) thread.join();
    const std::string content = Content();
    // Whole lines only: 200 of each, every one as long as a line on its own.
    EXPECT_EQ(content.size(), 800u * (27 + 200 + 1));
    for (char c : {'a', 'b', 'c', 'd'})
        EXPECT_EQ(txtest::CountLines(content, "]: " + std::string(200, c)), 200);
}

// The program logs its own executable; a call without a module or the flag has nothing to name.
TEST_F(LogTest, ModuleVersionWithFlagReportsOwnExecutable) {
    LogModuleVersion(m_stream, nullptr, 1, false);
    LogModuleVersion(m_stream, nullptr, 1, true);
    // The date as FormatFileDateTime gives it: its own case checks it against a write time it sets.
    EXPECT_EQ(Content(),
              "[05/12/2026 22:06:14:123]: Dataflags: 1, 0, size=0x00000000.\n"
              "[05/12/2026 22:06:14:123]: Error: Bad hModuleInstance.\n"
              "[05/12/2026 22:06:14:123]: Dataflags: 1, 1, size=0x00000000.\n"
              "[05/12/2026 22:06:14:123]: Module version: 1.2.0.0. Date/time: " +
                  FormatFileDateTime(1, OwnExecutablePath()).value + ".\n");
}

TEST(FileDateTimeTest, ModesAndFailures) {
    txtest::TempDir dir;
    const std::string path = dir.path() + "/file";
    txtest::WriteFile(path, "x");
    ASSERT_TRUE(txtest::SetFileWriteTime(path, 1780000000));  // 28 May 2026 UTC
    txtest::UseUtcAsLocalTime();
    EXPECT_EQ(FormatFileDateTime(1, path).value, "28/05/2026 20:26:40");
    EXPECT_EQ(FormatFileDateTime(2, path).value, "Thu May 28 20:26:40 2026");
    EXPECT_FALSE(FormatFileDateTime(3, path).IsOk());
    EXPECT_FALSE(FormatFileDateTime(1, dir.path() + "/missing").IsOk());
}

TEST(CalendarTimeTest, NowIsTheClocksLocalTime) {
    const auto fields = [](std::time_t moment) {
        const platform::Result<std::tm> local = platform::ToLocalTime(moment);
        EXPECT_TRUE(local.IsOk());
        const std::tm& t = local.value;
        return std::tuple(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    };
    const auto before = fields(std::time(nullptr));
    const platform::LocalTimestamp now = platform::LocalNow();
    // time() may read a coarser clock than the log's, a tick behind across a second's turn.
    const auto after = fields(std::time(nullptr) + 1);
    const auto got = std::tuple(now.year, now.month, now.day, now.hour, now.minute, now.second);
    EXPECT_TRUE(before <= got && got <= after) << now.month << "/" << now.year;
    EXPECT_LT(static_cast<unsigned>(now.millisecond), 1000u);
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
    const std::string special = txtest::MakeSpecialFile(dir.path() + "/", ".png");
    ASSERT_FALSE(special.empty());
    const std::pair<std::string, int> refused[] = {{dir.path() + "/missing.png", errors.missing},
                                                   {dir.path(), errors.folder},
                                                   {dir.path() + "/" + special, errors.special}};
    for (const auto& [name, code] : refused) {
        const auto read = platform::ReadRegularFile(name);
        EXPECT_EQ(read.status.Kind(), platform::ErrorKind::kCannotOpen) << name;
        EXPECT_EQ(read.status.Code(), code) << name;
    }
}

}  // namespace
