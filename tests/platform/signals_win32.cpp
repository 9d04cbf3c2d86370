// Console events on Windows: a Ctrl+C typed into the console the program was started from reaches
// the program's shutdown as SIGINT, on the thread the system makes for it, and nothing of the
// program answers it once its watcher has stopped.
//
// A test process run by CTest under Wine has no console of its own, and an event can only be
// raised in a console: each case makes one for the process first.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>

#include "platform/SignalWatcher.h"
#include "tests/support/TestSupport.h"

namespace {

// The handler below the watcher's: it takes what the watcher leaves, so that an event the
// watcher passes on is counted instead of ending the test process.
std::atomic<int> g_passedOn{0};

BOOL WINAPI CountPassedOn(DWORD) {
    ++g_passedOn;
    return TRUE;
}

class ConsoleEventTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::FreeConsole();
        ASSERT_TRUE(::AllocConsole()) << "no console: error " << ::GetLastError();
        g_passedOn = 0;
        ASSERT_TRUE(::SetConsoleCtrlHandler(CountPassedOn, TRUE));
    }
    void TearDown() override {
        ::SetConsoleCtrlHandler(CountPassedOn, FALSE);
        ::FreeConsole();
    }

    static bool RaiseCtrlC() { return ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE; }
};

TEST_F(ConsoleEventTest, CtrlCComesAsSigintOnTheSystemsThreadAndGoesNoFurther) {
    std::atomic<int> signal{0};
    std::atomic<DWORD> thread{0};
    std::atomic<int> calls{0};
    platform::SignalWatcher watcher;
    watcher.Start([&](int number) {
        thread = ::GetCurrentThreadId();
        signal = number;
        ++calls;
    });

    ASSERT_TRUE(RaiseCtrlC()) << "error " << ::GetLastError();
    ASSERT_TRUE(txtest::WaitUntil([&] { return calls.load() > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(signal.load(), SIGINT);
    EXPECT_NE(thread.load(), ::GetCurrentThreadId());

    // A second Ctrl+C (a user pressing it again while shutdown runs) is handed on as well.
    ASSERT_TRUE(RaiseCtrlC());
    ASSERT_TRUE(txtest::WaitUntil([&] { return calls.load() == 2; }, std::chrono::seconds(5)));

    // The watcher answered both: the handler below it never saw one.
    ::Sleep(200);
    EXPECT_EQ(g_passedOn.load(), 0);
    watcher.Stop();
}

TEST_F(ConsoleEventTest, AfterStopTheEventPassesTheProgramBy) {
    std::atomic<int> calls{0};
    platform::SignalWatcher watcher;
    watcher.Start([&](int) { ++calls; });
    watcher.Stop();

    ASSERT_TRUE(RaiseCtrlC()) << "error " << ::GetLastError();
    ASSERT_TRUE(txtest::WaitUntil([] { return g_passedOn.load() > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(calls.load(), 0);
}

TEST_F(ConsoleEventTest, ARestartedWatcherCallsOnlyItsNewCallback) {
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    platform::SignalWatcher watcher;
    watcher.Start([&](int) { ++first; });
    watcher.Start([&](int) { ++second; });

    ASSERT_TRUE(RaiseCtrlC()) << "error " << ::GetLastError();
    ASSERT_TRUE(txtest::WaitUntil([&] { return second.load() > 0; }, std::chrono::seconds(5)));
    ::Sleep(200);
    EXPECT_EQ(first.load(), 0);
    EXPECT_EQ(second.load(), 1) << "one event, one call: the handler is registered once";
    EXPECT_EQ(g_passedOn.load(), 0);
}

}  // namespace
