// The INI file read on Windows: platform::GetPrivateProfileInt is the system's own
// GetPrivateProfileIntA there, and these are the answers the program relies on from it.

#include <gtest/gtest.h>

#include <string>

#include "platform/ProfileReader.h"
#include "tests/support/TestSupport.h"

namespace {

using platform::GetPrivateProfileInt;

class IniFileTest : public ::testing::Test {
  protected:
    void Write(const std::string& text) { txtest::WriteFile(m_path, text); }
    txtest::TempDir m_dir;
    std::string m_path = m_dir.path() + "\\TarvelXConnectExtended.ini";
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 4040);
    Write("[Common]\r\nLogging=1\r\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 4040);
    EXPECT_EQ(GetPrivateProfileInt("Common", "DataRequestPeriod", 7, m_path), 7);
    EXPECT_EQ(GetPrivateProfileInt("Common", "Logging", 0, m_path), 1);
}

TEST_F(IniFileTest, TheFiveKeysOfTheProgram) {
    Write(
        "[Common]\r\nLogging=1\r\nDataRequestPeriod=5\r\n[Server]\r\nEnabled=1\r\nPort=8080\r\n"
        "WebserverWaits4Sim=0\r\n");
    EXPECT_EQ(GetPrivateProfileInt("Common", "Logging", 0, m_path), 1);
    EXPECT_EQ(GetPrivateProfileInt("Common", "DataRequestPeriod", 0, m_path), 5);
    EXPECT_EQ(GetPrivateProfileInt("Server", "Enabled", 1, m_path), 1);
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 8080);
    EXPECT_EQ(GetPrivateProfileInt("Server", "WebserverWaits4Sim", 1, m_path), 0);
}

TEST_F(IniFileTest, ValuesAreLeadingDecimalIntegersAndOtherTextIsZero) {
    Write("[Server]\nA=abc\nB=  12  \nC=-3\nE=\nG= 4 5\nH=12abc\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "A", 5, m_path), 0);
    EXPECT_EQ(GetPrivateProfileInt("Server", "B", 5, m_path), 12);
    EXPECT_EQ(GetPrivateProfileInt("Server", "C", 5, m_path), -3);
    // An empty value counts as no value: the default.
    EXPECT_EQ(GetPrivateProfileInt("Server", "E", 5, m_path), 5);
    EXPECT_EQ(GetPrivateProfileInt("Server", "G", 5, m_path), 4);
    EXPECT_EQ(GetPrivateProfileInt("Server", "H", 5, m_path), 12);
}

TEST_F(IniFileTest, NamesMatchInAnyCaseAndLineFeedsAloneEndLines) {
    Write("; comment\n[ sErVeR ]\n  pOrT  =  8080\nwebserverwaits4sim=0\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 8080);
    EXPECT_EQ(GetPrivateProfileInt("SERVER", "WebserverWaits4Sim", 1, m_path), 0);
}

TEST_F(IniFileTest, TheFirstKeyOfASectionWins) {
    Write("[Server]\r\nPort=1\r\nPort=2\r\n[Other]\r\nPort=3\r\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 1);
    EXPECT_EQ(GetPrivateProfileInt("Other", "Port", 4040, m_path), 3);
}

}  // namespace
