#pragma once
// The stand-in's listening sockets: TCP on numeric addresses for the simulator's clients (IPv4
// and IPv6 alike), and the Unix socket of its control channel. Plain functions around the socket
// calls, so that the server itself only polls and accepts.

#include <cstdint>
#include <string>

namespace standin {

enum class ListenResult {
    Ok,
    // The address belongs to no interface here, or its family is switched off (IPv6 in some
    // containers): not a conflict with another program.
    Unavailable,
    Failed,
};

// Listens for TCP clients on `address` (numeric, "127.0.0.1" or "::1") and `port`. A restarted
// stand-in gets the same port back at once, even while connections of the last run linger.
// `*fd` is the socket when Ok; `*error` says why otherwise.
ListenResult ListenTcp(const std::string& address, uint16_t port, int* fd, std::string* error);

// Listens on a Unix stream socket at `path`, taking over a stale socket file; -1 with a reason
// when the path is too long, served by someone else, or cannot be bound.
int ListenUnix(const std::string& path, std::string* error);

// "127.0.0.1:2048" or "[::1]:2048" for an address and port.
std::string EndpointName(const std::string& address, uint16_t port);
// The connected peer of `fd` written the same way; "?" when unknown.
std::string PeerName(int fd);

}  // namespace standin
