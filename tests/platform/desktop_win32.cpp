// What the program asks of the Windows desktop: the single-instance mutex, the simulator's main
// window, the settings folder under the user's documents, and the shell's "open" verb.

#include <gtest/gtest.h>
#include <windows.h>
// The shell's declarations need windows.h's types first.
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/BrowserLauncher.h"
#include "platform/FileLock.h"
#include "platform/ModuleFile.h"
#include "platform/Paths.h"
#include "platform/SimulatorWindow.h"
#include "simconnect/ConfigFile.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// A second copy in another process is refused the same way: the program's own tests start two.
TEST(InstanceLockTest, IsTheProgramsMutexAndASecondLockIsRefusedUntilTheFirstIsGone) {
    const std::string name = platform::InstanceLockPath();
    EXPECT_EQ(name, "TarvelXLoadManagerMutex");
    ASSERT_FALSE(platform::FileLock::IsHeldElsewhere(name));
    platform::FileLock first;
    ASSERT_TRUE(first.TryLock(name));
    EXPECT_TRUE(first.IsLocked());
    EXPECT_TRUE(platform::FileLock::IsHeldElsewhere(name));

    platform::FileLock second;
    EXPECT_FALSE(second.TryLock(name));
    EXPECT_FALSE(second.IsLocked());

    first.Unlock();
    EXPECT_FALSE(first.IsLocked());
    EXPECT_FALSE(platform::FileLock::IsHeldElsewhere(name));
    EXPECT_TRUE(second.TryLock(name));
}

// A top-level window of the simulator's class, made and destroyed on a thread of its own that
// pumps its messages, as the simulator's main window would be.
class SimulatorWindowThread {
  public:
    SimulatorWindowThread() {
        m_thread = std::thread([this] { Run(); });
        // A process's first window waits for Wine's desktop to start; without a graphics
        // driver that it can load, that takes Wine some 10 s to give up on.
        txtest::WaitUntil([this] { return m_ready.load(); }, 40s);
    }
    ~SimulatorWindowThread() {
        ::PostThreadMessageA(m_threadId.load(), WM_QUIT, 0, 0);
        m_thread.join();
    }
    bool made() const { return m_made.load(); }
    unsigned long error() const { return m_error.load(); }

  private:
    void Run() {
        m_threadId = ::GetCurrentThreadId();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcA;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FS98MAIN";
        const bool registered = ::RegisterClassA(&windowClass) != 0;
        const HWND window =
            registered
                ? ::CreateWindowExA(0, "FS98MAIN", "Flight Simulator", WS_OVERLAPPEDWINDOW, 0, 0,
                                    200, 100, nullptr, nullptr, windowClass.hInstance, nullptr)
                : nullptr;
        m_error = window == nullptr ? ::GetLastError() : 0;
        m_made = window != nullptr;
        m_ready = true;
        MSG message;
        while (window != nullptr && ::GetMessageA(&message, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&message);
        if (window != nullptr) ::DestroyWindow(window);
        if (registered) ::UnregisterClassA("FS98MAIN", windowClass.hInstance);
    }

    std::thread m_thread;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_made{false};
    std::atomic<unsigned long> m_error{0};
};

TEST(SimulatorWindowTest, TheSimulatorsMainWindowIsSeenWhileItExists) {
    EXPECT_FALSE(platform::SimulatorWindowExists());
    {
        SimulatorWindowThread simulator;
        ASSERT_TRUE(simulator.made()) << "CreateWindowEx failed with " << simulator.error();
        EXPECT_TRUE(platform::SimulatorWindowExists());
    }
    EXPECT_FALSE(platform::SimulatorWindowExists());
}

TEST(SimulatorWindowTest, AWindowOfAnotherClassIsNotTheSimulator) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FS98MAIN_NOT";
    ASSERT_NE(::RegisterClassA(&windowClass), 0);
    const HWND window =
        ::CreateWindowExA(0, "FS98MAIN_NOT", "FS98MAIN", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                          nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr) << ::GetLastError();
    EXPECT_FALSE(platform::SimulatorWindowExists());
    ::DestroyWindow(window);
    ::UnregisterClassA("FS98MAIN_NOT", windowClass.hInstance);
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

TEST(SettingsFolderTest, TheSimulatorConfigurationIsReadFromIt) {
    const std::string company = platform::DocumentsFolder() + "\\Quennick";
    ASSERT_FALSE(std::filesystem::exists(company)) << "left by someone else: " << company;
    std::filesystem::create_directories(platform::SettingsFolder());
    const std::string file = platform::SettingsFolder() + "SimConnect.cfg";
    txtest::WriteFile(file, "[SimConnect]\r\nProtocol=IPv4\r\nPort=2100\r\n");
    const simconnect::Config config = simconnect::LoadConfig(0);
    std::filesystem::remove_all(company);
    EXPECT_EQ(config.file, file);
    EXPECT_EQ(simconnect::DescribeTarget(config.target), "127.0.0.1:2100");
}

TEST(SettingsFolderTest, WithoutAConfigurationTheSimulatorIsReachedOverItsPipe) {
    ASSERT_FALSE(txtest::FileExists(platform::SettingsFolder() + "SimConnect.cfg"));
    ASSERT_FALSE(txtest::FileExists(platform::ExecutableFolder() + "\\SimConnect.cfg"));
    const simconnect::Config config = simconnect::LoadConfig(0);
    EXPECT_TRUE(config.file.empty());
    EXPECT_EQ(config.target.kind, platform::StreamTarget::Kind::Pipe);
    EXPECT_EQ(simconnect::DescribeTarget(config.target),
              "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect");
}

TEST(BrowserLauncherTest, AnAddressNoProgramOpensIsReportedAsNotOpened) {
    EXPECT_FALSE(platform::OpenUrlInBrowser("tx-no-such-scheme-for-tests:nothing"));
}

}  // namespace
