#pragma once
// The client end of a local one-way pipe whose server end another program owns, as the MCDU
// gauge offers it: on Linux a Unix-domain stream socket at a path (PipeConnection_linux.cpp), on
// Windows the named pipe of that name (CreateFileA, WaitNamedPipeA, SetNamedPipeHandleState,
// WriteFile, DisconnectNamedPipe). Failures come back as a Status with the number the pipe's log
// lines print (errno here, GetLastError() on Windows); kClosed says the server end has gone (the
// gauge ended or restarted), so that a new connection may reach it again.
//
// A connection is used by one thread at a time; its owner serialises the calls.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Status.h"

namespace platform {

// How long a wait for the gauge may last, and a flag that ends it early: a stop of the program
// sets it, so that no thread stays held by a gauge that does not take what it is sent. The flag
// is looked at every kCheckEvery while the wait lasts.
struct PipeWait {
    static constexpr std::chrono::milliseconds kCheckEvery{50};

    std::chrono::milliseconds timeout{0};
    const std::atomic<bool>* cancel = nullptr;

    // True once the wait that runs until `deadline` must give up.
    bool IsOver(std::chrono::steady_clock::time_point deadline) const {
        return (cancel != nullptr && cancel->load()) ||
               std::chrono::steady_clock::now() >= deadline;
    }
};

class PipeConnection {
  public:
    // Disconnects and closes.
    virtual ~PipeConnection() = default;

    // Puts a fresh connection into the mode every write relies on: a byte stream, write only. On
    // a failure the caller closes the connection.
    virtual Status SetWriteMode() = 0;

    // Writes all `size` bytes, going on after a signal cut the write short: half a message would
    // shift every later one at the other end. A reader that has stopped reading holds the write
    // as long as `wait` allows; then it fails as a time-out does. The bytes that went out are the
    // value.
    virtual Result<size_t> Write(const uint8_t* data, size_t size, const PipeWait& wait) = 0;
};

// Opens the pipe `name`. When every instance is taken (here: the server's listen queue is full),
// waits as long as `busyWait` allows for one to come free, taking it as soon as the server
// accepts; a time-out of 0 gives up at once. A pipe that is not there is error 2 on both systems.
Result<std::unique_ptr<PipeConnection>> OpenPipe(const std::string& name, const PipeWait& busyWait);

}  // namespace platform
