#pragma once
// A connected byte stream to the simulator: a TCP connection, or on Windows the simulator's named
// pipe. The simulator link frames its messages on top; this layer only moves bytes, so the link's
// logic is the same on every system and whatever transport the user configures.
//
// One thread may wait and read while another writes; Shutdown() may come from either and wakes a
// waiting reader.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Status.h"

namespace platform {

class ByteStream {
  public:
    virtual ~ByteStream() = default;

    // Waits at most `timeout` until a read would not block (bytes, the end or an error).
    virtual bool WaitReadable(std::chrono::milliseconds timeout) = 0;
    // Reads what has arrived, at most `capacity` bytes, without waiting; the bytes read are the
    // value. kWouldBlock: nothing to read right now; kClosed: the peer ended the stream in order
    // (or this end was shut down); kReset: the peer reset the connection; kFailed: any other error.
    virtual Result<size_t> Read(uint8_t* buffer, size_t capacity) = 0;
    // Writes all `size` bytes; the bytes that went out are the value. A peer that stops reading
    // holds the caller at most a couple of seconds; then the write fails (kFailed, or kReset when
    // the peer reset the connection).
    virtual Result<size_t> WriteAll(const uint8_t* data, size_t size) = 0;
    // Ends both directions at once.
    virtual void Shutdown() = 0;
};

// Where the simulator listens.
struct StreamTarget {
    enum class Kind { IPv4, IPv6, Pipe };
    Kind kind = Kind::IPv4;
    std::string address;  // a host name or a numeric address; for a pipe, its machine (".")
    std::string port;     // a port number; for a pipe, its name
    bool disableNagle = false;
};

struct ConnectedStream {
    std::unique_ptr<ByteStream> stream;
    // The peer is this very machine (a loopback address, or a local pipe).
    bool onThisMachine = false;
};

// Where the simulator is when nothing says otherwise: on Linux its TCP server on this machine,
// 127.0.0.1 port 2048.
StreamTarget DefaultSimulatorTarget();

// Connects to `target`, waiting at most `timeout`. Looks at `cancel` every few tens of
// milliseconds and gives up when it is set (kCancelled). Name resolution, when the address is a
// name, may take as long as the system's resolver takes. kNoServer: refused, unreachable, or no
// answer to the connection attempt in time; kUnresolved: the address does not resolve for the
// wanted family; kUnsupported: this system cannot reach that kind of target.
Result<ConnectedStream> ConnectStream(const StreamTarget& target, std::chrono::milliseconds timeout,
                                      const std::atomic<bool>& cancel);

}  // namespace platform
