#pragma once
// The simulator's byte stream over a TCP connection, made with the same socket calls as the web
// server's (platform/Net.h), so that both systems share it.

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/ByteStream.h"
#include "platform/Net.h"

namespace platform {

class SocketStream final : public ByteStream {
  public:
    // Takes over a connected blocking socket.
    explicit SocketStream(SocketHandle socket) : m_socket(socket) {}
    ~SocketStream() override;
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    bool WaitReadable(std::chrono::milliseconds timeout) override;
    Result<size_t> Read(uint8_t* buffer, size_t capacity) override;
    Result<size_t> WriteAll(const uint8_t* data, size_t size) override;
    void Shutdown() override;

  private:
    const SocketHandle m_socket;
    // Set by Shutdown() on either thread; the reader looks at it between waits.
    std::atomic<bool> m_shutdown{false};
};

// Connects to the TCP target (IPv4 or IPv6) as ConnectStream does.
Result<ConnectedStream> ConnectSocketStream(const StreamTarget& target,
                                            std::chrono::milliseconds timeout,
                                            const std::atomic<bool>& cancel);

}  // namespace platform
