#pragma once
// The connections the web server thread has accepted whose request heads have not all come yet,
// in the order they were accepted, each with the bytes it has sent so far and its deadline. The
// set is bounded: a connection past the bound closes the one that has waited longest, so the
// descriptors a crowd of silent peers can hold stay few whatever arrives. The web server thread
// alone uses it.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Net.h"

namespace web {

class Socket;

struct WaitingConnection {
    std::unique_ptr<Socket> socket;
    std::string received;  // the head's bytes so far
    std::chrono::steady_clock::time_point deadline;
    // The simulator was seen away while the head was read after its request line: the request
    // is answered with the offline page even if it came back since.
    bool offlineSeen = false;
};

class WaitingConnections {
  public:
    using Clock = std::chrono::steady_clock;

    explicit WaitingConnections(size_t capacity) : m_nCapacity(capacity) {}
    ~WaitingConnections();
    WaitingConnections(const WaitingConnections&) = delete;
    WaitingConnections& operator=(const WaitingConnections&) = delete;

    // Adds a connection accepted at `accepted`, to be let go when its whole head has not come
    // within kRequestHeadTimeout of that. When the set is full the connection that has waited
    // longest is closed first, and logged once per burst: a burst ends when no connection waits
    // any more.
    void Add(std::unique_ptr<Socket> socket, Clock::time_point accepted);
    // Lets go, in one pass, of every connection whose deadline has come by `now`, each with its
    // log line. The count let go.
    size_t DropLate(Clock::time_point now);

    // The connections in the order they were accepted. Taking or closing one through Take and
    // Close leaves an empty place that Compact removes, so indices hold across one pass.
    size_t Size() const { return m_entries.size(); }
    WaitingConnection& operator[](size_t index) { return m_entries[index]; }
    // Hands the connection at `index` over to the caller.
    WaitingConnection Take(size_t index);
    // Closes the connection at `index` without an answer.
    void Close(size_t index);
    // Removes the places left empty by Take and Close.
    void Compact();
    // Closes every connection left.
    void CloseAll();

    // The handles of the connections, in their order (for one multi-wait).
    void Handles(std::vector<platform::SocketHandle>& into) const;
    // The earliest deadline, or Clock::time_point::max() when none waits.
    Clock::time_point NextDeadline() const;

  private:
    const size_t m_nCapacity;
    std::vector<WaitingConnection> m_entries;
    // The bound's log line was written in the present burst.
    bool m_bCapLogged = false;
};

}  // namespace web
