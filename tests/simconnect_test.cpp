// The simulator client library: frame encoding and checks, the connection's results against a
// scripted simulator and against the stand-in, and hostile input.

#include "sim/SimConnect.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/FlightData.h"
#include "sim/SimProtocol.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using simproto::FrameStatus;

const std::vector<uint32_t> kFlightTypes = {4, 4, 4, 4, 4, 4, 4, 4, 5};
const std::vector<uint32_t> kTitleTypes = {SIMCONNECT_DATATYPE_STRINGV};

simproto::DefinitionLookup Definitions() {
    return [](uint32_t id) -> const std::vector<uint32_t>* {
        if (id == 0) return &kTitleTypes;
        if (id == 1) return &kFlightTypes;
        return nullptr;
    };
}

bool Valid(const std::vector<uint8_t>& frame) {
    return simproto::ValidateMessage(frame.data(), frame.size(), Definitions(), nullptr);
}

std::vector<uint8_t> FlightBytes(const FlightData& data) {
    std::vector<uint8_t> bytes(sizeof(data));
    std::memcpy(bytes.data(), &data, sizeof(data));
    return bytes;
}

std::vector<uint8_t> TitleReply(const std::string& text, uint32_t requestId = 0) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return simproto::EncodeSimObjectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, requestId, 1, 0,
                                         0, 1, 1, 1, data);
}

// ---- Frames ------------------------------------------------------------------------------------

TEST(SimProtocolTest, EveryRequestSurvivesEncodingAndDecoding) {
    const std::vector<simproto::RequestBody> bodies = {
        simproto::OpenRequest{"QUENNICK TARVELX CONNECT", 0},
        simproto::AddToDataDefinitionRequest{1, "GPS WP NEXT ID", "", 5, 0.5f, 0xFFFFFFFFu},
        simproto::RequestDataOnSimObjectRequest{1, 1, 0, 4, 0, 0, 7, 0},
        simproto::RequestDataOnSimObjectTypeRequest{0, 0, 0, 0},
        simproto::MapClientEventRequest{3, "PAUSE_ON"},
        simproto::SubscribeSystemEventRequest{4, "Pause"},
        simproto::TransmitClientEventRequest{0, 3, 0, 1, 0x10},
    };
    uint32_t sendId = 10;
    for (const auto& body : bodies) {
        std::vector<uint8_t> frame;
        ASSERT_TRUE(simproto::EncodeRequest(sendId, body, &frame));
        uint32_t size = 0;
        ASSERT_EQ(
            simproto::PeekFrame(frame.data(), frame.size(), simproto::kRequestHeaderSize, &size),
            FrameStatus::Complete);
        EXPECT_EQ(size, frame.size());
        simproto::Request decoded;
        std::string error;
        ASSERT_TRUE(simproto::DecodeRequest(frame.data(), frame.size(), &decoded, &error)) << error;
        EXPECT_EQ(decoded.sendId, sendId);
        EXPECT_EQ(decoded.body.index(), body.index());
        ++sendId;
    }
    std::vector<uint8_t> frame;
    simproto::EncodeRequest(1, bodies[1], &frame);
    simproto::Request decoded;
    ASSERT_TRUE(simproto::DecodeRequest(frame.data(), frame.size(), &decoded, nullptr));
    const auto& add = std::get<simproto::AddToDataDefinitionRequest>(decoded.body);
    EXPECT_EQ(add.datumName, "GPS WP NEXT ID");
    EXPECT_EQ(add.unitsName, "");
    EXPECT_EQ(add.datumType, 5u);
    EXPECT_EQ(add.epsilon, 0.5f);
    EXPECT_EQ(add.datumId, 0xFFFFFFFFu);

    simproto::EncodeRequest(1, bodies[2], &frame);
    ASSERT_TRUE(simproto::DecodeRequest(frame.data(), frame.size(), &decoded, nullptr));
    const auto& periodic = std::get<simproto::RequestDataOnSimObjectRequest>(decoded.body);
    EXPECT_EQ(periodic.period, 4u);
    EXPECT_EQ(periodic.interval, 7u);
}

TEST(SimProtocolTest, RequestsThatBreakTheProtocolAreRefused) {
    std::vector<uint8_t> frame;
    EXPECT_FALSE(simproto::EncodeRequest(
        1, simproto::MapClientEventRequest{2, std::string(256, 'X')}, &frame));
    ASSERT_TRUE(
        simproto::EncodeRequest(1, simproto::MapClientEventRequest{2, "PAUSE_OFF"}, &frame));
    simproto::Request decoded;
    std::string error;

    auto wrongVersion = frame;
    wrongVersion[4] = 2;
    EXPECT_FALSE(
        simproto::DecodeRequest(wrongVersion.data(), wrongVersion.size(), &decoded, &error));
    EXPECT_NE(error.find("version"), std::string::npos);

    auto noNul = frame;
    std::memset(noNul.data() + 20, 'A', 256);
    EXPECT_FALSE(simproto::DecodeRequest(noNul.data(), noNul.size(), &decoded, &error));

    auto unknownKind = frame;
    unknownKind[8] = 99;
    EXPECT_FALSE(simproto::DecodeRequest(unknownKind.data(), unknownKind.size(), &decoded, &error));

    auto shortFrame = frame;
    shortFrame.resize(frame.size() - 4);
    const uint32_t shortSize = static_cast<uint32_t>(shortFrame.size());
    std::memcpy(shortFrame.data(), &shortSize, 4);
    EXPECT_FALSE(simproto::DecodeRequest(shortFrame.data(), shortFrame.size(), &decoded, &error));
}

TEST(SimProtocolTest, FrameSizeWordIsCheckedBeforeWaitingForTheRest) {
    uint32_t size = 0;
    const std::vector<uint8_t> tiny = {8, 0, 0, 0};
    EXPECT_EQ(simproto::PeekFrame(tiny.data(), tiny.size(), 12, &size), FrameStatus::Malformed);
    const uint32_t huge = simproto::kMaxFrameSize + 1;
    std::vector<uint8_t> big(4);
    std::memcpy(big.data(), &huge, 4);
    EXPECT_EQ(simproto::PeekFrame(big.data(), big.size(), 12, &size), FrameStatus::Malformed);
    const auto quit = simproto::EncodeQuit();
    EXPECT_EQ(simproto::PeekFrame(quit.data(), 3, 12, &size), FrameStatus::Incomplete);
    EXPECT_EQ(simproto::PeekFrame(quit.data(), quit.size() - 1, 12, &size),
              FrameStatus::Incomplete);
    EXPECT_EQ(simproto::PeekFrame(quit.data(), quit.size(), 12, &size), FrameStatus::Complete);
}

TEST(SimProtocolTest, MessagesAreCheckedAgainstTheirLayout) {
    EXPECT_TRUE(Valid(simproto::EncodeException(1, 2, 3)));
    EXPECT_TRUE(Valid(simproto::EncodeOpen({"Sim", 1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_TRUE(Valid(simproto::EncodeQuit()));
    EXPECT_TRUE(Valid(simproto::EncodeEvent(0, 4, 1)));
    EXPECT_TRUE(Valid(simproto::EncodeEventFilename(0, 1, 0, "a.cfg", 0)));
    EXPECT_TRUE(Valid(simproto::EncodeRawMessage(7, {1, 2, 3})));
    EXPECT_TRUE(Valid(simproto::EncodeRawMessage(12, {})));
    EXPECT_TRUE(Valid(TitleReply("Airbus")));
    EXPECT_TRUE(Valid(TitleReply("")));

    FlightData full{};
    std::memcpy(full.nextWpId, "ABCDEFGH", 8);  // 8 characters, no NUL: allowed for STRING8
    EXPECT_TRUE(Valid(simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 9, FlightBytes(full))));

    // Wrong size for the kind.
    auto event = simproto::EncodeEvent(0, 4, 1);
    event.push_back(0);
    const uint32_t eventSize = static_cast<uint32_t>(event.size());
    std::memcpy(event.data(), &eventSize, 4);
    EXPECT_FALSE(Valid(event));
    // Size word that disagrees with the frame.
    auto quit = simproto::EncodeQuit();
    quit.push_back(0);
    EXPECT_FALSE(Valid(quit));
    // Wrong version.
    auto version = simproto::EncodeQuit();
    version[4] = 9;
    EXPECT_FALSE(Valid(version));
    // Texts without their NUL.
    auto open = simproto::EncodeOpen({"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    std::memset(open.data() + 12, 'N', 256);
    EXPECT_FALSE(Valid(open));
    auto file = simproto::EncodeEventFilename(0, 1, 0, "a.cfg", 0);
    std::memset(file.data() + 24, 'F', 260);
    EXPECT_FALSE(Valid(file));
    std::vector<uint8_t> unterminated = {'A', 'B'};
    EXPECT_FALSE(Valid(simproto::EncodeSimObjectData(9, 0, 1, 0, 0, 1, 1, 1, unterminated)));
    // Object data: unknown definition, wrong item count, wrong size, missing header.
    EXPECT_FALSE(Valid(simproto::EncodeSimObjectData(8, 1, 1, 7, 0, 1, 1, 9, FlightBytes(full))));
    EXPECT_FALSE(Valid(simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 8, FlightBytes(full))));
    auto shortData = FlightBytes(full);
    shortData.pop_back();
    EXPECT_FALSE(Valid(simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 9, shortData)));
    auto longData = FlightBytes(full);
    longData.push_back(0);
    EXPECT_FALSE(Valid(simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 9, longData)));
    EXPECT_FALSE(Valid(simproto::EncodeRawMessage(8, {1, 0, 0, 0})));
}

TEST(SimProtocolTest, RandomFramesNeverPassUncheckedOrReadOutsideThemselves) {
    // Under the address sanitizer any read beyond a frame fails this test.
    std::mt19937 random(1234);
    const std::vector<std::vector<uint8_t>> seeds = {
        simproto::EncodeException(1, 2, 3),
        simproto::EncodeOpen({"Sim", 1, 2, 3, 4, 5, 6, 7, 8}),
        simproto::EncodeEvent(0, 4, 1),
        simproto::EncodeEventFilename(0, 1, 0, "a.cfg", 0),
        TitleReply("A320"),
        simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 9, FlightBytes(FlightData{}))};
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> frame = seeds[random() % seeds.size()];
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) frame[random() % frame.size()] ^= 1u << (random() % 8);
        if (random() % 3 == 0) frame.resize(random() % (frame.size() + 1));
        // The frame lives in a buffer of exactly its size.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[frame.size() + 1]);
        std::memcpy(exact.get(), frame.data(), frame.size());
        if (simproto::ValidateMessage(exact.get(), frame.size(), Definitions(), nullptr)) {
            EXPECT_GE(frame.size(), simproto::kMessageHeaderSize);
            EXPECT_EQ(simproto::ReadU32(exact.get()), frame.size());
        }
        simproto::Request ignored;
        simproto::DecodeRequest(exact.get(), frame.size(), &ignored, nullptr);
    }
}

// ---- The connection against a scripted simulator ----------------------------------------------

// A simulator played by the test: listens where the library connects, answers the open, and then
// sends whatever the test wants.
class ScriptedSimulator {
  public:
    explicit ScriptedSimulator(const std::string& path) {
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        ::unlink(path.c_str());
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(m_listen, 8);
    }
    ~ScriptedSimulator() {
        if (m_client >= 0) ::close(m_client);
        ::close(m_listen);
    }

    // Serves the handshake on a thread of its own while the test calls SimConnect_Open.
    HANDLE Open(bool answer = true) {
        std::thread server([this, answer] {
            pollfd waiter{m_listen, POLLIN, 0};
            if (::poll(&waiter, 1, 5000) <= 0) return;
            m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            simproto::Request request;
            if (!ReadRequest(&request)) return;
            m_appName = std::get<simproto::OpenRequest>(request.body).appName;
            if (answer)
                Send(simproto::EncodeOpen({"Scripted Sim", 10, 0, 61259, 0, 10, 0, 61259, 0}));
        });
        HANDLE handle = nullptr;
        m_openResult = SimConnect_Open(&handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr, 0);
        server.join();
        return m_openResult >= 0 ? handle : nullptr;
    }

    bool ReadRequest(simproto::Request* request, int timeoutMs = 5000) {
        std::vector<uint8_t> frame(simproto::kRequestHeaderSize);
        if (!ReadExactly(frame.data(), 4, timeoutMs)) return false;
        uint32_t size = simproto::ReadU32(frame.data());
        if (size < simproto::kRequestHeaderSize || size > simproto::kMaxFrameSize) return false;
        frame.resize(size);
        if (!ReadExactly(frame.data() + 4, size - 4, timeoutMs)) return false;
        return simproto::DecodeRequest(frame.data(), frame.size(), request, nullptr);
    }

    void Send(const std::vector<uint8_t>& bytes) {
        ::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void CloseClient() {
        ::close(m_client);
        m_client = -1;
    }
    int client() const { return m_client; }
    HRESULT openResult() const { return m_openResult; }
    const std::string& appName() const { return m_appName; }

  private:
    bool ReadExactly(uint8_t* into, size_t count, int timeoutMs) {
        size_t got = 0;
        while (got < count) {
            pollfd waiter{m_client, POLLIN, 0};
            if (::poll(&waiter, 1, timeoutMs) <= 0) return false;
            const ssize_t n = ::recv(m_client, into + got, count - got, 0);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    int m_listen = -1;
    int m_client = -1;
    HRESULT m_openResult = 0;
    std::string m_appName;
};

// What the dispatch callback saw.
struct Seen {
    std::vector<std::vector<uint8_t>> messages;
    static void Record(SIMCONNECT_RECV* data, DWORD size, void* context) {
        auto* seen = static_cast<Seen*>(context);
        EXPECT_GE(size, sizeof(SIMCONNECT_RECV));
        EXPECT_EQ(data->dwSize, size);
        const auto* bytes = reinterpret_cast<const uint8_t*>(data);
        seen->messages.emplace_back(bytes, bytes + size);
    }
};

// Calls dispatch until it returns something other than S_OK or `timeout` passes.
HRESULT DispatchUntilFailure(HANDLE handle, Seen* seen,
                             std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    HRESULT result = S_OK;
    txtest::WaitUntil(
        [&] {
            result = SimConnect_CallDispatch(handle, &Seen::Record, seen);
            return result != S_OK;
        },
        timeout);
    return result;
}

class SimConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { m_sandbox.Apply(); }
    void TearDown() override {
        if (m_handle != nullptr) SimConnect_Close(m_handle);
    }
    std::string SocketPath() const { return m_sandbox.runtime() + "/SimConnect"; }

    txtest::Sandbox m_sandbox;
    HANDLE m_handle = nullptr;
};

TEST_F(SimConnectionTest, OpenFailsNegativeWithoutASimulatorOrWithoutItsAnswer) {
    HANDLE handle = reinterpret_cast<HANDLE>(0x1);
    EXPECT_LT(SimConnect_Open(&handle, "X", nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x1)) << "left unchanged on failure";

    ScriptedSimulator silent(SocketPath());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(silent.Open(/*answer=*/false), nullptr);
    EXPECT_LT(silent.openResult(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}

TEST_F(SimConnectionTest, HandshakeThenHealthyDispatchReturnsZeroWithOrWithoutMessages) {
    ScriptedSimulator sim(SocketPath());
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    EXPECT_EQ(sim.appName(), "QUENNICK TARVELX CONNECT");

    Seen seen;
    EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &seen), S_OK);
    ASSERT_EQ(seen.messages.size(), 1u);
    const auto* open = reinterpret_cast<const SIMCONNECT_RECV_OPEN*>(seen.messages[0].data());
    EXPECT_EQ(open->dwID, SIMCONNECT_RECV_ID_OPEN);
    EXPECT_STREQ(open->szApplicationName, "Scripted Sim");
    EXPECT_EQ(open->dwApplicationBuildMajor, 61259u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &seen), S_OK);
    EXPECT_EQ(seen.messages.size(), 1u);

    // Several frames at once, one of them split across two writes: all delivered, in order.
    auto burst = simproto::EncodeEvent(SIMCONNECT_UNUSED, 4, 1);
    const auto second = simproto::EncodeRawMessage(10, {9, 9});
    burst.insert(burst.end(), second.begin(), second.end());
    const auto third = simproto::EncodeEventFilename(SIMCONNECT_UNUSED, 1, 0, "a.cfg", 0);
    burst.insert(burst.end(), third.begin(), third.begin() + 100);
    sim.Send(burst);
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &seen), S_OK);
            return seen.messages.size() >= 3;
        },
        std::chrono::seconds(5)));
    sim.Send(std::vector<uint8_t>(third.begin() + 100, third.end()));
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &seen), S_OK);
            return seen.messages.size() >= 4;
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(seen.messages[1], simproto::EncodeEvent(SIMCONNECT_UNUSED, 4, 1));
    EXPECT_EQ(seen.messages[2], second);
    EXPECT_EQ(seen.messages[3], third);
}

TEST_F(SimConnectionTest, RequestsReachTheSimulatorAsCalled) {
    ScriptedSimulator sim(SocketPath());
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    EXPECT_EQ(SimConnect_AddToDataDefinition(m_handle, 1, "AIRSPEED INDICATED", "Knots",
                                             SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED),
              S_OK);
    EXPECT_EQ(SimConnect_RequestDataOnSimObject(m_handle, 1, 1, SIMCONNECT_OBJECT_ID_USER,
                                                SIMCONNECT_PERIOD_SECOND, 0, 0, 3, 0),
              S_OK);
    EXPECT_EQ(SimConnect_TransmitClientEvent(m_handle, 0, 3, 0, SIMCONNECT_GROUP_PRIORITY_HIGHEST,
                                             SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY),
              S_OK);
    // Invalid arguments are refused before anything is sent.
    EXPECT_EQ(SimConnect_AddToDataDefinition(m_handle, 1, "X", nullptr,
                                             static_cast<SIMCONNECT_DATATYPE>(99), 0, 0),
              E_INVALIDARG);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 0, std::string(300, 'S').c_str()),
              E_INVALIDARG);

    simproto::Request request;
    ASSERT_TRUE(sim.ReadRequest(&request));
    const auto& add = std::get<simproto::AddToDataDefinitionRequest>(request.body);
    EXPECT_EQ(add.datumName, "AIRSPEED INDICATED");
    EXPECT_EQ(add.unitsName, "Knots");
    ASSERT_TRUE(sim.ReadRequest(&request));
    const auto& periodic = std::get<simproto::RequestDataOnSimObjectRequest>(request.body);
    EXPECT_EQ(periodic.period, static_cast<uint32_t>(SIMCONNECT_PERIOD_SECOND));
    EXPECT_EQ(periodic.interval, 3u);
    ASSERT_TRUE(sim.ReadRequest(&request));
    const auto& transmit = std::get<simproto::TransmitClientEventRequest>(request.body);
    EXPECT_EQ(transmit.eventId, 3u);
    EXPECT_EQ(transmit.groupId, 1u);
    EXPECT_EQ(transmit.flags, 0x10u);
    EXPECT_FALSE(sim.ReadRequest(&request, 200)) << "the refused calls sent nothing";
}

TEST_F(SimConnectionTest, ObjectDataIsCheckedAgainstTheDeclaredDefinition) {
    ScriptedSimulator sim(SocketPath());
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    SimConnect_AddToDataDefinition(m_handle, 0, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                                   SIMCONNECT_UNUSED);
    Seen seen;
    sim.Send(TitleReply("Airbus A320"));
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &seen), S_OK);
            return seen.messages.size() == 2;
        },
        std::chrono::seconds(5)));
    auto* reply = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(seen.messages[1].data());
    char* text = nullptr;
    DWORD length = 0;
    EXPECT_EQ(SimConnect_RetrieveString(reply, reply->dwSize, &reply->dwData, &text, &length),
              S_OK);
    EXPECT_STREQ(text, "Airbus A320");
    EXPECT_EQ(length, 12u);
    // A pointer outside the message, or a text running to its end, yields nothing.
    EXPECT_LT(SimConnect_RetrieveString(reply, 20, &reply->dwData, &text, &length), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_LT(SimConnect_RetrieveString(reply, reply->dwSize - 1, &reply->dwData, &text, &length),
              0);

    // Data for a definition this connection never declared ends the connection.
    sim.Send(simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 9, FlightBytes(FlightData{})));
    EXPECT_EQ(DispatchUntilFailure(m_handle, &seen), SIMCONNECT_E_MALFORMED_FRAME);
    EXPECT_EQ(seen.messages.size(), 2u);
}

TEST_F(SimConnectionTest, EachWayOfLosingTheSimulatorHasItsOwnStickyResult) {
    struct Case {
        const char* name;
        std::function<void(ScriptedSimulator&, HANDLE)> act;
        HRESULT expected;
    };
    const std::vector<Case> cases = {
        {"orderly close", [](ScriptedSimulator& sim, HANDLE) { sim.CloseClient(); },
         SIMCONNECT_STATUS_PIPE_DISCONNECTED},
        {"close over unread data",
         [](ScriptedSimulator& sim, HANDLE handle) {
             SimConnect_TransmitClientEvent(handle, 0, 3, 0, 1, 0x10);
             pollfd waiter{sim.client(), POLLIN, 0};
             ::poll(&waiter, 1, 5000);
             sim.CloseClient();
         },
         SIMCONNECT_STATUS_CONNECTION_RESET},
        {"frame cut short",
         [](ScriptedSimulator& sim, HANDLE) {
             const auto event = simproto::EncodeEvent(0, 0, 0);
             sim.Send(std::vector<uint8_t>(event.begin(), event.begin() + 10));
             sim.CloseClient();
         },
         SIMCONNECT_STATUS_PIPE_BROKEN},
        {"write refused",
         [](ScriptedSimulator& sim, HANDLE handle) {
             ::shutdown(sim.client(), SHUT_RD);
             EXPECT_LT(SimConnect_TransmitClientEvent(handle, 0, 3, 0, 1, 0x10), 0);
         },
         SIMCONNECT_STATUS_PIPE_BROKEN},
        {"size word too small",
         [](ScriptedSimulator& sim, HANDLE) {
             sim.Send({8, 0, 0, 0, 1, 0, 0, 0});
         },
         SIMCONNECT_E_MALFORMED_FRAME},
        {"size word too large",
         [](ScriptedSimulator& sim, HANDLE) {
             sim.Send({0xFF, 0xFF, 0xFF, 0x7F});
         },
         SIMCONNECT_E_MALFORMED_FRAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSimulator sim(SocketPath());
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        Seen seen;
        // A message sent just before the failure still arrives first.
        sim.Send(simproto::EncodeEvent(SIMCONNECT_UNUSED, 4, 1));
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                SimConnect_CallDispatch(handle, &Seen::Record, &seen);
                return seen.messages.size() == 2;
            },
            std::chrono::seconds(5)));
        c.act(sim, handle);
        EXPECT_EQ(DispatchUntilFailure(handle, &seen), c.expected);
        EXPECT_EQ(SimConnect_CallDispatch(handle, &Seen::Record, &seen), c.expected) << "sticky";
        EXPECT_EQ(seen.messages.size(), 2u);
        EXPECT_LT(SimConnect_TransmitClientEvent(handle, 0, 2, 0, 1, 0x10), 0);
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

TEST_F(SimConnectionTest, SendingWhileAnotherThreadDispatchesKeepsEveryFrameWhole) {
    ScriptedSimulator sim(SocketPath());
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread dispatcher([&] {
        while (!stop) {
            SimConnect_CallDispatch(
                m_handle,
                [](SIMCONNECT_RECV*, DWORD, void* context) {
                    ++*static_cast<std::atomic<int>*>(context);
                },
                &delivered);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    constexpr int kEvents = 200;
    std::thread sender([&] {
        for (int i = 0; i < kEvents; ++i)
            SimConnect_TransmitClientEvent(m_handle, 0, 3, static_cast<DWORD>(i), 1, 0x10);
    });
    for (int i = 0; i < 50; ++i) sim.Send(simproto::EncodeEvent(SIMCONNECT_UNUSED, 4, 0));
    for (int i = 0; i < kEvents; ++i) {
        simproto::Request request;
        ASSERT_TRUE(sim.ReadRequest(&request)) << i;
        EXPECT_EQ(std::get<simproto::TransmitClientEventRequest>(request.body).data,
                  static_cast<uint32_t>(i));
    }
    sender.join();
    EXPECT_TRUE(txtest::WaitUntil([&] { return delivered == 51; }, std::chrono::seconds(5)));
    stop = true;
    dispatcher.join();
}

TEST_F(SimConnectionTest, HostileStreamsEndTheConnectionWithoutHarm) {
    // Random and truncated streams from a simulator that breaks the protocol. Every message that
    // reaches the callback has been checked; under the sanitizers no read leaves its buffer.
    std::mt19937 random(42);
    const std::vector<std::vector<uint8_t>> seeds = {
        simproto::EncodeException(1, 2, 3),
        simproto::EncodeEvent(0, 4, 1),
        simproto::EncodeEventFilename(0, 1, 0, "a.cfg", 0),
        TitleReply("A320"),
        simproto::EncodeSimObjectData(8, 1, 1, 1, 0, 1, 1, 9, FlightBytes(FlightData{})),
        simproto::EncodeRawMessage(5, {1, 2, 3}),
        simproto::EncodeQuit()};
    const std::vector<HRESULT> allowed = {
        S_OK, SIMCONNECT_STATUS_PIPE_DISCONNECTED, SIMCONNECT_STATUS_PIPE_BROKEN,
        SIMCONNECT_STATUS_CONNECTION_RESET, SIMCONNECT_E_MALFORMED_FRAME};
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        ScriptedSimulator sim(SocketPath());
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        SimConnect_AddToDataDefinition(handle, 0, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                                       SIMCONNECT_UNUSED);
        for (const auto& [type, unit] : std::vector<std::pair<SIMCONNECT_DATATYPE, const char*>>{
                 {SIMCONNECT_DATATYPE_FLOAT64, "Knots"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "Mach"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "feet"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "Radians"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "Meters"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "Pounds"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "m/s"},
                 {SIMCONNECT_DATATYPE_FLOAT64, "m/s"},
                 {SIMCONNECT_DATATYPE_STRING8, nullptr}})
            SimConnect_AddToDataDefinition(handle, 1, "V", unit, type, 0, SIMCONNECT_UNUSED);

        std::vector<uint8_t> stream;
        const int frames = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < frames; ++i) {
            std::vector<uint8_t> frame;
            if (random() % 5 == 0) {
                frame.resize(random() % 64);
                for (auto& byte : frame) byte = static_cast<uint8_t>(random());
            } else {
                frame = seeds[random() % seeds.size()];
                if (random() % 2 == 0) frame[random() % frame.size()] ^= 1u << (random() % 8);
            }
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
        if (random() % 2 == 0) stream.resize(random() % (stream.size() + 1));
        sim.Send(stream);
        if (random() % 2 == 0) sim.CloseClient();

        Seen seen;
        HRESULT result = S_OK;
        for (int i = 0; i < 20; ++i) {
            result = SimConnect_CallDispatch(handle, &Seen::Record, &seen);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end())
                << std::hex << result;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (const auto& message : seen.messages)
            EXPECT_TRUE(simproto::ValidateMessage(
                message.data(), message.size(),
                [](uint32_t id) -> const std::vector<uint32_t>* {
                    return id == 0 ? &kTitleTypes : id == 1 ? &kFlightTypes : nullptr;
                },
                nullptr));
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

TEST_F(SimConnectionTest, TheStandinFliesACredibleFlightAndFreezesWhilePaused) {
    txtest::SimStandin standin(m_sandbox);
    // Ten simulated minutes per real second: the flight takes about six seconds.
    ASSERT_TRUE(standin.Start({"--rate", "600"}));
    ASSERT_EQ(SimConnect_Open(&m_handle, "T", nullptr, 0, nullptr, 0), S_OK);
    const std::pair<const char*, const char*> items[] = {
        {"AIRSPEED INDICATED", "Knots"},
        {"AIRSPEED MACH", "Mach"},
        {"Indicated Altitude", "feet"},
        {"HEADING INDICATOR", "Radians"},
        {"GPS WP DISTANCE", "Meters"},
        {"FUEL TOTAL QUANTITY WEIGHT", "Pounds"},
        {"GPS GROUND SPEED", "Meters per second"},
        {"GPS WP VERTICAL SPEED", "Meters per second"}};
    for (const auto& [name, unit] : items)
        SimConnect_AddToDataDefinition(m_handle, 1, name, unit, SIMCONNECT_DATATYPE_FLOAT64, 0,
                                       SIMCONNECT_UNUSED);
    SimConnect_AddToDataDefinition(m_handle, 1, "GPS WP NEXT ID", nullptr,
                                   SIMCONNECT_DATATYPE_STRING8, 0, SIMCONNECT_UNUSED);
    SimConnect_RequestDataOnSimObject(m_handle, 1, 1, SIMCONNECT_OBJECT_ID_USER,
                                      SIMCONNECT_PERIOD_SIM_FRAME, 0, 0, 0, 0);
    ASSERT_TRUE(standin.WaitForOutput("REQUEST_DATA_ON_SIM_OBJECT request=1", 5s));
    ASSERT_EQ(standin.Command("start"), "ok");

    std::vector<FlightData> samples;
    auto collect = [&] {
        Seen seen;
        EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &seen), S_OK);
        for (const auto& message : seen.messages) {
            const auto* data =
                reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(message.data());
            if (data->dwID != SIMCONNECT_RECV_ID_SIMOBJECT_DATA) continue;
            FlightData record;
            std::memcpy(&record, message.data() + kSimObjectDataOffset, sizeof(record));
            samples.push_back(record);
        }
    };
    // Paused mid-climb, the values stand still.
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            collect();
            return !samples.empty() && samples.back().altitude > 10000;
        },
        20s));
    ASSERT_EQ(standin.Command("pause 1"), "ok");
    std::this_thread::sleep_for(300ms);
    collect();
    const size_t frozenFrom = samples.size();
    std::this_thread::sleep_for(500ms);
    collect();
    ASSERT_GT(samples.size(), frozenFrom + 2);
    for (size_t i = frozenFrom; i < samples.size(); ++i)
        EXPECT_EQ(std::memcmp(&samples[i], &samples[frozenFrom - 1], sizeof(FlightData)), 0);
    ASSERT_EQ(standin.Command("pause 0"), "ok");

    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            collect();
            return samples.back().ias == 0 && samples.back().altitude < 1000;
        },
        30s));

    double maxMach = 0, maxAltitude = 0;
    std::vector<std::string> waypoints;
    for (size_t i = 0; i < samples.size(); ++i) {
        const FlightData& s = samples[i];
        maxMach = std::max(maxMach, s.mach);
        maxAltitude = std::max(maxAltitude, s.altitude);
        const std::string id(s.nextWpId, strnlen(s.nextWpId, 8));
        if (waypoints.empty() || waypoints.back() != id) waypoints.push_back(id);
        EXPECT_GE(s.heading, 0);
        EXPECT_LT(s.heading, 2 * 3.14159265358979);
        if (i > 0) {
            EXPECT_LE(s.fuelTotal, samples[i - 1].fuelTotal);
        }
        if (s.altitude > 34000 && s.verticalSpeed == 0) {
            // Cruise: no wind, so ground speed is Mach times the speed of sound up there.
            const double soundKts = 38.967854 * std::sqrt(288.15 - 0.0019812 * s.altitude);
            EXPECT_NEAR(s.groundSpeed / 0.514444, s.mach * soundKts, 1.0);
            EXPECT_NEAR(s.mach, 0.78, 0.005);
        }
    }
    EXPECT_NEAR(maxMach, 0.78, 0.01);
    EXPECT_NEAR(maxAltitude, 35000, 1);
    EXPECT_LT(samples.back().fuelTotal, samples.front().fuelTotal - 2000);
    EXPECT_EQ(waypoints, (std::vector<std::string>{"TOBAK", "NVO", "REMBA", "KOK", "DVR", "DET",
                                                   "BIG", "EGLL"}));
}

// ---- The connection against the stand-in ------------------------------------------------------

class StandinConnectionTest : public SimConnectionTest {
  protected:
    void SetUp() override {
        SimConnectionTest::SetUp();
        ASSERT_TRUE(m_standin.Start());
        ASSERT_EQ(SimConnect_Open(&m_handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr, 0),
                  S_OK);
        ASSERT_EQ(SimConnect_CallDispatch(m_handle, &Seen::Record, &m_seen), S_OK);
    }
    txtest::SimStandin m_standin{m_sandbox};
    Seen m_seen;
};

TEST_F(StandinConnectionTest, EachDropModeGivesItsResult) {
    const std::vector<std::pair<std::string, HRESULT>> modes = {
        {"drop close", SIMCONNECT_STATUS_PIPE_DISCONNECTED},
        {"drop reset", SIMCONNECT_STATUS_CONNECTION_RESET},
        {"drop cut", SIMCONNECT_STATUS_PIPE_BROKEN},
        {"drop malformed size", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed huge", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed version", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed data", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed text", SIMCONNECT_E_MALFORMED_FRAME},
        {"quit", SIMCONNECT_STATUS_PIPE_DISCONNECTED},
    };
    for (const auto& [command, expected] : modes) {
        SCOPED_TRACE(command);
        if (m_handle == nullptr) {
            ASSERT_EQ(SimConnect_Open(&m_handle, "T", nullptr, 0, nullptr, 0), S_OK);
        }
        SimConnect_AddToDataDefinition(m_handle, 1, "AIRSPEED INDICATED", "Knots",
                                       SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
        ASSERT_EQ(m_standin.Command(command).substr(0, 2), "ok");
        // A reset needs a request that the stand-in leaves unread.
        if (command == "drop reset") SimConnect_TransmitClientEvent(m_handle, 0, 3, 0, 1, 0x10);
        Seen seen;
        EXPECT_EQ(DispatchUntilFailure(m_handle, &seen), expected);
        if (command == "quit") {
            ASSERT_FALSE(seen.messages.empty());
            EXPECT_EQ(reinterpret_cast<SIMCONNECT_RECV*>(seen.messages.back().data())->dwID,
                      SIMCONNECT_RECV_ID_QUIT);
            EXPECT_EQ(m_standin.Process().Wait(std::chrono::seconds(5)), 0);
        }
        SimConnect_Close(m_handle);
        m_handle = nullptr;
    }
}

}  // namespace
