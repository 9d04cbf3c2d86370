// Console events on Windows: a Ctrl+C typed into the console the program was started from reaches
// the program's shutdown as SIGINT, on the thread the system makes for it, and nothing of the
// program answers it once its watcher has stopped.
//
// A test process run by CTest under Wine has no console of its own, and an event can only be
// raised in a console: the case makes one for the process first.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>

#include "platform/SignalWatcher.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// The handler below the watcher's: it takes what the watcher leaves, so that an event the
// watcher passes on is counted instead of ending the test process.
std::atomic<int> g_passedOn{0};

BOOL WINAPI CountPassedOn(DWORD) {
    ++g_passedOn;
    return TRUE;
}

bool RaiseCtrlC() {
    return ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
}

TEST(ConsoleEventTest, CtrlCComesAsSigintToTheLatestCallbackOnlyUntilTheWatcherStops) {
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << "no console: error " << ::GetLastError();
    ASSERT_TRUE(::SetConsoleCtrlHandler(CountPassedOn, TRUE));
    std::atomic<int> first{0}, signal{0}, calls{0};
    std::atomic<DWORD> thread{0};
    platform::SignalWatcher watcher;
    watcher.Start([&](int) { ++first; });
    watcher.Start([&](int number) {  // a restart replaces the callback, registered once
        thread = ::GetCurrentThreadId();
        signal = number;
        ++calls;
    });

    // A second Ctrl+C (a user pressing it again while shutdown runs) is handed on as well.
    for (int pressed = 1; pressed <= 2; ++pressed) {
        ASSERT_TRUE(RaiseCtrlC()) << "error " << ::GetLastError();
        ASSERT_TRUE(txtest::WaitUntil([&] { return calls.load() >= pressed; }, 5s));
    }
    EXPECT_EQ(signal.load(), SIGINT);
    EXPECT_NE(thread.load(), ::GetCurrentThreadId());
    ::Sleep(200);
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(first.load(), 0);
    EXPECT_EQ(g_passedOn.load(), 0);  // the watcher answered both

    watcher.Stop();
    ASSERT_TRUE(RaiseCtrlC()) << "error " << ::GetLastError();
    EXPECT_TRUE(txtest::WaitUntil([] { return g_passedOn.load() > 0; }, 5s));
    EXPECT_EQ(calls.load(), 2);
    ::SetConsoleCtrlHandler(CountPassedOn, FALSE);
    ::FreeConsole();
}

}  // namespace
