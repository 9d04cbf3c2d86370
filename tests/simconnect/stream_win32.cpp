// The simulator's byte stream over its named pipe (Protocol=Pipe), against a server end a test
// thread plays. The TCP stream is the one the shared library suite drives.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/ByteStream.h"
#include "simconnect/ConfigFile.h"
#include "tests/windows/support/PipeServer.h"

namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

const std::atomic<bool> kNoCancel{false};

// A pipe of its own for each use, and the target SimConnect.cfg makes of it.
std::string PipeName() {
    static int count = 0;
    return "tx-test-" + std::to_string(::GetCurrentProcessId()) + "-sim-" + std::to_string(++count);
}
platform::StreamTarget PipeTarget(const std::string& name) {
    return simconnect::ParseConfig("[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=" + name + "\n", 0)
        .target;
}

// Reads until `count` bytes have come or the stream says it has ended.
std::string ReadSome(platform::ByteStream& stream, size_t count) {
    std::string got;
    uint8_t buffer[256];
    while (got.size() < count && stream.WaitReadable(10s)) {
        const auto read = stream.Read(buffer, sizeof buffer);
        if (!read.IsOk() && read.status.Kind() != ErrorKind::kWouldBlock) break;
        if (read.IsOk()) got.append(reinterpret_cast<const char*>(buffer), read.value);
    }
    return got;
}

TEST(SimStreamPipeTest, ProtocolPipeReachesTheSimulatorsPipeAndBytesGoBothWays) {
    const std::string name = PipeName();
    txtest::PipeServer simulator("\\\\.\\pipe\\" + name);
    ASSERT_TRUE(simulator.Create()) << simulator.LastError();
    EXPECT_EQ(simconnect::DescribeTarget(PipeTarget(name)), "\\\\.\\pipe\\" + name);
    auto connected = platform::ConnectStream(PipeTarget(name), 5s, kNoCancel);
    ASSERT_TRUE(connected.IsOk()) << connected.status.Text();
    EXPECT_TRUE(connected.value.onThisMachine);
    ASSERT_TRUE(simulator.WaitForClient(5s));
    platform::ByteStream& stream = *connected.value.stream;

    // A reader waits on one thread while the writer's bytes go out on another; a large answer
    // arrives whole, in order.
    std::string large(200000, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    auto reading = std::async(std::launch::async, [&] { return ReadSome(stream, large.size()); });
    ASSERT_TRUE(stream.WriteAll(reinterpret_cast<const uint8_t*>("request"), 7).IsOk());
    EXPECT_EQ(simulator.Read(7, 5s), "request");
    ASSERT_TRUE(simulator.Write(large));
    EXPECT_EQ(reading.get(), large);

    simulator.Close();
    uint8_t buffer[8];
    ASSERT_TRUE(stream.WaitReadable(10s));
    EXPECT_EQ(stream.Read(buffer, sizeof buffer).status.Kind(), ErrorKind::kClosed);
    EXPECT_FALSE(stream.WriteAll(buffer, 2).IsOk());
}

TEST(SimStreamPipeTest, NoPipeIsNoServerABusyOneIsWaitedForAndShutdownWakesAReader) {
    const platform::Status none =
        platform::ConnectStream(PipeTarget(PipeName()), 1s, kNoCancel).status;
    EXPECT_EQ(none.Kind(), ErrorKind::kNoServer);
    EXPECT_FALSE(none.Text().empty());

    const std::string name = PipeName();
    txtest::PipeServer simulator("\\\\.\\pipe\\" + name);
    ASSERT_TRUE(simulator.Create());
    const auto first = platform::ConnectStream(PipeTarget(name), 5s, kNoCancel);
    ASSERT_TRUE(first.IsOk());
    std::atomic<bool> cancel{false};
    auto second = std::async(
        std::launch::async, [&] { return platform::ConnectStream(PipeTarget(name), 60s, cancel); });
    EXPECT_EQ(second.wait_for(300ms), std::future_status::timeout);
    cancel = true;
    EXPECT_EQ(second.get().status.Kind(), ErrorKind::kCancelled);
    // Without a cancel, the wait ends with no answer in time.
    EXPECT_EQ(platform::ConnectStream(PipeTarget(name), 300ms, kNoCancel).status.Kind(),
              ErrorKind::kNoServer);
    // A reader waiting on the one connection is woken by its shutdown.
    auto waiting =
        std::async(std::launch::async, [&] { return first.value.stream->WaitReadable(60s); });
    std::this_thread::sleep_for(100ms);
    first.value.stream->Shutdown();
    EXPECT_TRUE(waiting.get()) << "woken, not timed out";
    uint8_t buffer[8];
    EXPECT_EQ(first.value.stream->Read(buffer, sizeof buffer).status.Kind(), ErrorKind::kClosed);
}

}  // namespace
