#pragma once
// One connection to the simulator: the object behind a SimConnect handle. Requests may be sent
// from one thread while another dispatches: sends go out one whole frame at a time under
// m_sendMutex, the incoming stream belongs to m_readMutex, and the connection's failure state is
// an atomic that either side may set first.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.h"
#include "sim/SimConnect.h"
#include "sim/SimProtocol.h"

class SimConnection {
  public:
    // Connects to `socketPath`, sends the open request and waits up to `timeout` for the
    // simulator's open message. Null, with a negative *result, when any of it fails.
    static std::unique_ptr<SimConnection> Open(const std::string& socketPath,
                                               const std::string& appName, uint32_t configIndex,
                                               std::chrono::milliseconds timeout, HRESULT* result);
    ~SimConnection();
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    // Notes the item so that later data for the definition can be checked, then sends it.
    HRESULT AddToDataDefinition(const simproto::AddToDataDefinitionRequest& request)
        EXCLUDES(m_stateMutex, m_sendMutex);
    // Sends one request. E_FAIL once the connection has failed; a failed write fails it.
    HRESULT Send(const simproto::RequestBody& body) EXCLUDES(m_sendMutex);
    // See SimConnect_CallDispatch.
    HRESULT Dispatch(DispatchProc proc, void* context) EXCLUDES(m_readMutex, m_stateMutex);

  private:
    explicit SimConnection(int fd) : m_fd(fd) {}

    // Reads what the socket holds without waiting; notes the end of the stream or an error.
    void ReadAvailable() REQUIRES(m_readMutex);
    // Records the first failure; later ones do not replace it. Ends the stream for both sides.
    void Fail(HRESULT status);
    bool IsValid(const uint8_t* frame, uint32_t size) EXCLUDES(m_stateMutex);
    static HRESULT StatusForErrno(int error);

    const int m_fd;
    // S_OK while healthy; otherwise the result every later dispatch returns.
    std::atomic<HRESULT> m_status{S_OK};
    // A send failed: reported by the next dispatch unless reading shows the real cause.
    std::atomic<HRESULT> m_writeStatus{S_OK};

    platform::Mutex m_sendMutex;
    uint32_t m_nextSendId GUARDED_BY(m_sendMutex) = 0;

    platform::Mutex m_readMutex;
    std::vector<uint8_t> m_input GUARDED_BY(m_readMutex);
    bool m_endOfStream GUARDED_BY(m_readMutex) = false;

    // Datum types of each definition declared on this connection.
    platform::Mutex m_stateMutex;
    std::map<uint32_t, std::vector<uint32_t>> m_definitions GUARDED_BY(m_stateMutex);
};
