#pragma once
// The address under which other machines of the local network reach this one.

namespace web {

// Writes the dotted-decimal IPv4 text of the machine's address into `out` (at least 16 bytes):
// the first IPv4 address of an interface that is up and not the loopback, else the address the
// host name resolves to. Returns false, leaving `out` unchanged, when neither is found.
bool GetLocalIPAddress(char* out);

}  // namespace web
