#include "bench/ProgramUnderTest.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "bench/Browser.h"
#include "bench/Stats.h"
#include "tests/support/SimStandin.h"
#include "tests/support/SystemFacts.h"

namespace txbench {

std::string IniText(const Ini& ini) {
    return "[Common]\nLogging=" + std::to_string(ini.logging) +
           "\nDataRequestPeriod=" + std::to_string(ini.dataPeriod) +
           "\n[Server]\nEnabled=1\nPort=" + std::to_string(ini.port) +
           "\nWebserverWaits4Sim=" + std::to_string(ini.waits4Sim) + "\n";
}

void WriteDisplayPicture(const std::string& folder) {
    std::string bytes = "\x89PNG\r\n\x1a\n";
    std::mt19937 random(20480);
    while (bytes.size() < 20480) bytes.push_back(static_cast<char>(random() & 0xff));
    txtest::WriteFile(folder + "MCDU_Dspl.png", bytes);
}

ProgramUnderTest::ProgramUnderTest(Ini ini) {
    m_sandbox.CreateSettingsFolder();
    m_port = ini.port = txtest::FreeTcpPort();
    m_sandbox.WriteIni(IniText(ini));
    m_simPort = txtest::FreeTcpPort();
    txtest::WriteSimConnectConfig(m_sandbox, m_simPort);
}

ProgramUnderTest::~ProgramUnderTest() {
    if (std::getenv("TXBENCH_VERBOSE") == nullptr) return;
    std::fprintf(stderr, "--- program output:\n%s%s--- log:\n%s", m_process.Stdout().c_str(),
                 m_process.Stderr().c_str(), Log().c_str());
}

bool ProgramUnderTest::Start() {
    const std::string program = txtest::BinaryPath("TarvelXConnectExtended");
    return m_process.Start(program, {}, m_sandbox.Env(), m_sandbox.home());
}

std::string ProgramUnderTest::PipePath() const {
    return txtest::GaugePipePath(m_sandbox.runtime());
}

bool ProgramUnderTest::WaitOnline(std::chrono::milliseconds timeout) {
    return txtest::WaitUntil(
        [&] {
            const Response r = Fetch(m_port, "/", std::chrono::seconds(1));
            return r.ok && r.body.find("FSX is offline") == std::string::npos;
        },
        timeout);
}

bool ProgramUnderTest::WaitServing(std::chrono::milliseconds timeout) {
    return txtest::WaitUntil([&] { return Fetch(m_port, "/", std::chrono::seconds(1)).ok; },
                             timeout);
}

std::optional<double> ProgramUnderTest::StartToFirstAnswer(std::chrono::milliseconds timeout) {
    const auto start = Clock::now();
    if (!Start()) return std::nullopt;
    while (MsSince(start) < static_cast<double>(timeout.count())) {
        if (Fetch(m_port, "/", std::chrono::seconds(2)).ok) return MsSince(start);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::nullopt;
}

}  // namespace txbench
