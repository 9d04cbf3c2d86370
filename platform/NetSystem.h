#pragma once
// What the socket code both systems share (platform/Net.cpp: the name lookups, the connect's try
// of each address, the loopback test) needs of each system's own socket layer (Net_linux.cpp,
// Net_win32.cpp): the system's socket headers and the few calls whose insides differ. Internal to
// platform/.

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>

#include "platform/Net.h"

namespace platform::net_system {

// A connection attempt looks at its cancel flag at least this often.
inline constexpr std::chrono::milliseconds kCancelCheck{50};

// A hold on the socket library for a name lookup, which Winsock serves only while started; Linux
// has nothing to start.
Status HoldLibrary();
void ReleaseLibrary();

// A failed lookup: getaddrinfo's result `code` (0 when it found no address), in this system's
// words.
Status Unresolved(int code);

// A non-blocking socket for `address` that started programs do not inherit. It lives on the
// caller's library hold.
Result<SocketHandle> OpenConnecting(const addrinfo& address);
// Connects such a socket to `address`, giving up at `deadline` or when `cancel` is set.
Status ConnectOne(SocketHandle socket, const addrinfo& address,
                  std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel);
// The connected socket blocking again, as ConnectTcp hands it out.
void SetBlocking(SocketHandle socket);
// Closes a socket of OpenConnecting, leaving the caller's library hold alone.
void CloseConnecting(SocketHandle socket);

}  // namespace platform::net_system
