#pragma once
// Waiting on many sockets at once, for a server thread that keeps several connections open and
// must also hear at once when it is told to stop: one wait covers the sockets and a wake-up
// channel that any thread may trigger. poll and an eventfd here (SocketWaiter_linux.cpp), WSAPoll
// and a loopback socket pair on Windows, which cannot wait on an event and a socket together.

#include <chrono>
#include <memory>
#include <span>

#include "platform/Net.h"
#include "platform/Status.h"

namespace platform {

class SocketWaiter {
  public:
    // Makes the wake-up channel: kUnsupported when the socket library does not start, else the
    // system's failure when the channel cannot be made (no descriptors left, say).
    static Result<std::unique_ptr<SocketWaiter>> Create();
    ~SocketWaiter();
    SocketWaiter(const SocketWaiter&) = delete;
    SocketWaiter& operator=(const SocketWaiter&) = delete;

    // Any thread: ends the wait under way at once, and every later one too, for good. It is meant
    // for an end, so nothing ever clears it; a new start makes a new waiter.
    void Wake();

    // The waiting thread: waits at most `timeout` (negative: without limit) until one of
    // `sockets` would not block a receive or an accept (bytes, a connection, the peer's end or an
    // error) or Wake has been called. `ready[i]` says it for `sockets[i]`; `ready` has as many
    // entries as `sockets`. Ok then (with none ready after a wake-up); kTimedOut, kInterrupted,
    // or the system's failure of the wait itself.
    Status Wait(std::span<const SocketHandle> sockets, std::span<bool> ready,
                std::chrono::milliseconds timeout);

  private:
    struct State;
    explicit SocketWaiter(std::unique_ptr<State> state);

    // The wake-up channel and the waiting thread's entry list; the system's files fill it in.
    // Wake writes to the channel, which the system serialises; the list is the waiting thread's.
    std::unique_ptr<State> m_state;
};

}  // namespace platform
