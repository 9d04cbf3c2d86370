// The simulator's byte stream on Windows: TCP to a listener thread on 127.0.0.1, and the
// simulator's named pipe (Protocol=Pipe) to a server end a test thread plays.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/ByteStream.h"
#include "simconnect/ConfigFile.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/support/PipeServer.h"
#include "web/Socket.h"
#include "web/SocketServer.h"

namespace {

using web::Socket;
using web::SocketServer;

using namespace std::chrono_literals;
using platform::ByteStream;
using platform::ErrorKind;
using txtest::PipeServer;

const std::atomic<bool> kNoCancel{false};

// Reads until `count` bytes have come or the stream says it has ended.
std::string ReadSome(ByteStream& stream, size_t count, std::chrono::milliseconds timeout) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        if (!stream.WaitReadable(50ms)) continue;
        uint8_t buffer[256];
        const auto read = stream.Read(buffer, sizeof buffer);
        if (read.IsOk()) {
            got.append(reinterpret_cast<const char*>(buffer), read.value);
        } else if (read.status.Kind() != ErrorKind::kWouldBlock) {
            break;
        }
    }
    return got;
}

bool Write(ByteStream& stream, const std::string& bytes) {
    return stream.WriteAll(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).IsOk();
}

// The name part of a pipe path \\.\pipe\name.
std::string PipeName(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

simconnect::Config PipeConfig(const std::string& path) {
    return simconnect::ParseConfig(
        "[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=" + PipeName(path) + "\n", 0);
}

TEST(SimStreamTcpTest, BytesGoBothWaysAndTheEndIsSeen) {
    const int port = txtest::FreeTcpPort();
    const auto listener = SocketServer::Listen(static_cast<uint32_t>(port), 1, 0).value;
    ASSERT_TRUE(listener);
    const simconnect::Config config = simconnect::ParseConfig(
        "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) +
            "\nDisableNagle=1\n",
        0);
    auto connecting = std::async(
        std::launch::async, [&] { return platform::ConnectStream(config.target, 5s, kNoCancel); });
    std::unique_ptr<Socket> simulator = listener->Accept().value;
    ASSERT_TRUE(simulator);
    platform::Result<platform::ConnectedStream> connected = connecting.get();
    ASSERT_TRUE(connected.IsOk()) << connected.status.Text();
    EXPECT_TRUE(connected.value.onThisMachine);
    ByteStream& stream = *connected.value.stream;

    uint8_t nothing[8];
    EXPECT_EQ(stream.Read(nothing, sizeof nothing).status.Kind(), ErrorKind::kWouldBlock);
    EXPECT_FALSE(stream.WaitReadable(100ms));
    ASSERT_TRUE(Write(stream, "open request\n"));
    EXPECT_EQ(simulator->ReceiveLine().value, "open request\n");
    simulator->SendBytes("open answer");
    EXPECT_EQ(ReadSome(stream, 11, 3s), "open answer");
    simulator->Close();
    ASSERT_TRUE(stream.WaitReadable(3s));
    EXPECT_EQ(stream.Read(nothing, sizeof nothing).status.Kind(), ErrorKind::kClosed);
}

TEST(SimStreamTcpTest, NoListenerIsNoServerWithTheSystemsWords) {
    platform::StreamTarget target{platform::StreamTarget::Kind::IPv4, "127.0.0.1",
                                  std::to_string(txtest::FreeTcpPort()), false};
    const auto start = std::chrono::steady_clock::now();
    const platform::Status result = platform::ConnectStream(target, 3s, kNoCancel).status;
    EXPECT_EQ(result.Kind(), ErrorKind::kNoServer);
    EXPECT_FALSE(result.Text().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2900ms);
}

TEST(SimStreamTcpTest, ShutdownWakesAWaitingReader) {
    const int port = txtest::FreeTcpPort();
    const auto listener = SocketServer::Listen(static_cast<uint32_t>(port), 1, 0).value;
    ASSERT_TRUE(listener);
    platform::StreamTarget target{platform::StreamTarget::Kind::IPv4, "127.0.0.1",
                                  std::to_string(port), false};
    auto connecting = std::async(std::launch::async,
                                 [&] { return platform::ConnectStream(target, 5s, kNoCancel); });
    std::unique_ptr<Socket> simulator = listener->Accept().value;
    std::unique_ptr<ByteStream> stream = connecting.get().value.stream;
    ASSERT_TRUE(stream);
    auto waiting = std::async(std::launch::async, [&] { return stream->WaitReadable(10s); });
    std::this_thread::sleep_for(100ms);
    stream->Shutdown();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(waiting.get());
    uint8_t buffer[8];
    EXPECT_EQ(stream->Read(buffer, sizeof buffer).status.Kind(), ErrorKind::kClosed);
}

TEST(SimStreamPipeTest, ProtocolPipeReachesTheSimulatorsPipeAndBytesGoBothWays) {
    PipeServer simulator(PipeServer::UniqueName("sim"), true);
    ASSERT_TRUE(simulator.Create()) << simulator.LastError();
    const simconnect::Config config = PipeConfig(simulator.name());
    EXPECT_EQ(simconnect::DescribeTarget(config.target), simulator.name());

    platform::Result<platform::ConnectedStream> connected =
        platform::ConnectStream(config.target, 2s, kNoCancel);
    ASSERT_TRUE(connected.IsOk()) << connected.status.Text();
    EXPECT_TRUE(connected.value.onThisMachine);
    ASSERT_TRUE(simulator.WaitForClient(2s));
    ByteStream& stream = *connected.value.stream;

    // A reader waits on one thread while the writer's bytes go out on another.
    auto reading = std::async(std::launch::async, [&] { return ReadSome(stream, 6, 5s); });
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Write(stream, "request"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(simulator.Read(7, 2s), "request");
    ASSERT_TRUE(simulator.Write("answer"));
    EXPECT_EQ(reading.get(), "answer");

    // A large message arrives whole, in order.
    std::string large(200000, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    auto server = std::async(std::launch::async, [&] { return simulator.Write(large); });
    EXPECT_EQ(ReadSome(stream, large.size(), 5s), large);
    EXPECT_TRUE(server.get());

    simulator.Close();
    ASSERT_TRUE(stream.WaitReadable(2s));
    uint8_t buffer[8];
    EXPECT_EQ(stream.Read(buffer, sizeof buffer).status.Kind(), ErrorKind::kClosed);
    EXPECT_FALSE(stream.WriteAll(buffer, 2).IsOk());
}

TEST(SimStreamPipeTest, ShutdownWakesAWaitingReader) {
    PipeServer simulator(PipeServer::UniqueName("sim"), true);
    ASSERT_TRUE(simulator.Create());
    std::unique_ptr<ByteStream> stream =
        platform::ConnectStream(PipeConfig(simulator.name()).target, 2s, kNoCancel).value.stream;
    ASSERT_TRUE(stream);
    auto waiting = std::async(std::launch::async, [&] { return stream->WaitReadable(10s); });
    std::this_thread::sleep_for(100ms);
    stream->Shutdown();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(waiting.get());
    uint8_t buffer[8];
    EXPECT_EQ(stream->Read(buffer, sizeof buffer).status.Kind(), ErrorKind::kClosed);
}

TEST(SimStreamPipeTest, NoPipeIsNoServer) {
    const platform::Status result =
        platform::ConnectStream(PipeConfig(PipeServer::UniqueName("absent")).target, 1s, kNoCancel)
            .status;
    EXPECT_EQ(result.Kind(), ErrorKind::kNoServer);
    EXPECT_FALSE(result.Text().empty());
}

TEST(SimStreamPipeTest, ABusyPipeIsWaitedForUntilCancelled) {
    PipeServer simulator(PipeServer::UniqueName("sim"), true);
    ASSERT_TRUE(simulator.Create());
    const auto target = PipeConfig(simulator.name()).target;
    const auto first = platform::ConnectStream(target, 1s, kNoCancel);
    ASSERT_TRUE(first.IsOk());

    std::atomic<bool> cancel{false};
    auto second = std::async(std::launch::async,
                             [&] { return platform::ConnectStream(target, 10s, cancel); });
    EXPECT_EQ(second.wait_for(300ms), std::future_status::timeout);
    cancel = true;
    ASSERT_EQ(second.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(second.get().status.Kind(), ErrorKind::kCancelled);

    // Without a cancel, the wait ends with no answer in time.
    EXPECT_EQ(platform::ConnectStream(target, 300ms, kNoCancel).status.Kind(),
              ErrorKind::kNoServer);
}

TEST(SimStreamConfigTest, PipeIsTheDefaultAndTheOtherKindsKeepTheirOwnDefaults) {
    EXPECT_EQ(simconnect::DescribeTarget(simconnect::ParseConfig("", 0).target),
              "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect");
    EXPECT_EQ(simconnect::DescribeTarget(
                  simconnect::ParseConfig("[SimConnect]\nProtocol=IPv4\n", 0).target),
              "127.0.0.1:2048");
    EXPECT_EQ(simconnect::DescribeTarget(
                  simconnect::ParseConfig("[SimConnect]\nProtocol=IPv6\n", 0).target),
              "[::1]:2048");
    EXPECT_EQ(simconnect::DescribeTarget(
                  simconnect::ParseConfig("[SimConnect.1]\nProtocol=Pipe\nPort=Other\n", 1).target),
              "\\\\.\\pipe\\Other");
}

}  // namespace
