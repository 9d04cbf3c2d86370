// Hostile input to the running program: request heads no browser sends, and INI files that are
// not INI files. Each is answered or refused without harm, and the program goes on serving.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/ProgramRun.h"
#include "tests/support/SimStandin.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const std::string kProgram = txtest::BinaryPath("TarvelXConnectExtended");
// Kept one folder above the settings folder: no request may ever bring it back.
const std::string kSecret = "never-serve-this-5c1e";

std::vector<std::string> HostileHeads() {
    const std::string end = "\r\n\r\n";
    std::vector<std::string> heads = {
        // Binary bytes and zero bytes.
        std::string("\x00\x01\x02\x03\r\n\r\n", 8),
        std::string("GET /\x00MCDU HTTP/1.1", 19) + end,
        std::string("GET /MCDU_Dspl.png\x00.jpg HTTP/1.1", 32) + end,
        std::string("GET /\xff\xfe\xfd HTTP/1.1") + end,
        "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03" + end,  // a TLS hello
        std::string("GET / HTTP/1.1\r\nAccept: \x00\x01\x02\r\n\r\n", 31),
        "\x7f\x7f\x7f\x7f" + end,
        // Missing pieces. (Heads refused before the page handler, over-long lines and too many
        // headers among them, are request_head_test's.)
        "GET" + end,
        "GET " + end,
        "GET /pause" + end,
        "GET /" + end,
        "POST" + end,
        " / HTTP/1.1" + end,
        "GET / HTTP/9.9" + end,
        "GET / HTTP/1." + end,
        "GET HTTP/1.1" + end,
        // Odd methods.
        "DELETE / HTTP/1.1" + end,
        "PUT /MCDU_KB_07 HTTP/1.1" + end,
        "OPTIONS * HTTP/1.1" + end,
        "CONNECT 127.0.0.1:22 HTTP/1.1" + end,
        "TRACE / HTTP/1.1" + end,
        "get / HTTP/1.1" + end,
        "GETX /MCDU HTTP/1.1" + end,
        "POSTAL /resume HTTP/1.1" + end,
        "G / HTTP/1.1" + end,
        "GET\t/\tHTTP/1.1" + end,
        // Absolute URLs.
        "GET http://127.0.0.1/MCDU HTTP/1.1" + end,
        "GET http://evil.example/../../etc/passwd HTTP/1.1" + end,
        "GET //etc/passwd HTTP/1.1" + end,
        "GET file:///etc/passwd HTTP/1.1" + end,
        // Traversal and names outside the folders.
        "GET /../" + kSecret + ".png HTTP/1.1" + end,
        "GET /..%2f" + kSecret + ".png HTTP/1.1" + end,
        "GET /..\\" + kSecret + ".png HTTP/1.1" + end,
        "GET /%2e%2e/" + kSecret + ".png HTTP/1.1" + end,
        "GET /....//" + kSecret + ".png HTTP/1.1" + end,
        "GET /.png HTTP/1.1" + end,
        "GET /.. HTTP/1.1" + end,
        "GET /../../../../etc/passwd.jpg HTTP/1.1" + end,
        "GET /etc/passwd.png HTTP/1.1" + end,
        "GET /proc/self/environ.jpg HTTP/1.1" + end,
        "GET /" + std::string(300, 'n') + ".png HTTP/1.1" + end,
        "GET /.ini.png HTTP/1.1" + end,
        "GET /TarvelXConnectExtended.ini?.png HTTP/1.1" + end,
        "GET /TarvelXConnectExtended.log.png HTTP/1.1" + end,
        "GET /a\x01.png HTTP/1.1" + end,
        // Key paths out of the key table's range.
        "GET /MCDU_KB_-1 HTTP/1.1" + end,
        "GET /MCDU_KB_99 HTTP/1.1" + end,
        "GET /MCDU_KB_ HTTP/1.1" + end,
        "GET /MCDU_KB_x HTTP/1.1" + end,
        "GET /MCDU_KB_9999999999999999999 HTTP/1.1" + end,
    };
    return heads;
}

class BadInputTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (m_program.pid() > 0 && m_program.Running()) {
            m_program.Signal(SIGTERM);
            EXPECT_EQ(m_program.Wait(20s), 0) << m_program.Stderr();
        }
    }
    bool StartAndWaitForServer(int port) {
        if (!m_program.Start(kProgram, {}, m_sandbox.Env())) return false;
        return txtest::WaitUntil(
                   [&] { return !m_program.Running() || !txtest::Get(port, "/").empty(); }, 30s) &&
               m_program.Running();
    }

    txtest::Sandbox m_sandbox;
    txtest::ChildProcess m_program;
};

TEST_F(BadInputTest, HostileRequestHeadsAreAnsweredOrRefusedWithoutHarm) {
    const int port = txtest::FreeTcpPort();
    m_sandbox.WriteIni(txtest::ServerIni(port));
    txtest::WriteFile(m_sandbox.settings() + "../" + kSecret + ".png", kSecret);
    txtest::WriteFile(m_sandbox.settings() + "MCDU_Dspl.png", "picture");
    txtest::SimStandin sim(m_sandbox);
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(StartAndWaitForServer(port)) << m_program.Stderr();
    // Online pages, so that every path reaches its own handling rather than the offline page.
    ASSERT_TRUE(txtest::WaitUntil(
        [&] {
            const std::string page = txtest::Get(port, "/");
            return txtest::IsWellFormedResponse(page) &&
                   page.find("FSX is offline") == std::string::npos;
        },
        20s));

    const std::vector<std::string> heads = HostileHeads();
    ASSERT_GE(heads.size(), 45u);
    int answered = 0;
    for (size_t i = 0; i < heads.size(); ++i) {
        SCOPED_TRACE("head " + std::to_string(i) + ": " + heads[i].substr(0, 60));
        const std::string response = txtest::Exchange(port, heads[i], 15s);
        if (!response.empty()) {
            ++answered;
            EXPECT_TRUE(txtest::IsWellFormedResponse(response)) << response.substr(0, 200);
            EXPECT_EQ(response.find(kSecret), std::string::npos);
            EXPECT_EQ(response.find("root:"), std::string::npos);
        }
        // The next ordinary request is served as if nothing had happened.
        const std::string normal = txtest::Get(port, "/MCDU_Dspl.png");
        ASSERT_TRUE(txtest::IsWellFormedResponse(normal)) << normal;
        EXPECT_EQ(txtest::BodyOf(normal), "picture");
    }
    std::printf("%zu hostile heads: %d answered, %zu refused by closing\n", heads.size(), answered,
                heads.size() - static_cast<size_t>(answered));
    EXPECT_TRUE(m_program.Running());
}

TEST_F(BadInputTest, MalformedIniStillStartsRunsAndStops) {
    const int port = txtest::FreeTcpPort();
    const int other = txtest::FreeTcpPort();
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
    const std::string server = "[Server]\nEnabled=1\nWebserverWaits4Sim=0\nPort=";
    struct Case {
        std::string name;
        std::string ini;
        bool serves;  // a usable [Server] section is in there
    };
    const std::vector<Case> cases = {
        {"binary only", binary, false},
        {"binary around sections",
         binary + "\n[Common]\nLogging=1\n" + server + std::to_string(port) + "\n" + binary, true},
        {"huge values",
         "[Common]\nLogging=99999999999999999999999\nDataRequestPeriod=-99999999999999999999\n"
         "Junk=" +
             std::string(1 << 20, 'x') + "\n" + server + std::to_string(port) +
             "\nWebserverWaits4Sim=18446744073709551617\n",
         true},
        {"huge port", server + "4294971336\n", false},
        {"duplicate sections",
         server + std::to_string(port) + "\n[Common]\nLogging=1\n[Server]\nPort=" +
             std::to_string(other) + "\n[Server]\nEnabled=0\n",
         true},
        {"no line ends", std::string(70000, '['), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        txtest::Sandbox sandbox;
        sandbox.WriteIni(c.ini);
        txtest::ChildProcess program;
        ASSERT_TRUE(program.Start(kProgram, {}, sandbox.Env()));
        if (c.serves) {
            // Whichever of the duplicated values is taken, one of the two ports answers.
            ASSERT_TRUE(txtest::WaitUntil(
                [&] {
                    return txtest::IsWellFormedResponse(txtest::Get(port, "/")) ||
                           txtest::IsWellFormedResponse(txtest::Get(other, "/"));
                },
                30s))
                << program.Stderr();
        } else {
            std::this_thread::sleep_for(1500ms);
        }
        EXPECT_TRUE(program.Running()) << program.Stderr();
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(20s), 0) << program.Stderr();
    }
}

}  // namespace
