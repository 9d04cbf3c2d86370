#include "tests/support/SimLinkTest.h"

#include <thread>

#include "log/Log.h"

namespace txtest {

using namespace std::chrono_literals;

std::string WithoutPrefixes(const std::string& log) {
    std::string out;
    size_t at = 0;
    while (at < log.size()) {
        const size_t prefix = log.find("]: ", at);
        const size_t bracket = log.find('[', at);
        if (bracket == at && prefix != std::string::npos && prefix - at == 24) {
            at = prefix + 3;
            continue;
        }
        const size_t next = log.find('[', at + 1);
        const size_t end = next == std::string::npos ? log.size() : next;
        out.append(log, at, end - at);
        at = end;
    }
    return out;
}

void SimLinkTest::SetUp() {
    m_sandbox.Apply();
    m_sandbox.CreateSettingsFolder();
    ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
    m_link =
        std::make_unique<sim::SimLink>(m_host, m_sandbox.settings() + "TarvelXConnectExtended.ini");
}

void SimLinkTest::TearDown() {
    m_link->CloseSimconnectThread();
    m_link->ClearSimConnect();
    m_link.reset();
    logging::LogFile.Close();
}

std::string SimLinkTest::Log() const {
    return WithoutPrefixes(ReadLog(m_sandbox.LogPath()));
}

int SimLinkTest::LogCount(const std::string& needle) const {
    const std::string log = Log();
    int count = 0;
    for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
        ++count;
    return count;
}

bool SimLinkTest::WaitForLog(const std::string& needle, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Log().find(needle) != std::string::npos; }, timeout);
}

std::chrono::milliseconds SimLinkTest::TickUntil(const std::function<bool()>& done,
                                                 std::chrono::milliseconds limit) {
    const auto start = std::chrono::steady_clock::now();
    while (!done() && std::chrono::steady_clock::now() - start < limit) {
        m_link->CheckSimPresence();
        if (done()) break;
        std::this_thread::sleep_for(100ms);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

bool SimLinkTest::WorkerEnded() {
    return WaitUntil([&] { return !m_link->IsSimThreadRegistered(); }, 5s) &&
           WaitForLog("SimConnect thread finished.\n");
}

}  // namespace txtest
