// The start-up diagnostic and the time conversions on Windows: the version comes from the
// executable's VERSIONINFO resource (this test carries one), the file time from the file's
// attributes, and local time from the system's time zone.

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "log/Diagnostics.h"
#include "log/LogStream.h"
#include "platform/CalendarTime.h"
#include "platform/ModuleFile.h"
#include "platform/RegularFile.h"
#include "tests/support/TestSupport.h"

namespace {

using logging::FormatFileDateTime;
using logging::GetFileVersionText;
using logging::LogModuleVersion;

using namespace std::chrono_literals;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The file's last-write time in local time as "dd/mm/yyyy hh:mm:ss", worked out with the system's
// own conversions rather than the C library's.
std::string SystemDateText(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) return {};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    ::FileTimeToSystemTime(&attributes.ftLastWriteTime, &utc);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%d %02d:%02d:%02d", local.wDay, local.wMonth,
                  local.wYear, local.wHour, local.wMinute, local.wSecond);
    return text;
}

class DiagnosticsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_log.Open(m_path)); }
    std::string Log() {
        m_log.Close();
        return txtest::ReadFile(m_path);
    }

    txtest::TempDir m_dir;
    std::string m_path = m_dir.path() + "\\diagnostics.log";
    logging::LogStream m_log;
};

TEST_F(DiagnosticsTest, ModuleVersionLineReportsTheExecutablesVersionResource) {
    LogModuleVersion(m_log, nullptr, 1, true);
    const std::string log = Log();
    const std::string version = "Module version: " TX_VERSION_TEXT ". Date/time: " +
                                SystemDateText(platform::ExecutablePath()) + ".";
    EXPECT_EQ(txtest::CountLines(log, "Dataflags: 1, 1, size=0x00000000."), 1) << log;
    EXPECT_EQ(txtest::CountLines(log, version), 1) << log;
    // The log is a text file: Windows ends its lines with CR LF.
    EXPECT_NE(log.find(".\r\n"), std::string::npos);
}

TEST_F(DiagnosticsTest, ModuleOfAnAddressInASystemLibraryIsThatLibrary) {
    const void* inKernel = reinterpret_cast<const void*>(&::GetTickCount);
    const std::string path = platform::ModulePath(inKernel);
    EXPECT_TRUE(Lower(path).ends_with("\\kernel32.dll")) << path;
    EXPECT_EQ(platform::ModulePath(reinterpret_cast<const void*>(&SystemDateText)),
              platform::ExecutablePath());
    int onTheStack = 0;
    EXPECT_EQ(platform::ModulePath(&onTheStack), "");

    LogModuleVersion(m_log, inKernel, 1, false);
    const std::string log = Log();
    const std::string version = platform::FileVersionText(path);
    EXPECT_FALSE(version.empty());
    EXPECT_EQ(txtest::CountLines(
                  log, "Module version: " + version + ". Date/time: " + SystemDateText(path) + "."),
              1)
        << log;
}

TEST(FileVersionTest, TheResourceTravelsWithTheFile) {
    const std::string own = platform::ExecutablePath();
    EXPECT_TRUE(Lower(own).ends_with("\\module_test.exe")) << own;
    EXPECT_EQ(platform::FileVersionText(own), TX_VERSION_TEXT);

    // A copy under another name carries the same resource; a file without one has no version.
    txtest::TempDir dir;
    const std::string copy = dir.path() + "\\renamed.exe";
    std::filesystem::copy_file(own, copy);
    EXPECT_EQ(GetFileVersionText(copy), TX_VERSION_TEXT);
    const std::string plain = dir.path() + "\\plain.txt";
    txtest::WriteFile(plain, "no resources here");
    EXPECT_EQ(GetFileVersionText(plain), "");
    EXPECT_EQ(GetFileVersionText(dir.path() + "\\missing.exe"), "");
}

TEST(FileDateTimeTest, BothModesDescribeTheFilesLastWrite) {
    txtest::TempDir dir;
    const std::string path = dir.path() + "\\file";
    txtest::WriteFile(path, "x");
    char out[64] = "untouched";
    ASSERT_TRUE(FormatFileDateTime(1, path, out, sizeof out));
    EXPECT_EQ(std::string(out), SystemDateText(path));
    ASSERT_TRUE(FormatFileDateTime(2, path, out, sizeof out));
    EXPECT_EQ(std::strlen(out), 24u) << out;
    EXPECT_FALSE(FormatFileDateTime(1, dir.path() + "\\missing", out, sizeof out));
    EXPECT_FALSE(FormatFileDateTime(3, path, out, sizeof out));
}

TEST(CalendarTimeTest, UtcConversionAndAsctimeText) {
    std::tm when{};
    ASSERT_TRUE(platform::ToUtcTime(0, when));
    // Windows's C library writes the day of the month with two digits.
    EXPECT_EQ(platform::AsctimeText(when), "Thu Jan 01 00:00:00 1970\n");
    ASSERT_TRUE(platform::ToUtcTime(1796508374, when));
    EXPECT_EQ(platform::AsctimeText(when), "Sat Dec 05 22:06:14 2026\n");
    when.tm_mon = 12;  // no such month
    EXPECT_EQ(platform::AsctimeText(when), "");
    // The C runtime of Windows has no calendar time before 1970.
    EXPECT_FALSE(platform::ToUtcTime(-1, when));
    EXPECT_FALSE(platform::ToLocalTime(-1, when));
}

TEST(CalendarTimeTest, LocalTimeFollowsTheSystemsTimeZone) {
    const std::time_t moment = 1796508374;
    std::tm local{};
    ASSERT_TRUE(platform::ToLocalTime(moment, local));
    SYSTEMTIME utc{2026, 12, 6, 5, 22, 6, 14, 0};
    SYSTEMTIME expected{};
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &expected));
    EXPECT_EQ(local.tm_year + 1900, expected.wYear);
    EXPECT_EQ(local.tm_mon + 1, expected.wMonth);
    EXPECT_EQ(local.tm_mday, expected.wDay);
    EXPECT_EQ(local.tm_hour, expected.wHour);
    EXPECT_EQ(local.tm_min, expected.wMinute);
}

TEST(CalendarTimeTest, NowIsTheSystemsLocalClock) {
    SYSTEMTIME before{};
    ::GetLocalTime(&before);
    const platform::LocalTimestamp now = platform::LocalNow();
    EXPECT_EQ(now.year, before.wYear);
    EXPECT_EQ(now.month, before.wMonth);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LE(now.millisecond, 999);
    const int beforeSeconds = before.wHour * 3600 + before.wMinute * 60 + before.wSecond;
    const int nowSeconds = now.hour * 3600 + now.minute * 60 + now.second;
    // Midnight may pass in between.
    EXPECT_TRUE(nowSeconds - beforeSeconds <= 1 && nowSeconds - beforeSeconds >= -86399)
        << beforeSeconds << " " << nowSeconds;
}

TEST(RegularFileTest, ReadsPlainFilesAndRefusesFoldersAndDevices) {
    txtest::TempDir dir;
    const std::string path = dir.path() + "\\MCDU_Dspl.png";
    const std::string content("\x89PNG\r\n\x1a\n\0binary", 14);
    txtest::WriteFile(path, content);
    auto read = platform::ReadRegularFile(path);
    EXPECT_TRUE(read.IsOk());
    EXPECT_EQ(read.value, content);

    // The gauge may hold its picture open for writing: the server reads it all the same.
    const HANDLE writer =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    read = platform::ReadRegularFile(path);
    EXPECT_TRUE(read.IsOk());
    EXPECT_EQ(read.value, content);
    ::CloseHandle(writer);

    read = platform::ReadRegularFile(dir.path() + "\\missing.png");
    EXPECT_EQ(read.status.Kind(), platform::ErrorKind::kCannotOpen);
    EXPECT_EQ(read.status.Code(), ERROR_FILE_NOT_FOUND);
    read = platform::ReadRegularFile(dir.path());
    EXPECT_EQ(read.status.Kind(), platform::ErrorKind::kCannotOpen);
    EXPECT_EQ(read.status.Code(), ERROR_ACCESS_DENIED);
    read = platform::ReadRegularFile("NUL");
    EXPECT_EQ(read.status.Kind(), platform::ErrorKind::kCannotOpen);
    EXPECT_EQ(read.status.Code(), ERROR_INVALID_PARAMETER);
}

}  // namespace
