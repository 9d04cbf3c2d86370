#pragma once
// One connected TCP socket, as the web server uses it: the server receives on its handle, and
// responses go out whole. Failures come back as a platform::Status, never thrown.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Net.h"

namespace web {

// The log's words for where the socket layer failed: starting the socket library (a Status of kind
// kUnsupported from SocketServer::Listen), making, binding or listening on a socket (any other
// failure there), taking a connection (SocketServer::Accept).
inline constexpr const char* kSocketErrorLibrary = "Could not start WSA";
inline constexpr const char* kSocketErrorCreate = "INVALID_SOCKET";
inline constexpr const char* kSocketErrorAccept = "Invalid Socket";

class Socket {
  public:
    using Clock = std::chrono::steady_clock;

    // Takes over a socket from platform/Net.h (an accepted connection, say); the handle is not
    // tested.
    explicit Socket(platform::SocketHandle handle);
    virtual ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Sends the pieces one after another as one stream, in as few calls as the kernel allows (one
    // on a connection that keeps up). A send cut short by a signal or a full send buffer goes on
    // from where it stopped; an error, or no room for the send time-out, ends it. Returns whether
    // every byte went out.
    bool SendAll(std::initializer_list<std::string_view> pieces);
    // Ends the connection at once. Safe to call from another thread while this one waits in a
    // receive on the handle: that receive then ends. The handle itself is released by the
    // destructor, so its number cannot be reused under a thread still holding this object.
    void Close();

    // SendAll gives up when it cannot go on for `timeout` (a peer that stops reading). Kept by
    // waiting here, with no call into the system, on a socket that does not block: a connection
    // accepted on a non-blocking listener is one. A blocking socket's send waits as long as the
    // system lets it.
    void SetSendTimeout(std::chrono::milliseconds timeout);

    // False once closed or when the handle is invalid.
    bool IsValid() const;
    platform::SocketHandle Handle() const { return m_hSocket; }

    // Number of Socket objects alive in the process (listeners included).
    static int LiveCount();

  private:
    // The handle; platform::kInvalidSocket is invalid. Fixed at construction, so any thread may
    // read it.
    const platform::SocketHandle m_hSocket;
    // Set by Close() on any thread; read by IsValid() on any thread.
    std::atomic<bool> m_bClosed{false};
    // How long SendAll waits for room (negative: without limit): the owning thread only.
    std::chrono::milliseconds m_sendTimeout{-1};
};

}  // namespace web
