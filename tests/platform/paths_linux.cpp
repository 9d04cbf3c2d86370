// Where the program finds its settings and meeting points on Linux: all of it derived from the
// environment (HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR), as xdg-user-dir reads it. The Windows
// answers come from the shell and the system's object names (desktop_win32.cpp).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(PathsTest, SettingsFolderFollowsTheUserDirsFile) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    EXPECT_EQ(platform::SettingsFolder(), sandbox.home() + "/Documents/Quennick/Tarvel/");
    txtest::WriteFile(sandbox.home() + "/.config/user-dirs.dirs",
                      "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(platform::SettingsFolder(), sandbox.home() + "/Dokumente/Quennick/Tarvel/");
    txtest::WriteFile(sandbox.home() + "/.config/user-dirs.dirs",
                      "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    EXPECT_EQ(platform::SettingsFolder(), "/srv/docs/Quennick/Tarvel/");
    EXPECT_EQ(platform::McduPipePath(), sandbox.runtime() + "/pipe/MCDU_Input");
    EXPECT_EQ(platform::InstanceLockPath(), sandbox.runtime() + "/TarvelXLoadManagerMutex");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::SimulatorPresenceLockPath(), "/tmp/FS98MAIN-" + std::to_string(getuid()));
    EXPECT_EQ(platform::McduPipePath(), "/tmp/pipe-" + std::to_string(getuid()) + "/MCDU_Input");
}

}  // namespace
