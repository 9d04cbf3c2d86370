#pragma once
// The server end of a named pipe, played by a test on a thread of its own: the MCDU gauge's input
// pipe or the simulator's pipe. Every wait is bounded, so a test that goes wrong ends instead of
// hanging.

#include <chrono>
#include <cstdint>
#include <string>

namespace txtest {

class PipeServer {
  public:
    // `duplex`: the server writes too (the simulator's pipe); else it only reads (the gauge's).
    explicit PipeServer(std::string name, bool duplex = false);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // A unique pipe name for this process: \\.\pipe\tx-test-<pid>-<tag>-<n>.
    static std::string UniqueName(const std::string& tag);

    // Makes a (new) instance and starts listening on it. False, with LastError(), on failure.
    bool Create();
    // Starts listening again on the instance after Disconnect().
    bool Listen();
    // Waits until a client has connected to the listening instance.
    bool WaitForClient(std::chrono::milliseconds timeout);
    // Reads until `count` bytes have come or `timeout` has passed; what came.
    std::string Read(size_t count, std::chrono::milliseconds timeout);
    // Writes all of `bytes`; false when the pipe failed.
    bool Write(const std::string& bytes);
    // DisconnectNamedPipe: the client's handle stays, but the pipe is no longer connected.
    void Disconnect();
    // Closes the instance, as a gauge that ends does.
    void Close();

    const std::string& name() const { return m_name; }
    unsigned long LastError() const { return m_lastError; }

  private:
    const std::string m_name;
    const bool m_duplex;
    std::intptr_t m_pipe = -1;  // the instance's HANDLE; -1: none
    std::intptr_t m_event = 0;  // the event of the pending connect or read
    void* const m_overlapped;   // the pending connect's OVERLAPPED
    unsigned long m_lastError = 0;
};

}  // namespace txtest
