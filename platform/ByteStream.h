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

namespace platform {

class ByteStream {
  public:
    enum class Status {
        Ok,          // `bytes` were moved
        WouldBlock,  // nothing to read right now
        End,         // the peer ended the stream in order
        Reset,       // the peer reset the connection
        Failed,      // any other error, or a write that could not go out whole
    };
    struct IoResult {
        Status status = Status::Ok;
        size_t bytes = 0;
    };

    virtual ~ByteStream() = default;

    // Waits at most `timeout` until a read would not block (bytes, the end or an error).
    virtual bool WaitReadable(std::chrono::milliseconds timeout) = 0;
    // Reads what has arrived, at most `capacity` bytes, without waiting.
    virtual IoResult Read(uint8_t* buffer, size_t capacity) = 0;
    // Writes all `size` bytes. A peer that stops reading holds the caller at most a couple of
    // seconds; then the write fails.
    virtual IoResult WriteAll(const uint8_t* data, size_t size) = 0;
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

struct ConnectResult {
    enum class Error {
        None,
        NoServer,     // refused, unreachable, or no answer to the connection attempt in time
        Unresolved,   // the address does not resolve for the wanted family
        Unsupported,  // this system cannot reach that kind of target
        Cancelled,
    };
    std::unique_ptr<ByteStream> stream;
    Error error = Error::None;
    std::string detail;  // the system's words for the failure
    // The peer is this very machine (a loopback address, or a local pipe).
    bool onThisMachine = false;
};

// Where the simulator is when nothing says otherwise: on Linux its TCP server on this machine,
// 127.0.0.1 port 2048.
StreamTarget DefaultSimulatorTarget();

// Connects to `target`, waiting at most `timeout`. Looks at `cancel` every few tens of
// milliseconds and gives up when it is set. Name resolution, when the address is a name, may take
// as long as the system's resolver takes.
ConnectResult ConnectStream(const StreamTarget& target, std::chrono::milliseconds timeout,
                            const std::atomic<bool>& cancel);

}  // namespace platform
