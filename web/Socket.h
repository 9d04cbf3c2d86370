#pragma once
// One connected TCP socket, as the web server uses it: requests are received as they come,
// responses written whole. Failures come back as a platform::Status, never thrown.

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
// kUnsupported from Open or SocketServer::Listen), making or binding a socket (any other failure
// there), taking a connection (SocketServer::Accept).
inline constexpr const char* kSocketErrorLibrary = "Could not start WSA";
inline constexpr const char* kSocketErrorCreate = "INVALID_SOCKET";
inline constexpr const char* kSocketErrorAccept = "Invalid Socket";

class Socket {
  public:
    using Clock = std::chrono::steady_clock;

    // Takes over a socket from platform/Net.h (an accepted connection, say); the handle is not
    // tested.
    explicit Socket(platform::SocketHandle handle);
    // A new IPv4 stream socket, not connected.
    static platform::Result<std::unique_ptr<Socket>> Open();
    virtual ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Reads one line, line feed (and any carriage return before it) included. Why no line came:
    // kClosed when the peer closed (partial bytes are dropped) or this socket was closed, or the
    // receive's own failure. A lone line feed is logged and comes back as an empty line. On a
    // non-blocking socket with nothing more to read: kWouldBlock with the bytes collected so far.
    // A receive takes whatever has arrived; bytes past the line wait here for the next call, so
    // lines come back exactly as if read one byte at a time.
    platform::Result<std::string> ReceiveLine();
    // Sends `text` unchanged in one send call; the bytes sent, perhaps not all.
    platform::Result<size_t> SendBytes(const std::string& text);
    // Sends the pieces one after another as one stream, in as few calls as the kernel allows (one
    // on a connection that keeps up). A send cut short by a signal or a full send buffer goes on
    // from where it stopped; an error, or no room for the send time-out, ends it. Returns whether
    // every byte went out.
    bool SendAll(std::initializer_list<std::string_view> pieces);
    // Ends the connection at once. Safe to call from another thread while this one waits in
    // ReceiveLine: that wait then ends with empty text. The handle itself is released by
    // the destructor, so its number cannot be reused under a thread still holding this object.
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
    // Appends what has arrived to m_pending: the bytes taken (0: the peer closed), or why not
    // (kWouldBlock only on a non-blocking socket, the receive's failure).
    platform::Result<size_t> ReceiveMore();
    // Takes the first `length` pending bytes out as a line.
    std::string TakePending(size_t length);

    // The handle; platform::kInvalidSocket is invalid. Fixed at construction, so any thread may
    // read it.
    const platform::SocketHandle m_hSocket;
    // Holders of the handle. Socket objects are never copied, so this stays 1 until the
    // destructor; it is kept so the handle is closed by the last holder only.
    std::unique_ptr<int> m_pRefCount;
    // Set by Close() on any thread; polled by the thread receiving.
    std::atomic<bool> m_bClosed{false};

    // Bytes received but not yet handed out, from m_pendingStart on; m_scanned of them are known
    // to hold no line feed. The receiving thread only.
    std::string m_pending;
    size_t m_pendingStart = 0;
    size_t m_scanned = 0;
    // How long SendAll waits for room (negative: without limit): the owning thread only.
    std::chrono::milliseconds m_sendTimeout{-1};
};

}  // namespace web
