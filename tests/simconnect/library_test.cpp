// The simulator client library: the checks on what it sends and receives, the connection's results
// against a simulator scripted by the test over TCP, the open handshake's failures, and hostile
// input. The request bytes themselves are compared with node-simconnect's by simconnect_interop.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "sim/FlightData.h"
#include "simconnect/Protocol.h"
#include "simconnect/SimConnect.h"
#include "tests/support/SimLibrary.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kV = simconnect::kProtocolSp2;
const std::vector<uint32_t> kFlightTypes = {4, 4, 4, 4, 4, 4, 4, 4, 5};
const std::vector<uint32_t> kTitleTypes = {SIMCONNECT_DATATYPE_STRINGV};

bool Valid(const Bytes& frame) {
    const auto definitions = [](uint32_t id) -> const std::vector<uint32_t>* {
        return id == 0 ? &kTitleTypes : id == 1 ? &kFlightTypes : nullptr;
    };
    return simconnect::ValidateMessage(frame.data(), frame.size(), definitions, nullptr);
}

Bytes TitleReply(const std::string& text) {
    return simconnect::EncodeSimObjectData(kV, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 0, 1, 0, 0,
                                           1, 1, 1, simconnect::EncodeStringV(text));
}

Bytes FlightReply(Bytes data, uint32_t defineId = 1, uint32_t count = 9) {
    return simconnect::EncodeSimObjectData(kV, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1, defineId, 0,
                                           1, 1, count, data);
}

Bytes FlightBytes(const char* nextWpId = "", size_t extra = 0, size_t cut = 0) {
    sim::FlightData data{};
    std::memcpy(data.nextWpId, nextWpId, std::strlen(nextWpId));
    Bytes bytes(reinterpret_cast<const uint8_t*>(&data),
                reinterpret_cast<const uint8_t*>(&data) + sizeof(data) - cut);
    bytes.resize(bytes.size() + extra);
    return bytes;
}

// `frame` cut or grown to `size`, its size word following; or, with `fill`, `size` bytes from
// `at` overwritten by `fill`.
Bytes Edited(Bytes frame, size_t size, size_t at = 0, uint8_t fill = 0) {
    if (fill != 0) {
        std::memset(frame.data() + at, fill, size);
        return frame;
    }
    frame.resize(size);
    const uint32_t word = static_cast<uint32_t>(size);
    std::memcpy(frame.data(), &word, 4);
    return frame;
}

TEST(SimProtocolTest, LongNamesAreCutToTheirFieldAndBadRequestsAreTold) {
    const auto map = simconnect::EncodeRequest(
        4, 1, simconnect::MapClientEventRequest{2, std::string(300, 'X')});
    ASSERT_EQ(map.size(), 276u) << "the field keeps its width";
    EXPECT_EQ(map[20 + 255], 0) << "the cut text keeps its NUL";
    simconnect::Request decoded;
    ASSERT_EQ(simconnect::DecodeRequest(map.data(), map.size(), &decoded, nullptr),
              simconnect::DecodeStatus::kOk);
    EXPECT_EQ(std::get<simconnect::MapClientEventRequest>(decoded.body).eventName,
              std::string(255, 'X'));
    const Bytes noNul = Edited(map, 256, 20, 'A');
    EXPECT_EQ(simconnect::DecodeRequest(noNul.data(), noNul.size(), &decoded, nullptr),
              simconnect::DecodeStatus::kMalformed);
    // A request of a type not known here still has its header read, so that a server can name its
    // send id in an exception.
    Bytes unknown = map;
    unknown[8] = 0x3D;
    EXPECT_EQ(simconnect::DecodeRequest(unknown.data(), unknown.size(), &decoded, nullptr),
              simconnect::DecodeStatus::kUnknownType);
    EXPECT_EQ(decoded.sendId, 1u);
}

TEST(SimProtocolTest, MessagesAreCheckedAgainstTheirLayout) {
    const Bytes open = simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    const Bytes event = simconnect::EncodeEvent(kV, 0, 4, 1);
    const Bytes file = simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0);
    Bytes quitPlusOne = simconnect::EncodeQuit(kV);
    quitPlusOne.push_back(0);
    const std::vector<std::tuple<const char*, Bytes, bool>> cases = {
        {"exception", simconnect::EncodeException(kV, 1, 2, 3), true},
        {"open", open, true},
        {"reserved fields filled", simconnect::EncodeOpen(kV, {"Sim"}, 0x143, 7), true},
        {"quit", simconnect::EncodeQuit(kV), true},
        {"any version word", simconnect::EncodeEvent(0xFFFFFFFFu, 0, 4, 1), true},
        {"file name", file, true},
        {"unknown message", simconnect::EncodeRawMessage(kV, 12, {}), true},
        {"title", TitleReply("Airbus"), true},
        {"empty title", TitleReply(""), true},
        {"STRING8 without NUL", FlightReply(FlightBytes("ABCDEFGH")), true},
        {"longer than its layout", Edited(event, 25), true},
        {"shorter than its layout", Edited(event, 20), false},
        {"open cut short", Edited(open, 304), false},
        {"file name missing", Edited(file, 24), false},
        {"size word disagrees", quitPlusOne, false},
        {"open text without NUL", Edited(open, 256, 12, 'N'), false},
        {"file name without NUL", Edited(file, 260, 24, 'F'), false},
        {"title without NUL", simconnect::EncodeSimObjectData(kV, 9, 0, 1, 0, 0, 1, 1, 1, {'A'}),
         false},
        {"undeclared definition", FlightReply(FlightBytes(), 7), false},
        {"wrong item count", FlightReply(FlightBytes(), 1, 8), false},
        {"data short", FlightReply(FlightBytes("", 0, 1)), false},
        {"data long", FlightReply(FlightBytes("", 1)), false},
        {"object data without header", simconnect::EncodeRawMessage(kV, 8, {1, 0, 0, 0}), false},
    };
    for (const auto& [name, frame, valid] : cases) EXPECT_EQ(Valid(frame), valid) << name;

    // A variable text may be padded with zeros up to the next item, even one starting with zeros.
    const uint32_t kText = SIMCONNECT_DATATYPE_STRINGV, kInt = SIMCONNECT_DATATYPE_INT32;
    const std::vector<std::tuple<Bytes, std::vector<uint32_t>, bool>> texts = {
        {{'A', 0}, {kText}, true},
        {{'A', 0, 0, 1}, {kText}, false},
        {{'A', 0, 0, 0, 0, 0, 0, 0}, {kText, kInt}, true},
        {{'A', 0, 5, 0, 0, 0}, {kText, kInt}, true},
        {{'A', 0, 0, 0}, {kText, kInt}, false},
        {{'A', 0, 7, 5, 0, 0, 0}, {kText, kInt}, false},
        {{'A', 0, 'B', 0, 0, 0, 0, 0, 1, 0, 0, 0}, {kText, kText, kInt}, true},
        {{'A', 0, 0, 0}, {kText, kText}, false},
    };
    for (const auto& [data, types, valid] : texts)
        EXPECT_EQ(simconnect::MatchesDefinition(data.data(), data.size(), types), valid)
            << data.size() << " bytes, " << types.size() << " items";
}

// A simulator played by the test: a TCP listener on loopback that the sandbox's SimConnect.cfg
// names. It answers the open (or not, or wrongly), then sends whatever the test wants.
class ScriptedSimulator {
  public:
    enum class Answer { Open, Silence, Bytes, BytesThenClose };

    explicit ScriptedSimulator(const txtest::Sandbox& sandbox, const std::string& moreCfg = "") {
        m_listen = txtest::ListenLoopback("127.0.0.1", 8, m_port);
        EXPECT_NE(m_listen, platform::kInvalidSocket);
        txtest::WriteFile(sandbox.settings() + "SimConnect.cfg",
                          "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" +
                              std::to_string(m_port) + "\n" + moreCfg);
    }
    ~ScriptedSimulator() {
        txtest::CloseTestSocket(m_client);
        txtest::CloseTestSocket(m_listen);
    }

    // Serves one handshake on a thread of its own.
    std::thread Serve(Answer answer, const Bytes& bytes = {}) {
        return std::thread([this, answer, bytes] {
            const txtest::SocketHandle client = txtest::AcceptWithin(m_listen, 10s);
            if (client == platform::kInvalidSocket) return;
            CloseClient();
            m_client = client;
            if (!ReadRequest(&m_open)) return;
            if (answer == Answer::Open)
                Send(simconnect::EncodeOpen(m_open.protocol, {"Scripted Sim", 10, 0, 61259}));
            if (answer == Answer::Bytes || answer == Answer::BytesThenClose) Send(bytes);
            if (answer == Answer::BytesThenClose) CloseClient();
        });
    }

    // Serves the handshake while the test opens the link; the handle, or null on failure.
    HANDLE Open(Answer answer = Answer::Open, const Bytes& bytes = {}) {
        std::thread server = Serve(answer, bytes);
        HANDLE handle = nullptr;
        const HRESULT result = txtest::OpenSimLink(&handle);
        server.join();
        return result == S_OK ? handle : nullptr;
    }

    bool ReadRequest(simconnect::Request* request) {
        Bytes frame(4);
        if (!ReadExactly(frame.data(), 4)) return false;
        const uint32_t size = simconnect::ReadU32(frame.data());
        if (size < simconnect::kRequestHeaderSize || size > simconnect::kMaxFrameSize) return false;
        frame.resize(size);
        return ReadExactly(frame.data() + 4, size - 4) &&
               simconnect::DecodeRequest(frame.data(), size, request, nullptr) ==
                   simconnect::DecodeStatus::kOk;
    }

    void Send(const Bytes& bytes) { txtest::SendAllBytes(m_client, bytes.data(), bytes.size()); }
    void CloseClient() {
        txtest::CloseTestSocket(m_client);
        m_client = platform::kInvalidSocket;
    }
    txtest::SocketHandle client() const { return m_client; }
    std::string where() const { return "127.0.0.1:" + std::to_string(m_port); }
    const simconnect::Request& openRequest() const { return m_open; }

  private:
    bool ReadExactly(uint8_t* into, size_t count) {
        for (size_t got = 0; got < count;) {
            const long n = txtest::WaitReadable(m_client, 5s)
                               ? txtest::ReceiveSome(m_client, reinterpret_cast<char*>(into) + got,
                                                     count - got)
                               : 0;
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    txtest::SocketHandle m_listen = platform::kInvalidSocket;
    txtest::SocketHandle m_client = platform::kInvalidSocket;
    int m_port = 0;
    simconnect::Request m_open;
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
    // Dispatches until `count` messages have been seen, each call answering S_OK.
    bool DispatchUntil(HANDLE handle, txtest::SeenMessages* seen, size_t count) {
        return txtest::WaitUntil(
            [&] {
                EXPECT_EQ(SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, seen),
                          S_OK);
                return seen->messages.size() >= count;
            },
            10s);
    }

    txtest::Sandbox m_sandbox;
    HANDLE m_handle = nullptr;
};

TEST_F(SimConnectionTest, NoSimulatorFailsQuietlyAndLeavesTheHandleAlone) {
    { ScriptedSimulator gone(m_sandbox); }  // the cfg names a port nobody listens on any more
    HANDLE handle = reinterpret_cast<HANDLE>(0x1);
    EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL);
    EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x1)) << "left unchanged on failure";
    EXPECT_EQ(Log(), "") << "no simulator is the usual offline state, not worth a line";
}

TEST_F(SimConnectionTest, OpenSpeaksTheConfiguredReleaseAndTakesAnyReservedFields) {
    for (const auto& [cfg, protocol, build] :
         std::vector<std::tuple<const char*, uint32_t, uint32_t>>{
             {"", 4, 61259},
             {"ClientVersion=sp1\n", 3, 61355},
             {"ClientVersion=RTM\n", 2, 60905}}) {
        SCOPED_TRACE(cfg);
        ScriptedSimulator sim(m_sandbox, cfg);
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(sim.openRequest().protocol, protocol);
        const auto& open = std::get<simconnect::OpenRequest>(sim.openRequest().body);
        EXPECT_EQ(open.appName, "QUENNICK TARVELX CONNECT");
        EXPECT_EQ(open.buildMajor, build);
        EXPECT_TRUE(SimConnect_ServerOnThisMachine(handle));
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
    EXPECT_EQ(Log(), "");
}

TEST_F(SimConnectionTest, WrongAnswersToTheOpenAreLoggedOnceAndFail) {
    using Answer = ScriptedSimulator::Answer;
    const Bytes openMessage = simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    const std::vector<std::tuple<const char*, Bytes, Answer, std::string>> cases = {
        {"ClientVersion=SP1\n",
         simconnect::EncodeException(3, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1, 0xFFFFFFFFu),
         Answer::Bytes,
         "refused protocol 3 (FSX SP1, client version 10.0.61355.0): version mismatch. "
         "ClientVersion in SimConnect.cfg chooses another.\n"},
        {"", simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1), Answer::Bytes,
         "answered the open request wrongly: message 4 before the open message.\n"},
        {"", simconnect::EncodeException(kV, 4, 1, 0), Answer::Bytes,
         "answered the open request wrongly: message 1 before the open message (exception 4).\n"},
        {"", Edited(openMessage, 300), Answer::Bytes,
         "answered the open request wrongly: message 2 has 300 bytes, expected at least 308.\n"},
        {"",
         {8, 0, 0, 0},
         Answer::Bytes,
         "answered the open request wrongly: size word 8 out of range.\n"},
        {"", Bytes(openMessage.begin(), openMessage.begin() + 100), Answer::BytesThenClose,
         "answered the open request wrongly: the stream ended inside a message.\n"},
    };
    for (const auto& [cfg, bytes, answer, line] : cases) {
        SCOPED_TRACE(line);
        ScriptedSimulator sim(m_sandbox, cfg);
        EXPECT_EQ(sim.Open(answer, bytes), nullptr);
        EXPECT_NE(Log().find("SimConnect: the simulator at " + sim.where() + " " + line),
                  std::string::npos)
            << Log();
    }

    // The same problem again is not logged again until a link has opened.
    ScriptedSimulator sim(m_sandbox);
    const std::string where = sim.where() + " answered";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sim.Open(Answer::Bytes, {8, 0, 0, 0}), nullptr);
    EXPECT_EQ(txtest::CountLines(Log(), where), 1);
    SimConnect_Close(sim.Open());
    EXPECT_EQ(sim.Open(Answer::Bytes, {8, 0, 0, 0}), nullptr);
    EXPECT_EQ(txtest::CountLines(Log(), where), 2);
}

TEST_F(SimConnectionTest, ASimulatorThatNeverAnswersHoldsNoCallerAndIsLoggedAfterItsTimeOut) {
    ScriptedSimulator sim(m_sandbox);
    std::thread server = sim.Serve(ScriptedSimulator::Answer::Silence);
    const auto started = std::chrono::steady_clock::now();
    HANDLE handle = nullptr;
    HRESULT result = E_PENDING;
    int pending = 0;  // calls that came back while the attempt was under way
    for (; result == E_PENDING; std::this_thread::sleep_for(50ms)) {
        result = SimConnect_Open(&handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr, 0);
        pending += result == E_PENDING;
    }
    server.join();
    EXPECT_EQ(result, E_FAIL);
    EXPECT_EQ(handle, nullptr);
    EXPECT_GE(pending, 2);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 4s);
    EXPECT_NE(Log().find("SimConnect: the simulator at " + sim.where() +
                         " accepted the connection but did not answer within 5 s.\n"),
              std::string::npos)
        << Log();
}

TEST_F(SimConnectionTest, ConfigurationsThatCannotWorkAreLoggedAndStayOffline) {
    HANDLE handle = nullptr;
    // An IPv6 address under IPv4 does not resolve, and asks no name server.
    for (const char* cfg : {"Protocol=Pipe\n", "Protocol=IPv4\nAddress=::1\nPort=1\n",
                            "Protocol=IPX\nPort=70000\nAddress=999.1.1.1\n", ""}) {
        if (*cfg != 0)  // the last attempt reads the same file again
            txtest::WriteFile(m_sandbox.settings() + "SimConnect.cfg",
                              "[SimConnect]\n" + std::string(cfg));
        EXPECT_EQ(txtest::OpenSimLink(&handle), E_FAIL) << cfg;
    }
    EXPECT_EQ(handle, nullptr);
    const std::string log = Log();
    const std::string pipeLine = txtest::UnservedSimulatorPipeLine();
    EXPECT_EQ(log.find(pipeLine.empty() ? "\\pipe\\" : pipeLine) != std::string::npos,
              !pipeLine.empty())
        << log;
    EXPECT_NE(log.find("SimConnect: the simulator's address ::1 does not resolve ("),
              std::string::npos)
        << log;
    for (const char* line :
         {"SimConnect.cfg: Protocol=IPX in [SimConnect] is not IPv4, IPv6 or Pipe; IPv4 is used.",
          "SimConnect.cfg: Port=70000 in [SimConnect] is not a port number (1 to 65535); 2048 is "
          "used.",
          "address 999.1.1.1 does not resolve"})
        EXPECT_EQ(txtest::CountLines(log, line), 1) << "once, though read at every attempt\n"
                                                    << log;
}

TEST_F(SimConnectionTest, MessagesUpToTheConfiguredMaximumAreReadWhole) {
    const Bytes body(70000 - 12, 0x5A);
    for (const bool configured : {true, false}) {
        ScriptedSimulator sim(m_sandbox, configured ? "MaxReceiveSize=100000\n" : "");
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        sim.Send(simconnect::EncodeRawMessage(kV, 12, body));
        txtest::SeenMessages seen;
        if (configured) {
            ASSERT_TRUE(DispatchUntil(handle, &seen, 2));
            EXPECT_EQ(seen.messages[1].size(), 70000u);
        } else {
            EXPECT_EQ(txtest::DispatchUntilFailure(handle, &seen), SIMCONNECT_E_MALFORMED_FRAME)
                << "64 KiB without a setting";
        }
        SimConnect_Close(handle);
    }
}

TEST_F(SimConnectionTest, HandshakeThenHealthyDispatchReturnsZeroWithOrWithoutMessages) {
    ScriptedSimulator sim(m_sandbox);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    txtest::SeenMessages seen;
    ASSERT_TRUE(DispatchUntil(m_handle, &seen, 1));
    const auto* open = reinterpret_cast<const SIMCONNECT_RECV_OPEN*>(seen.messages[0].data());
    EXPECT_EQ(open->dwID, SIMCONNECT_RECV_ID_OPEN);
    EXPECT_STREQ(open->szApplicationName, "Scripted Sim");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen), S_OK);
    EXPECT_EQ(seen.messages.size(), 1u);

    // Several frames at once, the last split across two writes: all delivered, in order.
    const Bytes first = simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1);
    const Bytes second = simconnect::EncodeRawMessage(kV, 10, {9, 9});
    const Bytes third = simconnect::EncodeEventFilename(kV, SIMCONNECT_UNUSED, 1, 0, "a.cfg", 0);
    Bytes burst = first;
    burst.insert(burst.end(), second.begin(), second.end());
    burst.insert(burst.end(), third.begin(), third.begin() + 100);
    sim.Send(burst);
    ASSERT_TRUE(DispatchUntil(m_handle, &seen, 3));
    sim.Send(Bytes(third.begin() + 100, third.end()));
    ASSERT_TRUE(DispatchUntil(m_handle, &seen, 4));
    EXPECT_EQ(seen.messages, (std::vector<Bytes>{seen.messages[0], first, second, third}));
}

TEST_F(SimConnectionTest, RequestsReachTheSimulatorAsCalled) {
    ScriptedSimulator sim(m_sandbox);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    // Invalid arguments are refused before anything is sent.
    EXPECT_EQ(SimConnect_AddToDataDefinition(m_handle, 1, "X", nullptr,
                                             static_cast<SIMCONNECT_DATATYPE>(99), 0, 0),
              E_INVALIDARG);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 4, "Pause"), S_OK);
    simconnect::Request request;
    ASSERT_TRUE(sim.ReadRequest(&request));
    EXPECT_EQ(std::get<simconnect::SubscribeSystemEventRequest>(request.body).systemEventName,
              "Pause");
    EXPECT_EQ(request.sendId, 2u) << "the refused call took no send id";
}

TEST_F(SimConnectionTest, ObjectDataIsCheckedAgainstTheDeclaredDefinition) {
    ScriptedSimulator sim(m_sandbox);
    m_handle = sim.Open();
    ASSERT_NE(m_handle, nullptr);
    SimConnect_AddToDataDefinition(m_handle, 0, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                                   SIMCONNECT_UNUSED);
    txtest::SeenMessages seen;
    sim.Send(TitleReply("Airbus A320"));
    ASSERT_TRUE(DispatchUntil(m_handle, &seen, 2));
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
    sim.Send(FlightReply(FlightBytes()));
    EXPECT_EQ(txtest::DispatchUntilFailure(m_handle, &seen), SIMCONNECT_E_MALFORMED_FRAME);
    EXPECT_EQ(seen.messages.size(), 2u);
}

TEST_F(SimConnectionTest, EachWayOfLosingTheSimulatorHasItsOwnStickyResult) {
    const Bytes event = simconnect::EncodeEvent(kV, 0, 0, 0);
    const std::vector<
        std::tuple<const char*, std::function<void(ScriptedSimulator&, HANDLE)>, HRESULT>>
        cases = {
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
             [&event](ScriptedSimulator& sim, HANDLE) {
                 sim.Send(Bytes(event.begin(), event.begin() + 10));
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
                 sim.Send({8, 0, 0, 0});
             },
             SIMCONNECT_E_MALFORMED_FRAME},
            {"size word too large",
             [](ScriptedSimulator& sim, HANDLE) {
                 sim.Send({0xFF, 0xFF, 0xFF, 0x7F});
             },
             SIMCONNECT_E_MALFORMED_FRAME},
        };
    for (const auto& [name, act, expected] : cases) {
        SCOPED_TRACE(name);
        const int handles = txtest::OpenHandleCount();
        {
            ScriptedSimulator sim(m_sandbox);
            HANDLE handle = sim.Open();
            ASSERT_NE(handle, nullptr);
            txtest::SeenMessages seen;
            // A message sent just before the failure still arrives first.
            sim.Send(simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1));
            ASSERT_TRUE(DispatchUntil(handle, &seen, 2));
            act(sim, handle);
            EXPECT_EQ(txtest::DispatchUntilFailure(handle, &seen), expected);
            EXPECT_EQ(SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen),
                      expected)
                << "sticky";
            EXPECT_EQ(seen.messages.size(), 2u);
            EXPECT_LT(SimConnect_TransmitClientEvent(handle, 0, 2, 0, 1, 0x10), 0);
            EXPECT_EQ(SimConnect_Close(handle), S_OK);
        }
        EXPECT_EQ(txtest::OpenHandleCount(), handles) << "nothing left open";
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
    EXPECT_TRUE(txtest::WaitUntil([&] { return delivered == 51; }, 10s));
    stop = true;
    dispatcher.join();
}

TEST_F(SimConnectionTest, HostileStreamsEndTheConnectionWithoutHarm) {
    // Random and truncated streams from a simulator that breaks the protocol. Every message that
    // reaches the callback has been checked; under the sanitizers no read leaves its buffer.
    std::mt19937 random(42);
    const std::vector<Bytes> seeds = {simconnect::EncodeException(kV, 1, 2, 3),
                                      simconnect::EncodeEvent(kV, 0, 4, 1),
                                      simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0),
                                      TitleReply("A320"),
                                      FlightReply(FlightBytes()),
                                      simconnect::EncodeRawMessage(kV, 5, {1, 2, 3}),
                                      simconnect::EncodeQuit(kV)};
    const std::vector<HRESULT> allowed = {
        S_OK, SIMCONNECT_STATUS_PIPE_DISCONNECTED, SIMCONNECT_STATUS_PIPE_BROKEN,
        SIMCONNECT_STATUS_CONNECTION_RESET, SIMCONNECT_E_MALFORMED_FRAME};
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ScriptedSimulator sim(m_sandbox);
        HANDLE handle = sim.Open();
        ASSERT_NE(handle, nullptr);
        SimConnect_AddToDataDefinition(handle, 0, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                                       SIMCONNECT_UNUSED);
        for (const uint32_t type : kFlightTypes)
            SimConnect_AddToDataDefinition(handle, 1, "V", type == 4 ? "Knots" : nullptr,
                                           static_cast<SIMCONNECT_DATATYPE>(type), 0,
                                           SIMCONNECT_UNUSED);
        Bytes stream;
        for (int i = 1 + static_cast<int>(random() % 6); i > 0; --i) {
            Bytes frame(random() % 64);
            if (random() % 5 == 0) {
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
        for (int i = 0; i < 20; ++i) {
            const HRESULT result =
                SimConnect_CallDispatch(handle, &txtest::SeenMessages::Record, &seen);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end())
                << std::hex << result;
            std::this_thread::sleep_for(1ms);
        }
        for (const auto& message : seen.messages) EXPECT_TRUE(Valid(message));
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

}  // namespace
