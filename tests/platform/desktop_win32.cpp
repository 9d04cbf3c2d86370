// What the program asks of the Windows desktop: the single-instance mutex, the settings folder
// under the user's documents, and the shell's "open" verb. The simulator's window is the tools'
// smoke row's, SimConnect.cfg in the settings folder the config suite's.

#include <gtest/gtest.h>
#include <windows.h>
// The shell's declarations need windows.h's types first.
#include <shlobj.h>

#include <filesystem>
#include <string>

#include "platform/BrowserLauncher.h"
#include "platform/FileLock.h"
#include "platform/Paths.h"

namespace {

// A second copy in another process is refused the same way: the program's own tests start two.
TEST(InstanceLockTest, IsTheProgramsMutexAndASecondLockIsRefusedUntilTheFirstIsGone) {
    const std::string name = platform::InstanceLockPath();
    EXPECT_EQ(name, "TarvelXLoadManagerMutex");
    ASSERT_FALSE(platform::FileLock::IsHeldElsewhere(name));
    platform::FileLock first;
    ASSERT_TRUE(first.TryLock(name));
    EXPECT_TRUE(platform::FileLock::IsHeldElsewhere(name));
    platform::FileLock second;
    EXPECT_FALSE(second.TryLock(name));
    EXPECT_FALSE(second.IsLocked());
    first.Unlock();
    EXPECT_FALSE(platform::FileLock::IsHeldElsewhere(name));
    EXPECT_TRUE(second.TryLock(name));
}

// The documents folder as the shell's newer known-folder call names it.
std::string KnownDocumentsFolder() {
    PWSTR wide = nullptr;
    if (::SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &wide) != S_OK) return {};
    char path[MAX_PATH * 2] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr);
    ::CoTaskMemFree(wide);
    return path;
}

TEST(SettingsFolderTest, IsTheProgramsFolderUnderTheUsersDocuments) {
    const std::string documents = KnownDocumentsFolder();
    ASSERT_FALSE(documents.empty());
    EXPECT_EQ(platform::DocumentsFolder(), documents);
    EXPECT_EQ(platform::SettingsFolder(), documents + "\\Quennick\\Tarvel\\");
    EXPECT_TRUE(std::filesystem::is_directory(platform::DocumentsFolder()));
}

TEST(BrowserLauncherTest, AnAddressNoProgramOpensIsReportedAsNotOpened) {
    EXPECT_FALSE(platform::OpenUrlInBrowser("tx-no-such-scheme-for-tests:nothing"));
}

}  // namespace
