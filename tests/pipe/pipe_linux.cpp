// What only the Unix-domain socket shows of McduPipeClient: the socket file a crashed gauge
// leaves, and a gauge that takes many connections in turn, as the Windows gauge's one instance
// cannot while the program holds it.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pipe/McduPipeClient.h"
#include "platform/PipeConnection.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using txtest::GaugeEnd;

TEST(PipeSocketTest, SocketFileWithoutListenerIsRefused) {
    txtest::TempDir dir;
    { GaugeEnd crashed(dir.path() + "/MCDU_Input"); }  // its socket file stays behind
    EXPECT_EQ(platform::OpenPipe(dir.path() + "/MCDU_Input", platform::PipeWait{5s}).status.Code(),
              ECONNREFUSED);
}

// Keys from the web server's threads while the simulator's worker probes and reconnects, each
// reconnection closing the connection it replaces.
TEST(PipeSocketTest, ThreadsNeverInterleaveMessages) {
    txtest::TempDir dir;
    GaugeEnd gauge(dir.path() + "/MCDU_Input");
    auto client = std::make_unique<mcdupipe::McduPipeClient>(dir.path() + "/MCDU_Input");
    ASSERT_TRUE(client->ConnectMcduPipe());
    constexpr int kProbes = 60, kReconnectEvery = 6;
    std::string received;  // each connection's bytes, read to its end
    std::thread reader([&] {
        for (int c = 0; c <= kProbes / kReconnectEvery && gauge.Accept(); ++c) {
            const std::string bytes = gauge.Read(SIZE_MAX);
            EXPECT_EQ(bytes.size() % 2, 0u) << "a message cut by a reconnection";
            EXPECT_TRUE(gauge.ended()) << "a connection left open";
            received += bytes;
        }
    });
    std::atomic<bool> workerDone{false};
    std::vector<int> keysSent(4, 0);
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&, t] {
            while (!workerDone || keysSent[t] < 200) keysSent[t] += client->SendKey(30 + t);
        });
    for (int i = 1; i <= kProbes; ++i) {
        EXPECT_TRUE(client->SendProbe()) << "a probe met a closed handle: " << i;
        if (i % kReconnectEvery == 0) {
            EXPECT_TRUE(client->ConnectMcduPipe()) << i;
        }
        std::this_thread::sleep_for(1ms);
    }
    workerDone = true;
    for (auto& thread : senders) thread.join();
    client.reset();
    reader.join();

    std::map<int, int> counts;
    for (size_t i = 0; i + 1 < received.size(); i += 2) {
        EXPECT_EQ(received[i + 1], 0) << i;
        ++counts[static_cast<unsigned char>(received[i])];
    }
    for (int t = 0; t < 4; ++t) EXPECT_EQ(counts[30 + t], keysSent[t]) << "sender " << t;
    EXPECT_EQ(counts[0xFE], kProbes);
    EXPECT_EQ(counts.size(), 5u);
}

}  // namespace
