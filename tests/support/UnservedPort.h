#pragma once
// A loopback TCP port that nobody serves for as long as the object lives: a socket of the test
// holds it bound and never listens, so a connection there is refused at once and no other
// program (a stand-in left behind, a developer's own run) can take the port meanwhile.

#include "tests/support/TestSocket.h"

namespace txtest {

class UnservedPort {
  public:
    UnservedPort();
    ~UnservedPort();
    UnservedPort(const UnservedPort&) = delete;
    UnservedPort& operator=(const UnservedPort&) = delete;
    // The port on 127.0.0.1; 0 when none could be held.
    int port() const { return m_port; }

  private:
    int m_port = 0;  // before m_socket: the bind writes it
    SocketHandle m_socket;
};

}  // namespace txtest
