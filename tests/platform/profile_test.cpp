// The INI reader: the rules of the Windows profile functions, which the Windows build calls
// itself and Linux follows with a reader of its own.

#include <gtest/gtest.h>

#include "platform/ProfileReader.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSupport.h"

namespace {

using platform::GetPrivateProfileInt;

class ProfileReaderTest : public ::testing::Test {
  protected:
    void Write(const std::string& text) { txtest::WriteFile(m_path, text); }
    txtest::TempDir m_dir;
    std::string m_path = m_dir.path() + "/settings.ini";
};

TEST_F(ProfileReaderTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 4040);
    Write("[Common]\nLogging=1\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 4040);
    EXPECT_EQ(GetPrivateProfileInt("Common", "DataRequestPeriod", 7, m_path), 7);
    EXPECT_EQ(GetPrivateProfileInt("Common", "Logging", 0, m_path), 1);
}

TEST_F(ProfileReaderTest, ValuesAreLeadingSignedIntegers) {
    Write("[Server]\nA=abc\nB=  12  \nC=-3\nD=+8x\nE=\nF=99999999999\nG= 4 5\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "A", 5, m_path), 0);
    EXPECT_EQ(GetPrivateProfileInt("Server", "B", 5, m_path), 12);
    EXPECT_EQ(GetPrivateProfileInt("Server", "C", 5, m_path), -3);
    EXPECT_EQ(GetPrivateProfileInt("Server", "D", 5, m_path), 8);
    EXPECT_EQ(GetPrivateProfileInt("Server", "E", 5, m_path), txtest::EmptyProfileValue(5));
    EXPECT_EQ(GetPrivateProfileInt("Server", "F", 5, m_path),
              static_cast<int>(99999999999LL & 0xFFFFFFFF));
    EXPECT_EQ(GetPrivateProfileInt("Server", "G", 5, m_path), 4);
}

TEST_F(ProfileReaderTest, NamesMatchInAnyCaseAndBlanksAroundNamesAreIgnored) {
    Write(
        "; comment\r\n  [ sErVeR ]  \r\n  pOrT  =  8080\r\nwebserverwaits4sim=0\r\n"
        "[common]\r\ndatarequestperiod=5\r\n");
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 8080);
    EXPECT_EQ(GetPrivateProfileInt("SERVER", "WebserverWaits4Sim", 1, m_path), 0);
    EXPECT_EQ(GetPrivateProfileInt("Common", "DataRequestPeriod", 0, m_path), 5);
}

TEST_F(ProfileReaderTest, FirstSectionAndKeyWinAndBinaryContentIsHarmless) {
    Write(std::string("[Server]\nPort=1\nPort=2\n[Other]\nPort=3\n[Server]\nEnabled=0\n") +
          std::string("\0\xff\xfe[\x01]=\n", 8));
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 1);
    EXPECT_EQ(GetPrivateProfileInt("Server", "Enabled", 1, m_path), 1);
    EXPECT_EQ(GetPrivateProfileInt("Other", "Port", 4040, m_path), 3);
    // A megabyte on one line and a run of brackets with no end are read past, not choked on.
    Write(std::string(1 << 20, 'x') + "\n[Server]\nPort=7\n" + std::string(70000, '['));
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 4040, m_path), 7);
}

}  // namespace
