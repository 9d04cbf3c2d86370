// The simulator client library: what it accepts from a simulator, the connection's results against
// a simulator the test plays over TCP, the open handshake's failures, and hostile input. The
// request bytes themselves are compared with node-simconnect's by simconnect_interop.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "sim/FlightData.h"
#include "simconnect/Protocol.h"
#include "simconnect/SimConnect.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using simconnect::DecodeStatus;

constexpr uint32_t kV = simconnect::kProtocolSp2;
const std::vector<uint32_t> kFlightTypes = {4, 4, 4, 4, 4, 4, 4, 4, 5};  // FLOAT64 and STRING8
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

// The flight record's reply, its data `delta` bytes longer than the record.
Bytes FlightReply(int delta = 0, uint32_t defineId = 1, uint32_t count = 9) {
    const Bytes data(sizeof(sim::FlightData) + delta, 0);
    return simconnect::EncodeSimObjectData(kV, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1, defineId, 0,
                                           1, 1, count, data);
}

// `frame` cut or grown to `size`, its size word following.
Bytes Resized(Bytes frame, size_t size) {
    frame.resize(size);
    const uint32_t word = static_cast<uint32_t>(size);
    std::memcpy(frame.data(), &word, 4);
    return frame;
}

Bytes Filled(Bytes frame, size_t at, size_t count, uint8_t byte) {
    std::fill_n(frame.begin() + at, count, byte);
    return frame;
}

TEST(SimProtocolTest, LongNamesAreCutToTheirFieldAndBadRequestsAreTold) {
    const auto map = simconnect::EncodeRequest(
        4, 7, simconnect::MapClientEventRequest{2, std::string(300, 'X')});
    ASSERT_EQ(map.size(), 276u) << "the field keeps its width";
    EXPECT_EQ(map[20 + 255], 0) << "the cut text keeps its NUL";
    simconnect::Request decoded;
    const auto decode = [&](const Bytes& frame) {
        return simconnect::DecodeRequest(frame.data(), frame.size(), &(decoded = {}), nullptr);
    };
    ASSERT_EQ(decode(map), DecodeStatus::kOk);
    EXPECT_EQ(std::get<simconnect::MapClientEventRequest>(decoded.body).eventName,
              std::string(255, 'X'));
    EXPECT_EQ(decode(Filled(map, 275, 1, 'A')), DecodeStatus::kMalformed) << "a name without NUL";
}

// The configured largest message is a message like any other: one of exactly that size is taken.
TEST(SimProtocolTest, AFrameOfExactlyTheLargestSizeIsTakenAndOneByteMoreIsNot) {
    using simconnect::FrameStatus;
    const uint32_t header = simconnect::kMessageHeaderSize;
    for (const uint32_t largest : {64u, simconnect::kMaxFrameSize}) {
        const std::tuple<uint32_t, size_t, FrameStatus> cases[] = {
            {header - 1, header, FrameStatus::kMalformed},
            {header, header, FrameStatus::kComplete},
            {largest, largest - 1, FrameStatus::kIncomplete},
            {largest, largest, FrameStatus::kComplete},
            {largest + 1, largest + 1, FrameStatus::kMalformed},
        };
        for (const auto& [size, available, status] : cases) {
            Bytes frame(available, 0);
            for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(size >> (8 * i));
            uint32_t taken = 0;
            EXPECT_EQ(simconnect::PeekFrame(frame.data(), available, header, &taken, largest),
                      status)
                << size << " of " << largest;
        }
    }
}

TEST(SimProtocolTest, MessagesAreCheckedAgainstTheirLayout) {
    const Bytes open = simconnect::EncodeOpen(kV, {"Sim", 1, 2, 3, 4, 5, 6, 7, 8});
    const Bytes event = simconnect::EncodeEvent(kV, 0, 4, 1);
    const Bytes flight = FlightReply();
    const std::vector<std::tuple<const char*, Bytes, bool>> cases = {
        {"open", open, true},
        {"unknown message", simconnect::EncodeRawMessage(kV, 12, {}), true},
        {"STRING8 without NUL", Filled(flight, flight.size() - 8, 8, 'A'), true},
        {"longer than its layout", Resized(event, 25), true},
        {"shorter than its layout", Resized(event, 20), false},
        {"file name missing", Resized(simconnect::EncodeEventFilename(kV, 0, 1, 0, "a.cfg", 0), 24),
         false},
        {"open text without NUL", Filled(open, 12, 256, 'N'), false},
        {"title without NUL", Resized(TitleReply("AB"), 42), false},
        {"undeclared definition", FlightReply(0, 7), false},
        {"wrong item count", FlightReply(0, 1, 8), false},
        {"data short", FlightReply(-1), false},
        {"data long", FlightReply(1), false},
        {"object data without header", simconnect::EncodeRawMessage(kV, 8, {1, 0, 0, 0}), false},
    };
    for (const auto& [name, frame, valid] : cases) EXPECT_EQ(Valid(frame), valid) << name;

    // A variable text may be padded with zeros up to the next item, even one starting with zeros.
    const uint32_t kText = SIMCONNECT_DATATYPE_STRINGV, kInt = SIMCONNECT_DATATYPE_INT32;
    const std::vector<std::tuple<Bytes, std::vector<uint32_t>, bool>> texts = {
        {{'A', 0, 0, 1}, {kText}, false},
        {{'A', 0, 5, 0, 0, 0}, {kText, kInt}, true},
        {{'A', 0, 7, 5, 0, 0, 0}, {kText, kInt}, false},
        {{'A', 0, 'B', 0, 0, 0, 0, 0, 1, 0, 0, 0}, {kText, kText, kInt}, true},
    };
    for (const auto& [data, types, valid] : texts)
        EXPECT_EQ(simconnect::MatchesDefinition(data.data(), data.size(), types), valid)
            << data.size() << " bytes, " << types.size() << " items";
}

// SimConnect_Open under the program's name until it no longer says E_PENDING.
HRESULT OpenSimLink(HANDLE* handle) {
    HRESULT result = E_PENDING;
    const auto open = [&] {
        return (result = SimConnect_Open(handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr,
                                         0)) != E_PENDING;
    };
    txtest::WaitUntil(open, 15s);
    return result;
}

// What the dispatch callback saw: each message's bytes.
struct SeenMessages {
    std::vector<Bytes> messages;
    static void Record(SIMCONNECT_RECV* data, DWORD size, void* context) {
        EXPECT_EQ(data->dwSize, size);
        const auto* bytes = reinterpret_cast<const uint8_t*>(data);
        static_cast<SeenMessages*>(context)->messages.emplace_back(bytes, bytes + size);
    }
};

// Calls dispatch until it returns something other than S_OK, or 5 s; the last result.
HRESULT DispatchUntilFailure(HANDLE handle, SeenMessages* seen) {
    HRESULT result = S_OK;
    const auto failed = [&] {
        return (result = SimConnect_CallDispatch(handle, &SeenMessages::Record, seen)) != S_OK;
    };
    txtest::WaitUntil(failed, 5s);
    return result;
}

Bytes OpenMessage() {
    return simconnect::EncodeOpen(kV, {"Scripted Sim", 10, 0, 61259});
}

// A simulator played by the test: a TCP listener on loopback that the sandbox's SimConnect.cfg
// names. It reads the open request, answers with the bytes the test gives (none: it never
// answers), then sends whatever the test wants.
struct FakeSimulator {
    explicit FakeSimulator(const txtest::Sandbox& sandbox, const std::string& cfg = "") {
        m_listen = txtest::ListenLoopback("127.0.0.1", 8, m_port);
        txtest::WriteFile(
            sandbox.settings() + "SimConnect.cfg",
            "[SimConnect]\nProtocol=IPv4\nPort=" + std::to_string(m_port) + "\n" + cfg);
    }
    ~FakeSimulator() {
        CloseClient();
        txtest::CloseTestSocket(m_listen);
    }
    // The handle of a link opened while the simulator answers so, or null. The connection ends
    // after an answer when `close`.
    HANDLE Open(const Bytes& answer = OpenMessage(), bool close = false) {
        std::thread server([this, answer, close] {
            const txtest::SocketHandle client = txtest::AcceptWithin(m_listen, 10s);
            CloseClient();
            m_client = client;
            if (!ReadRequest(&m_open)) return;
            Send(answer);
            if (close && !answer.empty()) CloseClient();
        });
        HANDLE handle = nullptr;
        const HRESULT result = OpenSimLink(&handle);
        server.join();
        return result == S_OK ? handle : nullptr;
    }
    bool ReadRequest(simconnect::Request* request) {
        Bytes frame(4);
        if (!Receive(frame.data(), 4)) return false;
        frame.resize(std::clamp(simconnect::ReadU32(frame.data()), 16u, simconnect::kMaxFrameSize));
        *request = {};
        return Receive(frame.data() + 4, frame.size() - 4) &&
               simconnect::DecodeRequest(frame.data(), frame.size(), request, nullptr) ==
                   DecodeStatus::kOk;
    }
    bool Receive(uint8_t* into, size_t count) {
        long n = 1;
        for (size_t got = 0; got < count && n > 0; got += static_cast<size_t>(n))
            n = txtest::WaitReadable(m_client, 5s)
                    ? txtest::ReceiveSome(m_client, reinterpret_cast<char*>(into) + got,
                                          count - got)
                    : 0;
        return n > 0;
    }
    void Send(const Bytes& bytes) {
        if (!bytes.empty()) txtest::SendAllBytes(m_client, bytes.data(), bytes.size());
    }
    void CloseClient() {
        txtest::CloseTestSocket(m_client);
        m_client = platform::kInvalidSocket;
    }
    std::string Where() const {
        return "SimConnect: the simulator at 127.0.0.1:" + std::to_string(m_port);
    }

    txtest::SocketHandle m_listen = platform::kInvalidSocket;
    txtest::SocketHandle m_client = platform::kInvalidSocket;
    int m_port = 0;
    simconnect::Request m_open;  // as it came, once Open has returned
};

// Dispatches until `count` messages have been seen, each call answering S_OK.
bool DispatchUntil(HANDLE handle, SeenMessages* seen, size_t count) {
    return txtest::WaitUntil(
        [&] {
            EXPECT_EQ(SimConnect_CallDispatch(handle, &SeenMessages::Record, seen), S_OK);
            return seen->messages.size() >= count;
        },
        10s);
}

class SimConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sandbox.Apply();
        m_sandbox.CreateSettingsFolder();
        ASSERT_TRUE(logging::LogFile.Open(m_sandbox.LogPath()));
    }
    void TearDown() override { logging::LogFile.Close(); }
    std::string Log() const { return txtest::ReadLog(m_sandbox.LogPath()); }

    txtest::Sandbox m_sandbox;
};

TEST_F(SimConnectionTest, WrongAnswersToTheOpenAreLoggedOnceAndFail) {
    const Bytes open = OpenMessage();
    const std::vector<std::tuple<const char*, Bytes, std::string>> cases = {
        {"ClientVersion=SP1\n", simconnect::EncodeException(3, 5, 1, 0xFFFFFFFFu),
         "refused protocol 3 (FSX SP1, client version 10.0.61355.0): version mismatch. "
         "ClientVersion in SimConnect.cfg chooses another."},
        {"", simconnect::EncodeEvent(kV, SIMCONNECT_UNUSED, 4, 1),
         "answered the open request wrongly: message 4 before the open message."},
        {"", simconnect::EncodeException(kV, 4, 1, 0),
         "answered the open request wrongly: message 1 before the open message (exception 4)."},
        {"", Resized(open, 300),
         "answered the open request wrongly: message 2 has 300 bytes, expected at least 308."},
        {"", {8, 0, 0, 0}, "answered the open request wrongly: size word 8 out of range."},
        {"", {}, "accepted the connection but did not answer within 5 s."},
        {"", Bytes(open.begin(), open.begin() + 100),
         "answered the open request wrongly: the stream ended inside a message."},
    };
    for (const auto& [cfg, bytes, line] : cases) {
        FakeSimulator sim(m_sandbox, cfg);
        EXPECT_EQ(sim.Open(bytes, /*close=*/true), nullptr) << line;
        EXPECT_EQ(txtest::CountLines(Log(), sim.Where() + " " + line), 1) << Log();
    }
    // The same problem again is not logged again until a link has opened.
    FakeSimulator sim(m_sandbox);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sim.Open({8, 0, 0, 0}), nullptr);
    EXPECT_EQ(SimConnect_Close(sim.Open()), S_OK);
    EXPECT_EQ(sim.Open({8, 0, 0, 0}), nullptr);
    EXPECT_EQ(txtest::CountLines(Log(), sim.Where()), 2);
}

TEST_F(SimConnectionTest, NoSimulatorFailsQuietlyAndConfigurationsThatCannotWorkAreLogged) {
    // The sandbox's own file names a port nobody serves: the usual offline state, not worth a line.
    HANDLE handle = reinterpret_cast<HANDLE>(0x1);
    EXPECT_EQ(OpenSimLink(&handle), E_FAIL);
    EXPECT_EQ(Log(), "");
    // An IPv6 address under IPv4 does not resolve, and asks no name server. The file is read at
    // every attempt, its problems logged once.
    txtest::WriteFile(m_sandbox.settings() + "SimConnect.cfg",
                      "[SimConnect]\nProtocol=IPv4\nAddress=::1\nPort=70000\n");
    for (int i = 0; i < 2; ++i) EXPECT_EQ(OpenSimLink(&handle), E_FAIL);
    EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x1)) << "left unchanged on failure";
    EXPECT_EQ(
        txtest::CountLines(Log(), "SimConnect: the simulator's address ::1 does not resolve ("), 1);
    EXPECT_EQ(txtest::CountLines(Log(), "Port=70000 in [SimConnect] is not a port number"), 1);
    // Here a pipe names what this system lacks; on Windows an unserved pipe is just offline.
    txtest::WriteFile(m_sandbox.settings() + "SimConnect.cfg", "[SimConnect]\nProtocol=Pipe\n");
    EXPECT_EQ(OpenSimLink(&handle), E_FAIL);
    const std::string pipeLine = txtest::UnservedSimulatorPipeLine();
    EXPECT_EQ(Log().find(pipeLine.empty() ? "\\pipe\\" : pipeLine) == std::string::npos,
              pipeLine.empty())
        << Log();
}

TEST_F(SimConnectionTest, AnOpenLinkDeliversWhatComesAndChecksWhatGoes) {
    FakeSimulator sim(m_sandbox, "ClientVersion=sp1\nMaxReceiveSize=100000\n");
    HANDLE handle = sim.Open();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(sim.m_open.protocol, simconnect::kProtocolSp1);
    EXPECT_EQ(std::get<simconnect::OpenRequest>(sim.m_open.body).appName,
              "QUENNICK TARVELX CONNECT");
    EXPECT_TRUE(SimConnect_ServerOnThisMachine(handle));
    SeenMessages seen;
    ASSERT_TRUE(DispatchUntil(handle, &seen, 1));
    ASSERT_TRUE(DispatchUntil(handle, &seen, 1)) << "S_OK without messages";

    // Invalid arguments are refused before anything is sent.
    EXPECT_EQ(SimConnect_AddToDataDefinition(handle, 1, "X", nullptr,
                                             static_cast<SIMCONNECT_DATATYPE>(99), 0, 0),
              E_INVALIDARG);
    // The title (definition 0) and the flight record (definition 1), as the program declares them.
    for (const auto& [id, types] : {std::pair{0, kTitleTypes}, std::pair{1, kFlightTypes}})
        for (const uint32_t type : types)
            SimConnect_AddToDataDefinition(handle, id, "V", nullptr,
                                           static_cast<SIMCONNECT_DATATYPE>(type), 0, 0);
    simconnect::Request request;
    ASSERT_TRUE(sim.ReadRequest(&request));
    EXPECT_EQ(std::get<simconnect::AddToDataDefinitionRequest>(request.body).datumType,
              SIMCONNECT_DATATYPE_STRINGV);
    EXPECT_EQ(request.sendId, 2u) << "the refused call took no send id";

    // Several frames at once, one larger than 64 KiB as the file allows, the last split across two
    // writes: all delivered, in order.
    const Bytes title = TitleReply("Airbus A320");
    const Bytes big = simconnect::EncodeRawMessage(kV, 12, Bytes(70000 - 12, 0x5A));
    const Bytes file = simconnect::EncodeEventFilename(kV, SIMCONNECT_UNUSED, 1, 0, "a.cfg", 0);
    Bytes burst;
    for (const Bytes& part : {simconnect::EncodeQuit(kV), title, big, file})
        burst.insert(burst.end(), part.begin(), part.end());
    sim.Send(Bytes(burst.begin(), burst.end() - file.size() + 100));
    ASSERT_TRUE(DispatchUntil(handle, &seen, 4));
    sim.Send(Bytes(burst.end() - file.size() + 100, burst.end()));
    ASSERT_TRUE(DispatchUntil(handle, &seen, 5));
    EXPECT_EQ(seen.messages,
              (std::vector<Bytes>{OpenMessage(), simconnect::EncodeQuit(kV), title, big, file}));

    // The title comes out whole; a pointer outside the message, or a text running to its end,
    // yields nothing.
    auto* reply = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(seen.messages[2].data());
    char* text = nullptr;
    DWORD length = 0;
    EXPECT_EQ(SimConnect_RetrieveString(reply, reply->dwSize, &reply->dwData, &text, &length),
              S_OK);
    EXPECT_STREQ(text, "Airbus A320");
    EXPECT_EQ(length, 12u);
    EXPECT_LT(SimConnect_RetrieveString(reply, 20, &reply->dwData, &text, &length), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_LT(SimConnect_RetrieveString(reply, reply->dwSize - 1, &reply->dwData, &text, &length),
              0);
    SimConnect_Close(handle);
    EXPECT_EQ(Log(), "");
}

TEST_F(SimConnectionTest, EachWayOfLosingTheSimulatorHasItsOwnStickyResult) {
    const HRESULT reset = txtest::PeerResetIsSeen() ? SIMCONNECT_STATUS_CONNECTION_RESET
                                                    : SIMCONNECT_STATUS_PIPE_DISCONNECTED;
    // What the simulator sends, how many requests it leaves unread, and whether it then closes the
    // connection. Requests that fill the buffers make a write wait its bounded time and fail.
    const std::vector<std::tuple<const char*, Bytes, int, bool, HRESULT>> cases = {
        {"orderly close", {}, 0, true, SIMCONNECT_STATUS_PIPE_DISCONNECTED},
        {"close over unread data", {}, 1, true, reset},
        {"frame cut short", {16, 0, 0, 0, 4, 0}, 0, true, SIMCONNECT_STATUS_PIPE_BROKEN},
        {"simulator stops reading", {}, 1000000, false, SIMCONNECT_STATUS_PIPE_BROKEN},
        {"size word too small", {8, 0, 0, 0}, 0, false, SIMCONNECT_E_MALFORMED_FRAME},
        {"over 64 KiB by default", {0x70, 0x11, 1, 0}, 0, false, SIMCONNECT_E_MALFORMED_FRAME},
        {"undeclared definition", FlightReply(), 0, false, SIMCONNECT_E_MALFORMED_FRAME},
    };
    for (const auto& [name, bytes, requests, close, expected] : cases) {
        SCOPED_TRACE(name);
        const int handles = txtest::OpenHandleCount();
        {
            FakeSimulator sim(m_sandbox);
            HANDLE handle = sim.Open();
            ASSERT_NE(handle, nullptr);
            SeenMessages seen;
            sim.Send(simconnect::EncodeQuit(kV));  // delivered; the failure comes after it
            ASSERT_TRUE(DispatchUntil(handle, &seen, 2));
            for (int sent = 0;
                 sent < requests && SimConnect_TransmitClientEvent(handle, 0, 3, 0, 1, 0) == S_OK;)
                ++sent;
            if (requests > 0) txtest::WaitReadable(sim.m_client, 5s);
            sim.Send(bytes);
            if (close) sim.CloseClient();
            EXPECT_EQ(DispatchUntilFailure(handle, &seen), expected);
            EXPECT_EQ(SimConnect_CallDispatch(handle, &SeenMessages::Record, &seen), expected)
                << "sticky";
            EXPECT_EQ(seen.messages.size(), 2u);
            EXPECT_LT(SimConnect_TransmitClientEvent(handle, 0, 2, 0, 1, 0x10), 0);
            EXPECT_EQ(SimConnect_Close(handle), S_OK);
        }
        EXPECT_EQ(txtest::OpenHandleCount(), handles) << "nothing left open";
    }
}

TEST_F(SimConnectionTest, SendingWhileAnotherThreadDispatchesKeepsEveryFrameWhole) {
    FakeSimulator sim(m_sandbox);
    HANDLE handle = sim.Open();
    ASSERT_NE(handle, nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread dispatcher([&] {
        const auto count = [](SIMCONNECT_RECV*, DWORD, void* n) {
            ++*static_cast<std::atomic<int>*>(n);
        };
        while (!stop) SimConnect_CallDispatch(handle, count, &delivered);
    });
    // 200 small requests fit the socket's buffers unread.
    for (int i = 0; i < 50; ++i) sim.Send(simconnect::EncodeQuit(kV));
    for (uint32_t i = 0; i < 200; ++i) SimConnect_TransmitClientEvent(handle, 0, 3, i, 1, 0x10);
    for (uint32_t i = 0; i < 200; ++i) {
        simconnect::Request request;
        ASSERT_TRUE(sim.ReadRequest(&request)) << i;
        EXPECT_EQ(std::get<simconnect::TransmitClientEventRequest>(request.body).data, i);
    }
    EXPECT_TRUE(txtest::WaitUntil([&] { return delivered == 51; }, 10s));
    stop = true;
    dispatcher.join();
    SimConnect_Close(handle);
}

}  // namespace
