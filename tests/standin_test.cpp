// The simulator stand-in over TCP, in the simulator's own protocol: at the byte level the releases
// it accepts and those it refuses, the version word of each message, requests it does not know,
// its faults, bad input and its listeners; through the client library, a whole flight and the
// result each fault gives.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/FlightData.h"
#include "simconnect/Protocol.h"
#include "simconnect/SimConnect.h"
#include "tests/support/SimLibrary.h"
#include "tests/support/SimStandin.h"
#include "tests/support/SimWireClient.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using simconnect::ReadU32;

constexpr uint32_t kMessageException = 1;
constexpr uint32_t kMessageOpen = 2;
constexpr uint32_t kMessageQuit = 3;
constexpr uint32_t kMessageEvent = 4;
constexpr uint32_t kMessageFilename = 6;
constexpr uint32_t kMessageData = 8;
constexpr uint32_t kMessageDataByType = 9;
constexpr uint32_t kTypeStringV = 11;
constexpr uint32_t kTypeFloat64 = 4;

// The releases the stand-in accepts, with the client version each sends in its open request.
struct Release {
    uint32_t protocol;
    const char* name;
    uint32_t version[4];
};
const Release kReleases[] = {
    {2, "FSX RTM", {0, 0, 60905, 0}},
    {3, "FSX SP1", {10, 0, 61355, 0}},
    {4, "FSX SP2", {10, 0, 61259, 0}},
};

simconnect::OpenRequest OpenWith(const std::string& app, const uint32_t (&version)[4]) {
    return simconnect::OpenRequest{app, version[0], version[1], version[2], version[3]};
}

std::string Text(const std::vector<uint8_t>& message, size_t at, size_t field) {
    const char* start = reinterpret_cast<const char*>(message.data() + at);
    return std::string(start, strnlen(start, std::min(field, message.size() - at)));
}

// The title as object data of type STRINGV: its characters, a NUL, zeros up to a multiple of 4.
std::vector<uint8_t> PaddedText(const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    do bytes.push_back(0);
    while (bytes.size() % 4 != 0);
    return bytes;
}

class StandinWireTest : public ::testing::Test {
  protected:
    void StartStandin(const std::vector<std::string>& args = {}) {
        ASSERT_TRUE(m_standin.Start(args)) << m_standin.Process().Stderr();
    }
    // A client connected on the tests' loopback address that has opened under `protocol`.
    void Open(txtest::SimWireClient& client, uint32_t protocol, uint32_t firstSendId = 1) {
        ASSERT_TRUE(client.Connect(txtest::SimAddress(), m_standin.Port()));
        client.Speak(protocol, firstSendId);
        client.SendOpen(protocol, "wire");
        const auto open = client.ReadId(kMessageOpen);
        ASSERT_TRUE(open.has_value()) << m_standin.Output();
    }
    // Asks for the title by type (definition 1, request 5); the data message.
    std::optional<std::vector<uint8_t>> AskTitle(txtest::SimWireClient& client) {
        client.Send(simconnect::AddToDataDefinitionRequest{1, "TITLE", "", kTypeStringV, 0,
                                                           SIMCONNECT_UNUSED});
        client.Send(simconnect::RequestDataOnSimObjectTypeRequest{5, 1, 0, 0});
        return client.ReadId(kMessageDataByType);
    }

    txtest::Sandbox m_sandbox;
    txtest::SimStandin m_standin{m_sandbox};
};

TEST_F(StandinWireTest, EachReleaseOpensWithItsVersionFieldsAndIsAnsweredInItsOwnProtocol) {
    StartStandin();
    // Send ids need not start at 1: one client counts from 0, as some libraries do.
    const uint32_t firstSendIds[] = {0, 1, 7};
    int number = 0;
    for (const Release& release : kReleases) {
        SCOPED_TRACE(release.name);
        ++number;
        txtest::SimWireClient client;
        ASSERT_TRUE(client.Connect(txtest::SimAddress(), m_standin.Port()));
        const uint32_t first = firstSendIds[number - 1];
        client.Speak(release.protocol, first);
        EXPECT_EQ(client.Send(OpenWith("wire " + std::to_string(number), release.version)), first);

        const auto open = client.Read();
        ASSERT_TRUE(open.has_value()) << m_standin.Output();
        ASSERT_EQ(open->size(), 308u);
        EXPECT_EQ(ReadU32(open->data()), 308u);
        EXPECT_EQ(ReadU32(open->data() + 4), release.protocol);
        EXPECT_EQ(ReadU32(open->data() + 8), kMessageOpen);
        EXPECT_EQ(Text(*open, 12, 256), "TarvelX Simulator Stand-in");
        const uint32_t versions[8] = {10, 0, 61259, 0, 10, 0, 61259, 0};
        for (size_t i = 0; i < 8; ++i) EXPECT_EQ(ReadU32(open->data() + 268 + 4 * i), versions[i]);
        EXPECT_EQ(ReadU32(open->data() + 300), 0x143u) << "reserved1 is not zero";
        EXPECT_EQ(ReadU32(open->data() + 304), 0u);

        // Object data, a reply by type and an event all carry the client's protocol.
        const auto title = AskTitle(client);
        ASSERT_TRUE(title.has_value());
        EXPECT_EQ(ReadU32(title->data() + 4), release.protocol);
        EXPECT_EQ(ReadU32(title->data() + 12), 5u);  // request id
        EXPECT_EQ(ReadU32(title->data() + 20), 1u);  // define id
        EXPECT_EQ(std::vector<uint8_t>(title->begin() + 40, title->end()),
                  PaddedText("Airbus A320 Tarvel"));
        client.Send(simconnect::RequestDataOnSimObjectRequest{6, 1, 0, SIMCONNECT_PERIOD_ONCE});
        const auto once = client.ReadId(kMessageData);
        ASSERT_TRUE(once.has_value());
        EXPECT_EQ(ReadU32(once->data() + 4), release.protocol);
        client.Send(simconnect::SubscribeSystemEventRequest{4, "Pause"});
        ASSERT_TRUE(m_standin.WaitForOutput(
            "client " + std::to_string(number) + ": SUBSCRIBE_TO_SYSTEM_EVENT", 5s));
        ASSERT_EQ(m_standin.Command("pause 1"), "ok");
        const auto pause = client.ReadId(kMessageEvent);
        ASSERT_TRUE(pause.has_value());
        EXPECT_EQ(ReadU32(pause->data() + 4), release.protocol);
        EXPECT_EQ(ReadU32(pause->data() + 12), 0xFFFFFFFFu);  // system events have no group
        EXPECT_EQ(ReadU32(pause->data() + 16), 4u);
        EXPECT_EQ(ReadU32(pause->data() + 20), 1u);
        ASSERT_EQ(m_standin.Command("pause 0"), "ok");

        const std::string version = std::to_string(release.version[0]) + "." +
                                    std::to_string(release.version[1]) + "." +
                                    std::to_string(release.version[2]) + ".0";
        EXPECT_TRUE(m_standin.WaitForOutput("client " + std::to_string(number) +
                                                ": OPEN app=\"wire " + std::to_string(number) +
                                                "\" protocol=" + std::to_string(release.protocol) +
                                                " (" + release.name + ") version=" + version + "\n",
                                            5s))
            << m_standin.Output();
    }
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "EXCEPTION"), 0) << m_standin.Output();
}

TEST_F(StandinWireTest, AnyOtherProtocolOrVersionIsRefusedWithExceptionFiveAndClosed) {
    StartStandin();
    struct Case {
        uint32_t protocol;
        uint32_t version[4];
    };
    const Case cases[] = {
        {4, {0, 0, 60905, 0}},   // the first release's version under the latest protocol
        {2, {10, 0, 61259, 0}},  // and the other way round
        {3, {10, 0, 61259, 0}},  //
        {3, {10, 0, 61242, 0}},  // another build of the first service pack
        {4, {10, 0, 61259, 1}},  //
        {1, {10, 0, 61259, 0}},  // protocols no release of this simulator uses
        {5, {10, 0, 61259, 0}},  //
        {0xFFFFFFFF, {0, 0, 0, 0}},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("protocol " + std::to_string(c.protocol) + " build " +
                     std::to_string(c.version[2]));
        ++number;
        txtest::SimWireClient client;
        ASSERT_TRUE(client.Connect(txtest::SimAddress(), m_standin.Port()));
        client.Speak(c.protocol, 41);
        client.Send(OpenWith("refused", c.version));
        // Requests sent before the answer arrives are dropped with the connection, which still
        // ends in order.
        if (number % 2 == 0) client.Send(simconnect::SubscribeSystemEventRequest{1, "SimStart"});
        const auto answer = client.Read();
        ASSERT_TRUE(answer.has_value()) << m_standin.Output();
        ASSERT_EQ(answer->size(), 24u);
        EXPECT_EQ(ReadU32(answer->data() + 4), c.protocol);
        EXPECT_EQ(ReadU32(answer->data() + 8), kMessageException);
        EXPECT_EQ(ReadU32(answer->data() + 12), 5u);  // version mismatch
        EXPECT_EQ(ReadU32(answer->data() + 16), 41u);
        bool reset = true;
        EXPECT_TRUE(client.WaitClosed(5s, &reset));
        EXPECT_FALSE(reset);
        EXPECT_TRUE(m_standin.WaitForOutput(
            "client " + std::to_string(number) +
                ": OPEN app=\"refused\" protocol=" + std::to_string(c.protocol) + " version=",
            5s));
        EXPECT_TRUE(
            m_standin.WaitForOutput("client " + std::to_string(number) + ": closed (version", 5s));
    }
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), " refused: "), number);
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "SUBSCRIBE_TO_SYSTEM_EVENT"), 0);
    // The stand-in serves on.
    txtest::SimWireClient good;
    Open(good, 4);
}

TEST_F(StandinWireTest, UnknownRequestTypesGetExceptionThreeAndTheConnectionGoesOn) {
    StartStandin();
    txtest::SimWireClient client;
    Open(client, 4, 0);
    // A request for the simulator's state (type 0x35, a name field) and one for response times
    // (type 0x03, a count): well framed, but nothing the stand-in serves.
    std::vector<uint8_t> state =
        simconnect::EncodeRequest(4, 20, simconnect::SubscribeSystemEventRequest{1, "Sim"});
    const uint32_t stateType = 0xF0000035u;
    std::memcpy(state.data() + 8, &stateType, 4);
    std::vector<uint8_t> times;
    for (uint32_t word : {20u, 4u, 0xF0000003u, 21u, 2u}) simconnect::AppendU32(&times, word);
    ASSERT_TRUE(client.SendBytes(state));
    ASSERT_TRUE(client.SendBytes(times));
    for (uint32_t sendId : {20u, 21u}) {
        const auto exception = client.Read();
        ASSERT_TRUE(exception.has_value()) << m_standin.Output();
        ASSERT_EQ(exception->size(), 24u);
        EXPECT_EQ(ReadU32(exception->data() + 4), 4u);
        EXPECT_EQ(ReadU32(exception->data() + 8), kMessageException);
        EXPECT_EQ(ReadU32(exception->data() + 12), 3u);  // unrecognized id
        EXPECT_EQ(ReadU32(exception->data() + 16), sendId);
    }
    client.Speak(4, 22);
    const auto title = AskTitle(client);
    ASSERT_TRUE(title.has_value()) << m_standin.Output();
    EXPECT_EQ(std::vector<uint8_t>(title->begin() + 40, title->end()),
              PaddedText("Airbus A320 Tarvel"));
    EXPECT_TRUE(m_standin.WaitForOutput("client 1: request type 0x35 (276 bytes, send_id=20)", 5s));
    EXPECT_TRUE(m_standin.WaitForOutput("client 1: request type 0x3 (20 bytes, send_id=21)", 5s));
    EXPECT_EQ(txtest::CountLines(m_standin.Output(), "closed"), 0);
}

TEST_F(StandinWireTest, TextsOfVariableLengthArePaddedToFourBytes) {
    for (const std::string title : {"ABC", "ABCD", "A", ""}) {
        SCOPED_TRACE("title \"" + title + "\"");
        txtest::Sandbox sandbox;
        txtest::SimStandin standin(sandbox);
        ASSERT_TRUE(standin.Start({"--title", title}));
        ASSERT_EQ(standin.Command("set altitude 12345.5"), "ok held");
        txtest::SimWireClient client;
        ASSERT_TRUE(client.Connect(txtest::SimAddress(), standin.Port()));
        client.SendOpen(3, "wire");
        ASSERT_TRUE(client.ReadId(kMessageOpen).has_value());
        client.Send(simconnect::AddToDataDefinitionRequest{2, "TITLE", "", kTypeStringV, 0,
                                                           SIMCONNECT_UNUSED});
        client.Send(simconnect::AddToDataDefinitionRequest{2, "PLANE ALTITUDE", "feet",
                                                           kTypeFloat64, 0, SIMCONNECT_UNUSED});
        client.Send(simconnect::RequestDataOnSimObjectRequest{3, 2, 0, SIMCONNECT_PERIOD_ONCE});
        const auto data = client.ReadId(kMessageData);
        ASSERT_TRUE(data.has_value());
        const size_t text = (title.size() / 4 + 1) * 4;
        ASSERT_EQ(data->size(), 40 + text + 8);
        EXPECT_EQ(ReadU32(data->data() + 36), 2u);  // items, not bytes
        EXPECT_EQ(std::vector<uint8_t>(data->begin() + 40, data->begin() + 40 + text),
                  PaddedText(title));
        double altitude = -1;
        std::memcpy(&altitude, data->data() + 40 + text, 8);
        EXPECT_EQ(altitude, 12345.5) << "the item after the text starts after its padding";
    }
}

TEST_F(StandinWireTest, ListensOnIpv4AndIpv6LoopbackOrWhereItIsBound) {
    StartStandin();
    for (const std::string address : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(address);
        txtest::SimWireClient client;
        ASSERT_TRUE(client.Connect(address, m_standin.Port()));
        client.SendOpen(4, "over " + address);
        ASSERT_TRUE(client.ReadId(kMessageOpen).has_value());
        const auto title = AskTitle(client);
        ASSERT_TRUE(title.has_value());
    }
    const std::string log = m_standin.Output();
    EXPECT_NE(log.find("clients at 127.0.0.1:" + std::to_string(m_standin.Port()) +
                       " and [::1]:" + std::to_string(m_standin.Port())),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("client 1: connected from 127.0.0.1:"), std::string::npos) << log;
    EXPECT_NE(log.find("client 2: connected from [::1]:"), std::string::npos) << log;

    // Bound to one address, it is not reachable on the other.
    txtest::Sandbox sandbox;
    txtest::SimStandin only(sandbox);
    ASSERT_TRUE(only.Start({"--bind", "::1"})) << only.Process().Stderr();
    txtest::SimWireClient client;
    EXPECT_FALSE(client.Connect("127.0.0.1", only.Port()));
    ASSERT_TRUE(client.Connect("::1", only.Port()));
    client.SendOpen(2, "v6 only");
    EXPECT_TRUE(client.ReadId(kMessageOpen).has_value());
}

TEST_F(StandinWireTest, EveryMessageCarriesItsOwnClientsProtocol) {
    StartStandin();
    txtest::SimWireClient rtm, sp2;
    Open(rtm, 2);
    Open(sp2, 4);
    for (auto* client : {&rtm, &sp2}) {
        client->Send(simconnect::SubscribeSystemEventRequest{1, "AircraftLoaded"});
        client->Send(simconnect::SubscribeSystemEventRequest{2, "SimStart"});
        client->Send(simconnect::AddToDataDefinitionRequest{1, "TITLE", "", kTypeStringV, 0,
                                                            SIMCONNECT_UNUSED});
        client->Send(simconnect::RequestDataOnSimObjectTypeRequest{5, 1, 0, 0});
        client->Send(simconnect::RequestDataOnSimObjectRequest{6, 1, 0, SIMCONNECT_PERIOD_SECOND});
    }
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            return txtest::CountLines(m_standin.Output(), "REQUEST_DATA_ON_SIM_OBJECT request=6") ==
                   2;
        },
        5s));
    for (const char* command : {"event 9 1", "exception 3 5 2", "kind 42", "filename 7 x.cfg",
                                "title T", "start", "data", "quit"})
        ASSERT_EQ(m_standin.Command(command), "ok") << command;
    for (auto [client, protocol] : {std::pair{&rtm, 2u}, std::pair{&sp2, 4u}}) {
        SCOPED_TRACE("protocol " + std::to_string(protocol));
        std::vector<uint32_t> ids;
        while (auto message = client->Read(2s)) {
            EXPECT_EQ(ReadU32(message->data() + 4), protocol) << "message " << ids.size();
            ids.push_back(ReadU32(message->data() + 8));
        }
        ASSERT_FALSE(ids.empty());
        for (uint32_t id : {kMessageEvent, kMessageException, 42u, kMessageFilename,
                            kMessageDataByType, kMessageData, kMessageQuit})
            EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << "no message " << id;
        EXPECT_EQ(ids.back(), kMessageQuit);
        EXPECT_TRUE(client->WaitClosed(5s));
    }
    EXPECT_EQ(m_standin.Process().Wait(5s), 0);
}

TEST_F(StandinWireTest, FaultsAreFramedAsTheirNamesSay) {
    StartStandin();
    struct Case {
        const char* command;
        std::vector<uint32_t> header;  // the first words received: size, version, id
        size_t size;                   // bytes before the next frame could begin
    };
    // Each client opens under protocol 3, so the version word is checked too.
    const Case cases[] = {
        {"drop malformed size", {8, 3, kMessageQuit}, 12},
        {"drop malformed huge", {65537, 3, kMessageQuit}, 12},
        {"drop malformed short", {20, 3, kMessageEvent}, 20},
        {"drop malformed data", {40 + 69, 3, kMessageData}, 40 + 69},
        {"drop malformed text", {288, 3, kMessageFilename}, 288},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        txtest::SimWireClient client;
        Open(client, 3);
        ASSERT_EQ(m_standin.Command(c.command), "ok");
        const std::vector<uint8_t> bytes = client.ReadBytes(c.size, 5s);
        ASSERT_EQ(bytes.size(), c.size);
        for (size_t i = 0; i < c.header.size(); ++i)
            EXPECT_EQ(ReadU32(bytes.data() + 4 * i), c.header[i]) << "word " << i;
        if (c.header[2] == kMessageData) {
            EXPECT_EQ(ReadU32(bytes.data() + 36), 9u);
        }
        if (c.header[2] == kMessageFilename) {
            EXPECT_EQ(std::memchr(bytes.data() + 24, 0, 260), nullptr) << "the name has no NUL";
        }
        // The stand-in keeps the connection: what to make of the frame is the client's affair.
        EXPECT_FALSE(client.WaitClosed(100ms));
    }

    txtest::SimWireClient cut;
    Open(cut, 3);
    ASSERT_EQ(m_standin.Command("drop cut"), "ok");
    EXPECT_EQ(cut.ReadBytes(64, 5s).size(), 10u);
    bool reset = true;
    EXPECT_TRUE(cut.WaitClosed(5s, &reset));
    EXPECT_FALSE(reset);

    txtest::SimWireClient dropped;
    Open(dropped, 3);
    ASSERT_EQ(m_standin.Command("drop close"), "ok");
    EXPECT_TRUE(dropped.WaitClosed(5s, &reset));
    EXPECT_FALSE(reset);

    txtest::SimWireClient armed;
    Open(armed, 3);
    ASSERT_EQ(m_standin.Command("drop reset").substr(0, 8), "ok armed");
    armed.Send(simconnect::SubscribeSystemEventRequest{1, "Pause"});
    EXPECT_TRUE(armed.WaitClosed(5s, &reset));
    EXPECT_TRUE(reset);

    EXPECT_EQ(m_standin.Command("drop malformed version").substr(0, 6), "error:");
    EXPECT_TRUE(m_standin.Process().Running());
}

TEST_F(StandinWireTest, BadInputIsLoggedAndClosedAndTheStandinServesOn) {
    StartStandin();
    auto withWord = [](std::vector<uint8_t> frame, size_t at, uint32_t word) {
        std::memcpy(frame.data() + at, &word, 4);
        return frame;
    };
    const std::vector<uint8_t> open =
        simconnect::EncodeRequest(4, 1, OpenWith("bad", kReleases[2].version));
    std::vector<uint8_t> nameless = open;
    std::memset(nameless.data() + 16, 'N', 256);
    std::vector<uint8_t> noise(300);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + 11);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"a request before the open",
         simconnect::EncodeRequest(4, 1, simconnect::SubscribeSystemEventRequest{1, "Pause"}),
         "request type 0x17 before open"},
        {"size word below the header", withWord(open, 0, 4),
         "malformed frame: size word 4 outside 16..65536"},
        {"size word above the maximum", withWord(open, 0, 70000),
         "malformed frame: size word 70000 outside 16..65536"},
        {"type word without its mark", withWord(open, 8, 1), "malformed request: "},
        {"open of the wrong size",
         withWord(std::vector<uint8_t>(open.begin(), open.end() - 4), 0,
                  static_cast<uint32_t>(open.size() - 4)),
         "malformed request: request type 1 has 292 bytes"},
        {"application name without NUL", nameless, "malformed request: application name"},
        {"noise", noise, "malformed frame: size word "},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++number;
        txtest::SimWireClient client;
        ASSERT_TRUE(client.Connect(txtest::SimAddress(), m_standin.Port()));
        ASSERT_TRUE(client.SendBytes(c.bytes));
        EXPECT_FALSE(client.Read(1s).has_value());
        EXPECT_TRUE(client.WaitClosed(5s));
        const std::string prefix = "client " + std::to_string(number) + ": ";
        EXPECT_TRUE(m_standin.WaitForOutput(prefix + c.logged, 5s)) << m_standin.Output();
        EXPECT_TRUE(m_standin.WaitForOutput(prefix + "closed (", 5s));
    }
    // A client that changes its protocol after the open.
    txtest::SimWireClient turncoat;
    Open(turncoat, 4);
    turncoat.Speak(3, 2);
    turncoat.Send(simconnect::SubscribeSystemEventRequest{1, "Pause"});
    EXPECT_TRUE(turncoat.WaitClosed(5s));
    EXPECT_TRUE(
        m_standin.WaitForOutput("request type 0x17 under protocol 3 after opening under 4", 5s));

    ASSERT_TRUE(m_standin.Process().Running());
    txtest::SimWireClient good;
    Open(good, 2);
    EXPECT_TRUE(AskTitle(good).has_value());
}

TEST(StandinPortTest, APortIsTakenBackAtOnceAfterAKillButNeverShared) {
    txtest::Sandbox sandbox;
    const int port = txtest::FreeTcpPort();
    auto first = std::make_unique<txtest::SimStandin>(sandbox, port);
    ASSERT_TRUE(first->Start());
    txtest::SimWireClient client;
    ASSERT_TRUE(client.Connect(txtest::SimAddress(), port));
    client.SendOpen(4, "killed");
    ASSERT_TRUE(client.ReadId(kMessageOpen).has_value());

    // A second stand-in elsewhere finds the port taken and says so.
    txtest::Sandbox other;
    txtest::SimStandin second(other, port);
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(second.Process().Wait(5s), 1);
    EXPECT_NE(second.Process().Stderr().find("Address already in use"), std::string::npos)
        << second.Process().Stderr();

    // Killed with a client connected: its side of the connection waits out TIME_WAIT on the
    // port, which a new stand-in still binds.
    first->Process().Signal(SIGKILL);
    ASSERT_TRUE(first->Process().Wait(5s).has_value());
    EXPECT_TRUE(client.WaitClosed(5s));
    client.Close();
    first.reset();
    txtest::SimStandin again(sandbox, port);
    ASSERT_TRUE(again.Start()) << again.Process().Stderr();
    ASSERT_TRUE(client.Connect(txtest::SimAddress(), port));
    client.SendOpen(4, "again");
    EXPECT_TRUE(client.ReadId(kMessageOpen).has_value());
}

// ---- Through the client library -----------------------------------------------------------------

// The library finds the stand-in through the SimConnect.cfg in the sandbox's settings folder.
class StandinLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { m_sandbox.Apply(); }
    void TearDown() override {
        if (m_handle != nullptr) SimConnect_Close(m_handle);
    }
    // Opens m_handle, asking again while the attempt is under way; the last result.
    HRESULT Open() {
        HRESULT result = E_PENDING;
        txtest::WaitUntil(
            [&] {
                result = SimConnect_Open(&m_handle, "T", nullptr, 0, nullptr, 0);
                return result != E_PENDING;
            },
            5s);
        return result;
    }

    txtest::Sandbox m_sandbox;
    txtest::SimStandin m_standin{m_sandbox};
    HANDLE m_handle = nullptr;
};

TEST_F(StandinLibraryTest, TheStandinFliesACredibleFlightAndFreezesWhilePaused) {
    // Ten simulated minutes per real second: the flight takes about six seconds.
    ASSERT_TRUE(m_standin.Start({"--rate", "600"}));
    ASSERT_EQ(Open(), S_OK);
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
    ASSERT_TRUE(m_standin.WaitForOutput("REQUEST_DATA_ON_SIM_OBJECT request=1", 5s));
    ASSERT_EQ(m_standin.Command("start"), "ok");

    std::vector<sim::FlightData> samples;
    auto collect = [&] {
        txtest::SeenMessages seen;
        EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen), S_OK);
        for (const auto& message : seen.messages) {
            const auto* data =
                reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(message.data());
            if (data->dwID != SIMCONNECT_RECV_ID_SIMOBJECT_DATA) continue;
            sim::FlightData record;
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
    ASSERT_EQ(m_standin.Command("pause 1"), "ok");
    std::this_thread::sleep_for(300ms);
    collect();
    const size_t frozenFrom = samples.size();
    std::this_thread::sleep_for(500ms);
    collect();
    ASSERT_GT(samples.size(), frozenFrom + 2);
    for (size_t i = frozenFrom; i < samples.size(); ++i)
        EXPECT_EQ(std::memcmp(&samples[i], &samples[frozenFrom - 1], sizeof(sim::FlightData)), 0);
    ASSERT_EQ(m_standin.Command("pause 0"), "ok");

    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            collect();
            return samples.back().ias == 0 && samples.back().altitude < 1000;
        },
        30s));

    double maxMach = 0, maxAltitude = 0;
    std::vector<std::string> waypoints;
    for (size_t i = 0; i < samples.size(); ++i) {
        const sim::FlightData& s = samples[i];
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

TEST_F(StandinLibraryTest, EachClientVersionOfTheLibraryOpensAndIsAnsweredInItsProtocol) {
    ASSERT_TRUE(m_standin.Start());
    const std::string cfg = txtest::SimConnectConfigText(m_standin.Port());
    int number = 0;
    for (const Release& release : kReleases) {
        SCOPED_TRACE(release.name);
        ++number;
        const std::string word = std::string(release.name).substr(4);  // RTM, SP1, SP2
        txtest::WriteFile(m_sandbox.settings() + "SimConnect.cfg",
                          cfg + "ClientVersion=" + word + "\n");
        ASSERT_EQ(Open(), S_OK);
        txtest::SeenMessages seen;
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                EXPECT_EQ(SimConnect_CallDispatch(m_handle, &txtest::SeenMessages::Record, &seen),
                          S_OK);
                return !seen.messages.empty();
            },
            5s));
        const auto* open = reinterpret_cast<const SIMCONNECT_RECV_OPEN*>(seen.messages[0].data());
        EXPECT_EQ(open->dwID, SIMCONNECT_RECV_ID_OPEN);
        EXPECT_EQ(open->dwVersion, release.protocol);
        EXPECT_EQ(open->dwReserved1, 0x143u);
        EXPECT_TRUE(m_standin.WaitForOutput(
            "client " + std::to_string(number) + ": OPEN app=\"T\" protocol=" +
                std::to_string(release.protocol) + " (" + release.name + ")",
            5s));
        SimConnect_Close(m_handle);
        m_handle = nullptr;
    }
}

TEST_F(StandinLibraryTest, EachFaultGivesItsResult) {
    ASSERT_TRUE(m_standin.Start());
    const std::vector<std::pair<std::string, HRESULT>> modes = {
        {"drop close", SIMCONNECT_STATUS_PIPE_DISCONNECTED},
        {"drop reset", SIMCONNECT_STATUS_CONNECTION_RESET},
        {"drop cut", SIMCONNECT_STATUS_PIPE_BROKEN},
        {"drop malformed size", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed huge", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed short", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed data", SIMCONNECT_E_MALFORMED_FRAME},
        {"drop malformed text", SIMCONNECT_E_MALFORMED_FRAME},
        {"quit", SIMCONNECT_STATUS_PIPE_DISCONNECTED},
    };
    int round = 0;
    for (const auto& [command, expected] : modes) {
        SCOPED_TRACE(command);
        ++round;
        ASSERT_EQ(Open(), S_OK);
        SimConnect_AddToDataDefinition(m_handle, 1, "AIRSPEED INDICATED", "Knots",
                                       SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
        // The fault reaches opened clients only: this one's request says it is.
        ASSERT_TRUE(txtest::WaitUntil(
            [&] {
                return txtest::CountLines(m_standin.Output(), "ADD_TO_DATA_DEFINITION") == round;
            },
            5s));
        ASSERT_EQ(m_standin.Command(command).substr(0, 2), "ok");
        // A reset needs a request that the stand-in leaves unread.
        if (command == "drop reset") SimConnect_TransmitClientEvent(m_handle, 0, 3, 0, 1, 0x10);
        txtest::SeenMessages seen;
        EXPECT_EQ(txtest::DispatchUntilFailure(m_handle, &seen), expected);
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
