// What the program asks of the Windows desktop: the single-instance mutex. (The settings folder
// under the user's documents is every sandboxed suite's: each moves the documents folder and finds
// its INI there. The simulator's window is the Windows program tests'.)

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
