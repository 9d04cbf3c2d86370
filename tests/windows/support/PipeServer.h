#pragma once
// The server end of a named pipe, played by a test on a thread of its own: the MCDU gauge's input
// pipe or the simulator's pipe. Every wait is bounded, so a test that goes wrong ends instead of
// hanging.

#include <chrono>
#include <memory>
#include <string>

namespace txtest {

class PipeServer {
  public:
    // `name`: \\.\pipe\..., one instance, bytes both ways.
    explicit PipeServer(std::string name);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Makes a (new) instance and starts listening on it. False, with LastError(), on failure.
    bool Create();
    // Lets the client go, if any (its handle stays, but the pipe is no longer connected), and
    // listens on the instance for the next one.
    bool Listen();
    bool WaitForClient(std::chrono::milliseconds timeout);
    // Reads until `count` bytes have come or `timeout` has passed; what came.
    std::string Read(size_t count, std::chrono::milliseconds timeout);
    // Writes all of `bytes`; false when the pipe failed.
    bool Write(const std::string& bytes);
    // Closes the instance, as a gauge that ends does.
    void Close();

    unsigned long LastError() const { return m_lastError; }

  private:
    struct Handles;
    const std::string m_name;
    std::unique_ptr<Handles> m_handles;
    unsigned long m_lastError = 0;
};

}  // namespace txtest
