// The simulator client library: message encoding and checks, the connection's results against a
// simulator scripted by the test over TCP, the open handshake's failures, and hostile input.

#include "simconnect/SimConnect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "sim/FlightData.h"
#include "simconnect/Protocol.h"
#include "tests/support/SimLibrary.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using simconnect::FrameStatus;

const std::vector<uint32_t> kFlightTypes = {4, 4, 4, 4, 4, 4, 4, 4, 5};
const std::vector<uint32_t> kTitleTypes = {SIMCONNECT_DATATYPE_STRINGV};

simconnect::DefinitionLookup Definitions() {
    return [](uint32_t id) -> const std::vector<uint32_t>* {
        if (id == 0) return &kTitleTypes;
        if (id == 1) return &kFlightTypes;
        return nullptr;
    };
}

bool Valid(const std::vector<uint8_t>& frame) {
    return simconnect::ValidateMessage(frame.data(), frame.size(), Definitions(), nullptr);
}

std::vector<uint8_t> FlightBytes(const sim::FlightData& data) {
    std::vector<uint8_t> bytes(sizeof(data));
    std::memcpy(bytes.data(), &data, sizeof(data));
    return bytes;
}

constexpr uint32_t kV = simconnect::kProtocolSp2;

std::vector<uint8_t> TitleReply(const std::string& text, uint32_t requestId = 0) {
    return simconnect::EncodeSimObjectData(kV, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, requestId,
                                           1, 0, 0, 1, 1, 1, simconnect::EncodeStringV(text));
}

std::vector<uint8_t> FlightReply(const std::vector<uint8_t>& data, uint32_t defineId = 1,
                                 uint32_t count = 9) {
    return simconnect::EncodeSimObjectData(kV, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1, defineId, 0,
                                           1, 1, count, data);
}

void SetSize(std::vector<uint8_t>* frame) {
    const uint32_t size = static_cast<uint32_t>(frame->size());
    std::memcpy(frame->data(), &size, 4);
}

// ---- Frames ------------------------------------------------------------------------------------

TEST(SimProtocolTest, EveryRequestSurvivesEncodingAndDecoding) {
    const std::vector<simconnect::RequestBody> bodies = {
        simconnect::OpenRequestFor(*simconnect::FindRelease(4), "QUENNICK TARVELX CONNECT"),
        simconnect::AddToDataDefinitionRequest{1, "GPS WP NEXT ID", "", 5, 0.5f, 0xFFFFFFFFu},
        simconnect::RequestDataOnSimObjectRequest{1, 1, 0, 4, 0, 0, 7, 0},
        simconnect::RequestDataOnSimObjectTypeRequest{0, 0, 0, 0},
        simconnect::MapClientEventRequest{3, "PAUSE_ON"},
        simconnect::SubscribeSystemEventRequest{4, "Pause"},
        simconnect::TransmitClientEventRequest{0, 3, 0, 1, 0x10},
        simconnect::AddClientEventToGroupRequest{7, 3, 1},
        simconnect::SetGroupPriorityRequest{7, 1900000000u},
    };
    // Sizes and type words the simulator expects for each request.
    const std::vector<std::pair<uint32_t, uint32_t>> layout = {
        {296, 0xF0000001}, {544, 0xF000000C}, {48, 0xF000000E}, {32, 0xF000000F}, {276, 0xF0000004},
        {276, 0xF0000017}, {36, 0xF0000005},  {28, 0xF0000007}, {24, 0xF0000009}};
    uint32_t sendId = 10;
    for (size_t i = 0; i < bodies.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t> frame = simconnect::EncodeRequest(3, sendId, bodies[i]);
        ASSERT_EQ(frame.size(), layout[i].first);
        EXPECT_EQ(simconnect::ReadU32(frame.data()), frame.size());
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 4), 3u) << "protocol";
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 8), layout[i].second);
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 12), sendId);
        simconnect::Request decoded;
        std::string error;
        ASSERT_EQ(simconnect::DecodeRequest(frame.data(), frame.size(), &decoded, &error),
                  simconnect::DecodeStatus::kOk)
            << error;
        EXPECT_EQ(decoded.sendId, sendId);
        EXPECT_EQ(decoded.protocol, 3u);
        EXPECT_EQ(decoded.body.index(), bodies[i].index());
        EXPECT_EQ(simconnect::EncodeRequest(3, sendId, decoded.body), frame) << "decodes whole";
        ++sendId;
    }
    simconnect::Request decoded;
    const auto add = simconnect::EncodeRequest(4, 1, bodies[1]);
    ASSERT_EQ(simconnect::DecodeRequest(add.data(), add.size(), &decoded, nullptr),
              simconnect::DecodeStatus::kOk);
    const auto& item = std::get<simconnect::AddToDataDefinitionRequest>(decoded.body);
    EXPECT_EQ(item.datumName, "GPS WP NEXT ID");
    EXPECT_EQ(item.unitsName, "");
    EXPECT_EQ(item.epsilon, 0.5f);
    EXPECT_EQ(item.datumId, 0xFFFFFFFFu);
}

TEST(SimProtocolTest, TheOpenRequestCarriesTheReleaseOfItsProtocol) {
    struct Expected {
        uint32_t protocol;
        uint32_t major, minor, buildMajor, buildMinor;
    };
    for (const Expected& e : {Expected{2, 0, 0, 60905, 0}, Expected{3, 10, 0, 61355, 0},
                              Expected{4, 10, 0, 61259, 0}}) {
        SCOPED_TRACE(e.protocol);
        const auto* release = simconnect::FindRelease(e.protocol);
        ASSERT_NE(release, nullptr);
        const auto frame =
            simconnect::EncodeRequest(e.protocol, 1, simconnect::OpenRequestFor(*release, "App"));
        ASSERT_EQ(frame.size(), 296u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.data() + 16)), "App");
        EXPECT_TRUE(std::all_of(frame.begin() + 19, frame.begin() + 272, [](uint8_t b) {
            return b == 0;
        })) << "the name is NUL-padded";
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 272), 0u);
        const std::vector<uint8_t> marker(frame.begin() + 276, frame.begin() + 280);
        EXPECT_EQ(marker, (std::vector<uint8_t>{0, 'X', 'S', 'F'}));
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 280), e.major);
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 284), e.minor);
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 288), e.buildMajor);
        EXPECT_EQ(simconnect::ReadU32(frame.data() + 292), e.buildMinor);
    }
    EXPECT_EQ(simconnect::FindRelease(1), nullptr);
    EXPECT_EQ(simconnect::FindRelease(5), nullptr);
}

TEST(SimProtocolTest, LongNamesAreCutToTheirFieldAndBadRequestsAreTold) {
    const auto map = simconnect::EncodeRequest(
        4, 1, simconnect::MapClientEventRequest{2, std::string(300, 'X')});
    ASSERT_EQ(map.size(), 276u) << "the field keeps its width";
    EXPECT_EQ(map[20 + 254], 'X');
    EXPECT_EQ(map[20 + 255], 0) << "the cut text keeps its NUL";
    simconnect::Request decoded;
    std::string error;
    ASSERT_EQ(simconnect::DecodeRequest(map.data(), map.size(), &decoded, &error),
              simconnect::DecodeStatus::kOk);
    EXPECT_EQ(std::get<simconnect::MapClientEventRequest>(decoded.body).eventName,
              std::string(255, 'X'));

    auto noNul = map;
    std::memset(noNul.data() + 20, 'A', 256);
    EXPECT_EQ(simconnect::DecodeRequest(noNul.data(), noNul.size(), &decoded, &error),
              simconnect::DecodeStatus::kMalformed);

    // A well-framed request of a type not known here: the header is still read, so that a server
    // can name its send id in an exception.
    auto unknown = map;
    unknown[8] = 0x3D;
    EXPECT_EQ(simconnect::DecodeRequest(unknown.data(), unknown.size(), &decoded, &error),
              simconnect::DecodeStatus::kUnknownType);
    EXPECT_EQ(decoded.type, 0x3Du);
    EXPECT_EQ(decoded.sendId, 1u);

    auto unmarked = map;
    unmarked[11] = 0;
    EXPECT_EQ(simconnect::DecodeRequest(unmarked.data(), unmarked.size(), &decoded, &error),
              simconnect::DecodeStatus::kMalformed);

    auto shortFrame = map;
    shortFrame.resize(map.size() - 4);
    SetSize(&shortFrame);
    EXPECT_EQ(simconnect::DecodeRequest(shortFrame.data(), shortFrame.size(), &decoded, &error),
              simconnect::DecodeStatus::kMalformed);
}

TEST(SimProtocolTest, FrameSizeWordIsCheckedBeforeWaitingForTheRest) {
    uint32_t size = 0;
    const std::vector<uint8_t> tiny = {8, 0, 0, 0};
    EXPECT_EQ(simconnect::PeekFrame(tiny.data(), tiny.size(), 12, &size), FrameStatus::kMalformed);
    const uint32_t huge = simconnect::kMaxFrameSize + 1;
    std::vector<uint8_t> big(4);
    std::memcpy(big.data(), &huge, 4);
    EXPECT_EQ(simconnect::PeekFrame(big.data(), big.size(), 12, &size), FrameStatus::kMalformed);
    EXPECT_EQ(simconnect::PeekFrame(big.data(), big.size(), 12, &size, huge),
              FrameStatus::kIncomplete)
        << "a configured larger bound takes it";
    const auto quit = simconnect::EncodeQuit(kV);
    EXPECT_EQ(simconnect::PeekFrame(quit.data(), 3, 12, &size), FrameStatus::kIncomplete);
    EXPECT_EQ(simconnect::PeekFrame(quit.data(), quit.size() - 1, 12, &size),
              FrameStatus::kIncomplete);
    EXPECT_EQ(simconnect::PeekFrame(quit.data(), quit.size(), 12, &size), FrameStatus::kComplete);
}

TEST(SimProtocolTest, MessagesAreCheckedAgainstTheirLayout) {
    EXPECT_TRUE(Valid(simconnect::EncodeException(kV, 1, 2, 3)));
    EXPECT_TRUE(Valid(simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_TRUE(Valid(simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8}, 0x143, 7)))
        << "a server may fill the reserved fields";
    EXPECT_TRUE(Valid(simconnect::EncodeQuit(kV)));
    EXPECT_TRUE(Valid(simconnect::EncodeEvent(kV, 0, 4, 1)));
    EXPECT_TRUE(Valid(simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0)));
    EXPECT_TRUE(Valid(simconnect::EncodeRawMessage(kV, 7, {1, 2, 3})));
    EXPECT_TRUE(Valid(simconnect::EncodeRawMessage(kV, 12, {})));
    EXPECT_TRUE(Valid(TitleReply("Airbus")));
    EXPECT_TRUE(Valid(TitleReply("")));
    // The version word is the server's business: any value passes.
    for (uint32_t version : {0u, 2u, 3u, 5u, 0xFFFFFFFFu})
        EXPECT_TRUE(Valid(simconnect::EncodeEvent(version, 0, 4, 1))) << version;

    sim::FlightData full{};
    std::memcpy(full.nextWpId, "ABCDEFGH", 8);  // 8 characters, no NUL: allowed for STRING8
    EXPECT_TRUE(Valid(FlightReply(FlightBytes(full))));

    // Longer than the layout is taken; shorter is not.
    auto event = simconnect::EncodeEvent(kV, 0, 4, 1);
    event.push_back(0);
    SetSize(&event);
    EXPECT_TRUE(Valid(event));
    event.resize(20);
    SetSize(&event);
    EXPECT_FALSE(Valid(event));
    auto open = simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    open.resize(304);
    SetSize(&open);
    EXPECT_FALSE(Valid(open));
    auto file = simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0);
    file.resize(24);
    SetSize(&file);
    EXPECT_FALSE(Valid(file)) << "a file-name event without its name";
    // Size word that disagrees with the frame.
    auto quit = simconnect::EncodeQuit(kV);
    quit.push_back(0);
    EXPECT_FALSE(Valid(quit));
    // Texts without their NUL.
    open = simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    std::memset(open.data() + 12, 'N', 256);
    EXPECT_FALSE(Valid(open));
    file = simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0);
    std::memset(file.data() + 24, 'F', 260);
    EXPECT_FALSE(Valid(file));
    std::vector<uint8_t> unterminated = {'A', 'B'};
    EXPECT_FALSE(Valid(simconnect::EncodeSimObjectData(kV, 9, 0, 1, 0, 0, 1, 1, 1, unterminated)));
    // Object data: unknown definition, wrong item count, wrong size, missing header.
    EXPECT_FALSE(Valid(FlightReply(FlightBytes(full), 7)));
    EXPECT_FALSE(Valid(FlightReply(FlightBytes(full), 1, 8)));
    auto shortData = FlightBytes(full);
    shortData.pop_back();
    EXPECT_FALSE(Valid(FlightReply(shortData)));
    auto longData = FlightBytes(full);
    longData.push_back(0);
    EXPECT_FALSE(Valid(FlightReply(longData)));
    EXPECT_FALSE(Valid(simconnect::EncodeRawMessage(kV, 8, {1, 0, 0, 0})));
}

TEST(SimProtocolTest, VariableTextsMayBePaddedWithZerosButNothingElse) {
    auto matches = [](const std::vector<uint8_t>& data, const std::vector<uint32_t>& types) {
        return simconnect::MatchesDefinition(data.data(), data.size(), types);
    };
    const uint32_t kV_ = SIMCONNECT_DATATYPE_STRINGV;
    const uint32_t kInt = SIMCONNECT_DATATYPE_INT32;
    EXPECT_EQ(simconnect::EncodeStringV("A320"),
              (std::vector<uint8_t>{'A', '3', '2', '0', 0, 0, 0, 0}));
    EXPECT_EQ(simconnect::EncodeStringV("ABC").size(), 4u);
    EXPECT_TRUE(matches({'A', 0}, {kV_}));
    EXPECT_TRUE(matches({'A', 0, 0, 0, 0, 0, 0, 0}, {kV_}));
    EXPECT_FALSE(matches({'A', 0, 0, 1}, {kV_})) << "padding of zeros only";
    // A fixed item after the text: the padding is whatever lies between the NUL and that item,
    // even when the item itself starts with zero bytes.
    EXPECT_TRUE(matches({'A', 0, 0, 0, 0, 0, 0, 0}, {kV_, kInt}));
    EXPECT_TRUE(matches({'A', 0, 5, 0, 0, 0}, {kV_, kInt}));
    EXPECT_FALSE(matches({'A', 0, 0, 0}, {kV_, kInt})) << "the item does not fit";
    EXPECT_FALSE(matches({'A', 0, 7, 5, 0, 0, 0}, {kV_, kInt}));
    // Two texts: the first one's padding runs to the second's first byte.
    EXPECT_TRUE(matches({'A', 0, 0, 0, 'B', 0}, {kV_, kV_}));
    EXPECT_TRUE(matches({'A', 0, 'B', 0, 0, 0, 0, 0, 1, 0, 0, 0}, {kV_, kV_, kInt}));
    EXPECT_FALSE(matches({'A', 0, 0, 0}, {kV_, kV_}));
}

TEST(SimProtocolTest, RandomFramesNeverPassUncheckedOrReadOutsideThemselves) {
    // Under the address sanitizer any read beyond a frame fails this test.
    std::mt19937 random(1234);
    const std::vector<std::vector<uint8_t>> seeds = {
        simconnect::EncodeException(kV, 1, 2, 3),
        simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8}),
        simconnect::EncodeEvent(kV, 0, 4, 1),
        simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0),
        TitleReply("A320"),
        FlightReply(FlightBytes(sim::FlightData{}))};
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> frame = seeds[random() % seeds.size()];
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) frame[random() % frame.size()] ^= 1u << (random() % 8);
        if (random() % 3 == 0) frame.resize(random() % (frame.size() + 1));
        // The frame lives in a buffer of exactly its size.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[frame.size() + 1]);
        std::memcpy(exact.get(), frame.data(), frame.size());
        if (simconnect::ValidateMessage(exact.get(), frame.size(), Definitions(), nullptr)) {
            EXPECT_GE(frame.size(), simconnect::kMessageHeaderSize);
            EXPECT_EQ(simconnect::ReadU32(exact.get()), frame.size());
        }
        simconnect::Request ignored;
        (void)simconnect::DecodeRequest(exact.get(), frame.size(), &ignored, nullptr);
    }
}

// ---- The connection against a scripted simulator ----------------------------------------------

// Writes the sandbox's SimConnect.cfg with `lines` in its [SimConnect] section.
void WriteCfg(const txtest::Sandbox& sandbox, const std::string& lines) {
    sandbox.CreateSettingsFolder();
    txtest::WriteFile(sandbox.settings() + "SimConnect.cfg", "[SimConnect]\n" + lines);
}

// A simulator played by the test: a TCP listener on loopback that the sandbox's SimConnect.cfg
// names. It answers the open (or not, or wrongly), and then sends whatever the test wants.
class ScriptedSimulator {
  public:
    explicit ScriptedSimulator(const txtest::Sandbox& sandbox, bool ipv6 = false,
                               const std::string& moreCfg = "") {
        const std::string address = ipv6 ? "::1" : "127.0.0.1";
        m_listen = txtest::ListenLoopback(address, 8, m_port);
        EXPECT_NE(m_listen, platform::kInvalidSocket);
        WriteCfg(sandbox, std::string("Protocol=") + (ipv6 ? "IPv6" : "IPv4") + "\nAddress=" +
                              address + "\nPort=" + std::to_string(m_port) + "\n" + moreCfg);
    }
    ~ScriptedSimulator() {
        txtest::CloseTestSocket(m_client);
        txtest::CloseTestSocket(m_listen);
    }

    // How the simulator answers the open request: with its open message, not at all, or with
    // the bytes the test gives.
    enum class Answer { Open, Silence, Bytes, BytesThenClose };

    // Serves one handshake on a thread of its own.
    std::thread Serve(Answer answer, const std::vector<uint8_t>& bytes = {}) {
        return std::thread([this, answer, bytes] {
            const txtest::SocketHandle client = txtest::AcceptWithin(m_listen, 10s);
            if (client == platform::kInvalidSocket) return;
            txtest::CloseTestSocket(m_client);
            m_client = client;
            if (!ReadRequest(&m_open)) return;
            m_openSeen = true;
            if (answer == Answer::Open)
                Send(simconnect::EncodeOpen(
                    m_open.protocol, {"Scripted Sim", 10, 0, 61259, 0, 10, 0, 61259, 0}, 0x143, 0));
            if (answer == Answer::Bytes || answer == Answer::BytesThenClose) Send(bytes);
            if (answer == Answer::BytesThenClose) CloseClient();
        });
    }

    // Serves the handshake while the test opens the link.
    HANDLE Open(Answer answer = Answer::Open, const std::vector<uint8_t>& bytes = {}) {
        std::thread server = Serve(answer, bytes);
        HANDLE handle = nullptr;
        m_openResult = txtest::OpenSimLink(&handle);
        server.join();
        return m_openResult >= 0 ? handle : nullptr;
    }

    bool ReadRequest(simconnect::Request* request, int timeoutMs = 5000) {
        std::vector<uint8_t> frame(simconnect::kRequestHeaderSize);
        if (!ReadExactly(frame.data(), 4, timeoutMs)) return false;
        uint32_t size = simconnect::ReadU32(frame.data());
        if (size < simconnect::kRequestHeaderSize || size > simconnect::kMaxFrameSize) return false;
        frame.resize(size);
        if (!ReadExactly(frame.data() + 4, size - 4, timeoutMs)) return false;
        m_lastRequest = frame;
        return simconnect::DecodeRequest(frame.data(), frame.size(), request, nullptr) ==
               simconnect::DecodeStatus::kOk;
    }

    void Send(const std::vector<uint8_t>& bytes) {
        txtest::SendAllBytes(m_client, bytes.data(), bytes.size());
    }
    void CloseClient() {
        txtest::CloseTestSocket(m_client);
        m_client = platform::kInvalidSocket;
    }
    txtest::SocketHandle client() const { return m_client; }
    int port() const { return m_port; }
    HRESULT openResult() const { return m_openResult; }
    // The open request as it arrived (valid once Open has returned).
    const simconnect::Request& openRequest() const { return m_open; }
    bool openSeen() const { return m_openSeen; }
    const std::vector<uint8_t>& lastRequestBytes() const { return m_lastRequest; }

  private:
    bool ReadExactly(uint8_t* into, size_t count, int timeoutMs) {
        size_t got = 0;
        while (got < count) {
            if (!txtest::WaitReadable(m_client, std::chrono::milliseconds(timeoutMs))) return false;
            const long n =
                txtest::ReceiveSome(m_client, reinterpret_cast<char*>(into) + got, count - got);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    txtest::SocketHandle m_listen = platform::kInvalidSocket;
    txtest::SocketHandle m_client = platform::kInvalidSocket;
    int m_port = 0;
    HRESULT m_openResult = 0;
    simconnect::Request m_open;
    bool m_openSeen = false;
    std::vector<uint8_t> m_lastRequest;
};

class SimConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
    }
    void TearDown() override {
        if (m_handle != nullptr) SimConnect_Close(m_handle);
        logging::LogFile.Close();
    }
    std::string Log() const { return txtest::ReadLog(m_sandbox.LogPath()); }
    bool WaitForLog(const std::string& needle, std::chrono::milliseconds timeout = 10s) {
        return txtest::WaitUntil([&] { return Log().find(needle) != std::string::npos; }, timeout);
    }

    txtest::Sandbox m_sandbox;
    HANDLE m_handle = nullptr;
};

TEST_F(SimConnectionTest, NoSimulatorFailsQuietlyAndLeavesTheHandleAlone) {
    // Nothing listens on the port the cfg names (the listener was closed again).
    { ScriptedSimulator gone(m_sandbox); }
    HANDLE handle = reinterpret_cast<HANDLE>(0x1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << "a refusal is not waited out";
    EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x1)) << "left unchanged on failure";
    EXPECT_EQ(Log(), "") << "no simulator is the usual offline state, not worth a line";
}

TEST_F(SimConnectionTest, OpenSpeaksTheConfiguredReleaseAndTakesAnyReservedFields) {
    struct Case {
        const char* cfg;
        uint32_t protocol;
        uint32_t buildMajor;
    };
    for (const Case& c :
         {Case{"", 4, 61259}, Case{"ClientVersion=SP2\n", 4, 61259},
          Case{"ClientVersion=sp1\n", 3, 61355}, Case{"ClientVersion=RTM\n", 2, 60905}}) {
        SCOPED_TRACE(c.cfg);
        ScriptedSimulator sim(m_sandbox, false, c.cfg);
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(sim.openRequest().protocol, c.protocol);
        EXPECT_EQ(sim.openRequest().sendId, 1u) << "the open request is the first";
        const auto& open = std::get<simconnect::OpenRequest>(sim.openRequest().body);
        EXPECT_EQ(open.appName, "QUENNICK TARVELX CONNECT");
        EXPECT_EQ(open.buildMajor, c.buildMajor);
        EXPECT_TRUE(SimConnect_ServerOnThisMachine(handle));
        // Every later request carries the same protocol and counts on from the open.
        ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 4, "Pause"), S_OK);
        simconnect::Request request;
        ASSERT_TRUE(sim.ReadRequest(&request));
        EXPECT_EQ(request.protocol, c.protocol);
        EXPECT_EQ(request.sendId, 2u);
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
    EXPECT_EQ(Log(), "");
}

TEST_F(SimConnectionTest, TheLinkWorksOverIPv6) {
    ScriptedSimulator sim(m_sandbox, /*ipv6=*/true);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    EXPECT_TRUE(SimConnect_ServerOnThisMachine(m_handle));
    txtest::SeenMessages seen;
    EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen), S_OK);
    ASSERT_EQ(seen.messages.size(), 1u);
    EXPECT_EQ(reinterpret_cast<SIMCONNECT_RECV*>(seen.messages[0].data())->dwID,
              SIMCONNECT_RECV_ID_OPEN);
}

TEST_F(SimConnectionTest, AVersionMismatchFailsAtOnceWithALineNamingTheProtocol) {
    ScriptedSimulator sim(m_sandbox, false, "ClientVersion=SP1\n");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(sim.Open(ScriptedSimulator::Answer::Bytes,
                       simconnect::EncodeException(3, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1,
                                                   0xFFFFFFFFu)),
              nullptr);
    EXPECT_EQ(sim.openResult(), E_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << "not after a time-out";
    const std::string expected =
        "SimConnect: the simulator at 127.0.0.1:" + std::to_string(sim.port()) +
        " refused protocol 3 (FSX SP1, client version 10.0.61355.0): "
        "version mismatch. ClientVersion in SimConnect.cfg chooses "
        "another.\n";
    EXPECT_NE(Log().find(expected), std::string::npos) << Log();
}

TEST_F(SimConnectionTest, WrongAnswersToTheOpenAreLoggedOnceAndFail) {
    auto openMessage = simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    auto shortOpen = openMessage;
    shortOpen.resize(300);
    SetSize(&shortOpen);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        ScriptedSimulator::Answer answer;
        const char* line;
    };
    using Answer = ScriptedSimulator::Answer;
    const std::vector<Case> cases = {
        {"another message first", simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1),
         Answer::Bytes, "answered the open request wrongly: message 4 before the open message.\n"},
        {"another exception", simconnect::EncodeException(kV, 4, 1, 0), Answer::Bytes,
         "answered the open request wrongly: message 1 before the open message (exception 4).\n"},
        {"open message too short", shortOpen, Answer::Bytes,
         "answered the open request wrongly: message 2 has 300 bytes, expected at least 308.\n"},
        {"size word too small",
         {8, 0, 0, 0},
         Answer::Bytes,
         "answered the open request wrongly: size word 8 out of range.\n"},
        {"closed inside the open message",
         std::vector<uint8_t>(openMessage.begin(), openMessage.begin() + 100),
         Answer::BytesThenClose,
         "answered the open request wrongly: the stream ended inside a message.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSimulator sim(m_sandbox);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(sim.Open(c.answer, c.bytes), nullptr);
        EXPECT_EQ(sim.openResult(), E_FAIL);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << "not after a time-out";
        const std::string line =
            "SimConnect: the simulator at 127.0.0.1:" + std::to_string(sim.port()) + " " + c.line;
        EXPECT_NE(Log().find(line), std::string::npos) << Log();
    }

    // The same problem again is not logged again until a link has opened.
    ScriptedSimulator sim(m_sandbox);
    const std::string where = "127.0.0.1:" + std::to_string(sim.port()) + " answered";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sim.Open(Answer::Bytes, {8, 0, 0, 0}), nullptr);
    EXPECT_EQ(txtest::CountLines(Log(), where), 1);
    HANDLE handle = sim.Open();
    ASSERT_NE(handle, nullptr);
    SimConnect_Close(handle);
    EXPECT_EQ(sim.Open(Answer::Bytes, {8, 0, 0, 0}), nullptr);
    EXPECT_EQ(txtest::CountLines(Log(), where), 2);
}

TEST_F(SimConnectionTest, ASimulatorThatNeverAnswersHoldsNoCallerAndIsLoggedAfterItsTimeOut) {
    ScriptedSimulator sim(m_sandbox);
    std::thread server = sim.Serve(ScriptedSimulator::Answer::Silence);
    const auto started = std::chrono::steady_clock::now();
    HANDLE handle = nullptr;
    HRESULT result = E_PENDING;
    // Every call returns at once, and says the attempt is still under way until it times out.
    while (result == E_PENDING && std::chrono::steady_clock::now() - started < 10s) {
        const auto before = std::chrono::steady_clock::now();
        result = SimConnect_Open(&handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 50ms);
        std::this_thread::sleep_for(50ms);
    }
    server.join();
    EXPECT_TRUE(sim.openSeen());
    EXPECT_EQ(result, E_FAIL);
    EXPECT_EQ(handle, nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 4s);
    EXPECT_NE(Log().find("SimConnect: the simulator at 127.0.0.1:" + std::to_string(sim.port()) +
                         " accepted the connection but did not answer within 5 s.\n"),
              std::string::npos)
        << Log();
}

TEST_F(SimConnectionTest, ConfigurationsThatCannotWorkAreLoggedAndStayOffline) {
    WriteCfg(m_sandbox, "Protocol=Pipe\n");
    HANDLE handle = nullptr;
    EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL);
    // An IPv6 address under IPv4 does not resolve, and asks no name server.
    WriteCfg(m_sandbox, "Protocol=IPv4\nAddress=::1\nPort=1\n");
    EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL);
    WriteCfg(m_sandbox, "Protocol=IPX\nPort=70000\nAddress=999.1.1.1\n");
    EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL);
    EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL);
    EXPECT_EQ(handle, nullptr);
    const std::string log = Log();
    const std::string pipeLine = txtest::UnservedSimulatorPipeLine();
    if (pipeLine.empty()) {
        EXPECT_EQ(log.find("\\pipe\\"), std::string::npos) << log;
    } else {
        EXPECT_NE(log.find(pipeLine), std::string::npos) << log;
    }
    EXPECT_NE(log.find("SimConnect: the simulator's address ::1 does not resolve ("),
              std::string::npos)
        << log;
    EXPECT_EQ(txtest::CountLines(log,
                                 "SimConnect.cfg: Protocol=IPX in [SimConnect] is not IPv4, "
                                 "IPv6 or Pipe; IPv4 is used."),
              1)
        << "once, though read at every attempt\n"
        << log;
    EXPECT_EQ(txtest::CountLines(log,
                                 "SimConnect.cfg: Port=70000 in [SimConnect] is not a port "
                                 "number (1 to 65535); 2048 is used."),
              1)
        << log;
    EXPECT_EQ(txtest::CountLines(log, "address 999.1.1.1 does not resolve"), 1) << log;
}

TEST_F(SimConnectionTest, MessagesUpToTheConfiguredMaximumAreReadWhole) {
    const std::vector<uint8_t> body(70000 - 12, 0x5A);
    {
        ScriptedSimulator sim(m_sandbox, false, "MaxReceiveSize=100000\n");
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        sim.Send(simconnect::EncodeRawMessage(kV, 12, body));
        txtest::SeenMessages seen;
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                EXPECT_EQ(SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen),
                          S_OK);
                return seen.messages.size() == 2;
            },
            5s));
        EXPECT_EQ(seen.messages[1].size(), 70000u);
        SimConnect_Close(handle);
    }
    ScriptedSimulator sim(m_sandbox);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    sim.Send(simconnect::EncodeRawMessage(kV, 12, body));
    txtest::SeenMessages seen;
    EXPECT_EQ(txtest::DispatchUntilFailure(m_handle, &seen), SIMCONNECT_E_MALFORMED_FRAME)
        << "64 KiB without a setting";
}

TEST_F(SimConnectionTest, HandshakeThenHealthyDispatchReturnsZeroWithOrWithoutMessages) {
    ScriptedSimulator sim(m_sandbox);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    EXPECT_EQ(std::get<simconnect::OpenRequest>(sim.openRequest().body).appName,
              "QUENNICK TARVELX CONNECT");

    txtest::SeenMessages seen;
    EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen), S_OK);
    ASSERT_EQ(seen.messages.size(), 1u);
    const auto* open = reinterpret_cast<const SIMCONNECT_RECV_OPEN*>(seen.messages[0].data());
    EXPECT_EQ(open->dwID, SIMCONNECT_RECV_ID_OPEN);
    EXPECT_STREQ(open->szApplicationName, "Scripted Sim");
    EXPECT_EQ(open->dwApplicationBuildMajor, 61259u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen), S_OK);
    EXPECT_EQ(seen.messages.size(), 1u);

    // Several frames at once, one of them split across two writes: all delivered, in order.
    auto burst = simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1);
    const auto second = simconnect::EncodeRawMessage(kV, 10, {9, 9});
    burst.insert(burst.end(), second.begin(), second.end());
    const auto third = simconnect::EncodeEventFilename(kV, SIMCONNECT_UNUSED, 1, 0, "a.cfg", 0);
    burst.insert(burst.end(), third.begin(), third.begin() + 100);
    sim.Send(burst);
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen),
                      S_OK);
            return seen.messages.size() >= 3;
        },
        std::chrono::seconds(5)));
    sim.Send(std::vector<uint8_t>(third.begin() + 100, third.end()));
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen),
                      S_OK);
            return seen.messages.size() >= 4;
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(seen.messages[1], simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1));
    EXPECT_EQ(seen.messages[2], second);
    EXPECT_EQ(seen.messages[3], third);
}

TEST_F(SimConnectionTest, RequestsReachTheSimulatorAsCalled) {
    ScriptedSimulator sim(m_sandbox);
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

    simconnect::Request request;
    ASSERT_TRUE(sim.ReadRequest(&request));
    const auto& add = std::get<simconnect::AddToDataDefinitionRequest>(request.body);
    EXPECT_EQ(add.datumName, "AIRSPEED INDICATED");
    EXPECT_EQ(add.unitsName, "Knots");
    ASSERT_TRUE(sim.ReadRequest(&request));
    const auto& periodic = std::get<simconnect::RequestDataOnSimObjectRequest>(request.body);
    EXPECT_EQ(periodic.period, static_cast<uint32_t>(SIMCONNECT_PERIOD_SECOND));
    EXPECT_EQ(periodic.interval, 3u);
    ASSERT_TRUE(sim.ReadRequest(&request));
    const auto& transmit = std::get<simconnect::TransmitClientEventRequest>(request.body);
    EXPECT_EQ(transmit.eventId, 3u);
    EXPECT_EQ(transmit.groupId, 1u);
    EXPECT_EQ(transmit.flags, 0x10u);
    EXPECT_FALSE(sim.ReadRequest(&request, 200)) << "the refused calls sent nothing";
}

TEST_F(SimConnectionTest, ObjectDataIsCheckedAgainstTheDeclaredDefinition) {
    ScriptedSimulator sim(m_sandbox);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    SimConnect_AddToDataDefinition(m_handle, 0, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                                   SIMCONNECT_UNUSED);
    txtest::SeenMessages seen;
    sim.Send(TitleReply("Airbus A320"));
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen),
                      S_OK);
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
    sim.Send(FlightReply(FlightBytes(sim::FlightData{})));
    EXPECT_EQ(txtest::DispatchUntilFailure(m_handle, &seen), SIMCONNECT_E_MALFORMED_FRAME);
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
             txtest::WaitReadable(sim.client(), 5s);
             sim.CloseClient();
         },
         txtest::PeerResetIsSeen() ? SIMCONNECT_STATUS_CONNECTION_RESET
                                   : SIMCONNECT_STATUS_PIPE_DISCONNECTED},
        {"frame cut short",
         [](ScriptedSimulator& sim, HANDLE) {
             const auto event = simconnect::EncodeEvent(kV, 0, 0, 0);
             sim.Send(std::vector<uint8_t>(event.begin(), event.begin() + 10));
             sim.CloseClient();
         },
         SIMCONNECT_STATUS_PIPE_BROKEN},
        {"simulator stops reading",
         [](ScriptedSimulator&, HANDLE handle) {
             // The buffers fill up; then a write waits its bounded time and fails.
             HRESULT sent = S_OK;
             for (int i = 0; i < 1000000 && sent == S_OK; ++i)
                 sent = SimConnect_TransmitClientEvent(handle, 0, 3, 0, 1, 0x10);
             EXPECT_LT(sent, 0);
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
        ScriptedSimulator sim(m_sandbox);
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        txtest::SeenMessages seen;
        // A message sent just before the failure still arrives first.
        sim.Send(simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1));
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen);
                return seen.messages.size() == 2;
            },
            std::chrono::seconds(5)));
        c.act(sim, handle);
        EXPECT_EQ(txtest::DispatchUntilFailure(handle, &seen), c.expected);
        EXPECT_EQ(SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen), c.expected)
            << "sticky";
        EXPECT_EQ(seen.messages.size(), 2u);
        EXPECT_LT(SimConnect_TransmitClientEvent(handle, 0, 2, 0, 1, 0x10), 0);
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

TEST_F(SimConnectionTest, SendingWhileAnotherThreadDispatchesKeepsEveryFrameWhole) {
    ScriptedSimulator sim(m_sandbox);
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
    for (int i = 0; i < 50; ++i) sim.Send(simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 0));
    for (int i = 0; i < kEvents; ++i) {
        simconnect::Request request;
        ASSERT_TRUE(sim.ReadRequest(&request)) << i;
        EXPECT_EQ(std::get<simconnect::TransmitClientEventRequest>(request.body).data,
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
        simconnect::EncodeException(kV, 1, 2, 3),
        simconnect::EncodeEvent(kV, 0, 4, 1),
        simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0),
        TitleReply("A320"),
        FlightReply(FlightBytes(sim::FlightData{})),
        simconnect::EncodeRawMessage(kV, 5, {1, 2, 3}),
        simconnect::EncodeQuit(kV)};
    const std::vector<HRESULT> allowed = {
        S_OK, SIMCONNECT_STATUS_PIPE_DISCONNECTED, SIMCONNECT_STATUS_PIPE_BROKEN,
        SIMCONNECT_STATUS_CONNECTION_RESET, SIMCONNECT_E_MALFORMED_FRAME};
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        ScriptedSimulator sim(m_sandbox);
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

        txtest::SeenMessages seen;
        HRESULT result = S_OK;
        for (int i = 0; i < 20; ++i) {
            result = SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end())
                << std::hex << result;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (const auto& message : seen.messages)
            EXPECT_TRUE(simconnect::ValidateMessage(
                message.data(), message.size(),
                [](uint32_t id) -> const std::vector<uint32_t>* {
                    return id == 0 ? &kTitleTypes : id == 1 ? &kFlightTypes : nullptr;
                },
                nullptr));
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

}  // namespace
