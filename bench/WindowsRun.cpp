#include "bench/WindowsRun.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "bench/ChildWatch.h"
#include "bench/ProgramUnderTest.h"

namespace txbench {

WindowsRun::WindowsRun(const Options& options) : m_bin(options.windowsBin), m_wine(options.wine) {
    if (const char* home = std::getenv("HOME")) {
        m_settings = std::string(home) + "/Documents/Quennick/Tarvel/";
    }
}

bool WindowsRun::Ready() const {
    return std::getenv("WINEPREFIX") != nullptr && !m_settings.empty() && !m_wine.empty();
}

void WindowsRun::PrepareSettings() {
    std::filesystem::remove_all(m_settings);
    std::filesystem::create_directories(m_settings);
    Ini ini;
    m_port = ini.port = txtest::FreeTcpPort();
    m_simPort = txtest::FreeTcpPort();
    txtest::WriteFile(m_settings + "TarvelXConnectExtended.ini", IniText(ini));
    WriteDisplayPicture(m_settings);
}

void WindowsRun::RemoveSettings() const {
    std::filesystem::remove_all(m_settings);
}

std::string WindowsRun::www() const {
    return std::filesystem::path(m_bin).parent_path().string() + "/www";
}

bool WindowsRun::Start(txtest::ChildProcess& process, const std::string& exe,
                       std::vector<std::string> args, const std::string& workDir) const {
    args.insert(args.begin(), m_bin + "/" + exe);
    return process.Start(m_wine, args, {}, workDir);
}

void WindowsRun::End(txtest::ChildProcess& process) {
    process.Signal(SIGKILL);
    WaitForExit(process, std::chrono::seconds(10));
}

}  // namespace txbench
