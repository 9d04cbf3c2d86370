#pragma once
// The client end of a local one-way pipe whose server end another program owns, as the MCDU
// gauge offers it: on Linux a Unix-domain stream socket at a path (PipeConnection_linux.cpp), on
// Windows the named pipe of that name (CreateFileA, WaitNamedPipeA, SetNamedPipeHandleState,
// WriteFile, DisconnectNamedPipe). Failures come back as a Status with the number the pipe's log
// lines print (errno here, GetLastError() on Windows); kClosed says the server end has gone (the
// gauge ended or restarted), so that a new connection may reach it again.
//
// A connection is used by one thread at a time; its owner serialises the calls.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Status.h"

namespace platform {

class PipeConnection {
  public:
    // Disconnects and closes.
    virtual ~PipeConnection() = default;

    // Puts a fresh connection into the mode every write relies on: a byte stream, writes that
    // wait at most `writeTimeout` for a reader that has stopped reading, and write only. On a
    // failure the caller closes the connection.
    virtual Status SetWriteMode(std::chrono::milliseconds writeTimeout) = 0;

    // Writes all `size` bytes, going on after a signal cut the write short: half a message would
    // shift every later one at the other end. The bytes that went out are the value.
    virtual Result<size_t> Write(const uint8_t* data, size_t size) = 0;
};

// Opens the pipe `name`. When every instance is taken (here: the server's listen queue is full),
// waits up to `busyWait` for one to come free, taking it as soon as the server accepts; 0 gives up
// at once. A pipe that is not there is error 2 on both systems.
Result<std::unique_ptr<PipeConnection>> OpenPipe(const std::string& name,
                                                 std::chrono::milliseconds busyWait);

}  // namespace platform
