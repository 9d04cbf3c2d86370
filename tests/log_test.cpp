#include "log/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log/Diagnostics.h"
#include "platform/ModuleFile.h"
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

TEST_F(LogTest, ClosedStreamWritesNothing) {
    m_stream.Close();
    LogLine(m_stream, "line\n");
    LogText(m_stream, "text\n");
    WriteLogTimestamp(m_stream);
    EXPECT_EQ(Content(), "");
    EXPECT_FALSE(m_stream.IsOpen());
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
    char date[32] = "unset";
    ASSERT_TRUE(FormatFileDateTime(1, OwnExecutablePath(), date, sizeof date));
    EXPECT_EQ(Content(),
              "[05/12/2026 22:06:14:123]: Dataflags: 1, 1, size=0x00000000.\n"
              "[05/12/2026 22:06:14:123]: Module version: 1.2.0.0. Date/time: " +
                  std::string(date) + ".\n");
}

TEST_F(LogTest, ModuleOfAnAddressInASharedLibraryIsThatLibrary) {
    // stdout's FILE lives in the C library, which carries no version information on Linux; its
    // file's time is reported all the same.
    const std::string library = platform::ModulePath(stdout);
    EXPECT_FALSE(library.empty());
    EXPECT_NE(library, OwnExecutablePath());
    LogModuleVersion(m_stream, stdout, 1, false);
    const std::string content = Content();
    const size_t second = content.find('\n') + 1;
    EXPECT_TRUE(content.starts_with("[05/12/2026 22:06:14:123]: Dataflags: 1, 0, size=0x"))
        << content;
    EXPECT_TRUE(std::regex_match(
        content.substr(second),
        std::regex(R"(\[[^\]]+\]: Module version: )" + txtest::CLibraryVersionPattern() +
                   R"(\. Date/time: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\n)")))
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
    EXPECT_EQ(GetFileVersionText(path), "");
    EXPECT_EQ(GetFileVersionText(OwnExecutablePath()), "1.2.0.0");
}

}  // namespace
