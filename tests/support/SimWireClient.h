#pragma once
// A simulator client at the byte level, for tests of the stand-in itself: it connects over TCP to
// a loopback address, sends request frames made by the protocol's encoders and reads the
// messages back whole, by their size word, without any of the client library's judgement.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simconnect/Protocol.h"

namespace txtest {

class SimWireClient {
  public:
    SimWireClient() = default;
    ~SimWireClient();
    SimWireClient(const SimWireClient&) = delete;
    SimWireClient& operator=(const SimWireClient&) = delete;

    // Connects to `address` ("127.0.0.1" or "::1") and `port`.
    bool Connect(const std::string& address, int port);
    // Requests under `protocol`, each with the next send id (from `firstSendId`).
    void Speak(uint32_t protocol, uint32_t firstSendId) {
        m_protocol = protocol;
        m_nextSendId = firstSendId;
    }
    // Sends one request; its send id.
    uint32_t Send(const simconnect::RequestBody& body);
    // The open request of `protocol`'s release, under that protocol.
    uint32_t SendOpen(uint32_t protocol, const std::string& appName);
    bool SendBytes(const std::vector<uint8_t>& bytes);

    // The next whole message, or nothing when none arrives in time or the stream ends.
    std::optional<std::vector<uint8_t>> Read(
        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The next message of `id`, skipping others; nothing when none comes in time.
    std::optional<std::vector<uint8_t>> ReadId(
        uint32_t id, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Up to `count` raw bytes, whatever framing they have.
    std::vector<uint8_t> ReadBytes(size_t count, std::chrono::milliseconds timeout);
    // True when the server ends the connection (in order or by a reset) within `timeout`, with
    // nothing more sent before; `reset` tells which.
    bool WaitClosed(std::chrono::milliseconds timeout, bool* reset = nullptr);
    void Close();

  private:
    // Appends what arrives within `timeout` to m_input; false at the end of the stream or on an
    // error (m_reset set for a reset).
    bool Receive(std::chrono::milliseconds timeout);

    int m_fd = -1;
    uint32_t m_protocol = simconnect::kDefaultProtocol;
    uint32_t m_nextSendId = 1;
    std::vector<uint8_t> m_input;
    bool m_ended = false;
    bool m_reset = false;
};

}  // namespace txtest
