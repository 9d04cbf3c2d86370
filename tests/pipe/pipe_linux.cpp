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
    EXPECT_EQ(platform::OpenPipe(dir.path() + "/MCDU_Input", 5s).status.Code(), ECONNREFUSED);
}

TEST(PipeSocketTest, ConnectClosesTheHandleThatIsStillOpen) {
    txtest::TempDir dir;
    GaugeEnd gauge(dir.path() + "/MCDU_Input");
    auto client = std::make_unique<mcdupipe::McduPipeClient>(dir.path() + "/MCDU_Input");
    ASSERT_TRUE(client->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());
    ASSERT_TRUE(client->ConnectMcduPipe());
    EXPECT_EQ(gauge.Read(1), "");
    EXPECT_TRUE(gauge.ended());
    ASSERT_TRUE(gauge.Accept());
    EXPECT_TRUE(client->SendKey(5));
    EXPECT_EQ(gauge.Read(2), std::string("\x05\x00", 2));
}

TEST(PipeSocketTest, ThreadsNeverInterleaveMessages) {
    txtest::TempDir dir;
    GaugeEnd gauge(dir.path() + "/MCDU_Input");
    auto client = std::make_unique<mcdupipe::McduPipeClient>(dir.path() + "/MCDU_Input");
    ASSERT_TRUE(client->ConnectMcduPipe());
    constexpr int kSenders = 4, kProbes = 60, kReconnectEvery = 6;
    std::vector<std::string> received;  // each connection's bytes, read to its end
    std::thread reader([&] {
        for (int c = 0; c <= kProbes / kReconnectEvery && gauge.Accept(); ++c)
            received.push_back(gauge.Read(SIZE_MAX));
    });
    // The web server side: keys until the worker has finished, a good number at least.
    std::atomic<bool> workerDone{false};
    std::vector<int> keysSent(kSenders, 0);
    std::vector<std::thread> senders;
    for (int t = 0; t < kSenders; ++t)
        senders.emplace_back([&, t] {
            while (!workerDone || keysSent[t] < 200) keysSent[t] += client->SendKey(30 + t);
        });
    // The simulator worker: probes, and every few of them a fresh connection.
    int probesSent = 0;
    for (int i = 1; i <= kProbes; ++i) {
        probesSent += client->SendProbe();
        if (i % kReconnectEvery == 0 && !client->ConnectMcduPipe()) ADD_FAILURE() << i;
        std::this_thread::sleep_for(1ms);
    }
    workerDone = true;
    for (auto& thread : senders) thread.join();
    client.reset();
    reader.join();

    EXPECT_EQ(probesSent, kProbes);  // no probe ever met a closed handle
    ASSERT_EQ(received.size(), 1u + kProbes / kReconnectEvery);
    std::map<int, int> counts;
    for (const std::string& bytes : received) {
        ASSERT_EQ(bytes.size() % 2, 0u);  // whole (code, 0x00) messages on every connection
        for (size_t i = 0; i < bytes.size(); i += 2) {
            EXPECT_EQ(bytes[i + 1], 0) << i;
            ++counts[static_cast<unsigned char>(bytes[i])];
        }
    }
    for (int t = 0; t < kSenders; ++t) EXPECT_EQ(counts[30 + t], keysSent[t]) << "sender " << t;
    EXPECT_EQ(counts[0xFE], kProbes);
    EXPECT_EQ(counts.size(), static_cast<size_t>(kSenders) + 1);
}

}  // namespace
