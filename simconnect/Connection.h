#pragma once
// One connection to the simulator: the object behind a SimConnect handle. Requests may be sent
// from one thread while another dispatches: sends go out one whole frame at a time under
// m_sendMutex, the incoming stream belongs to m_readMutex, and the connection's failure state is
// an atomic that either side may set first. The bytes travel over a platform::ByteStream (TCP,
// or the simulator's pipe on Windows).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteStream.h"
#include "platform/Mutex.h"
#include "simconnect/Protocol.h"
#include "simconnect/SimConnect.h"

namespace simconnect {

class Connection {
  public:
    // How an open handshake ended.
    enum class OpenStatus {
        kOk,
        kVersionMismatch,  // the simulator answered with a version-mismatch exception
        kNoAnswer,         // nothing came back in time
        kClosed,           // the simulator closed before it answered, on a message boundary
        kBadAnswer,        // the answer broke the protocol, or the stream broke inside it
        kCancelled,
    };
    struct OpenResult {
        std::unique_ptr<Connection> connection;
        OpenStatus status = OpenStatus::kOk;
        std::string detail;  // what was wrong with a bad answer
    };
    // Sends the open request of `protocol` over `stream` and waits at most `timeout` for the
    // simulator's open message, looking at `cancel` every few tens of milliseconds. Messages of
    // up to `maxMessageSize` bytes are read whole. The open message stays pending, so that the
    // first dispatch delivers it. `onThisMachine`: the stream's peer is this machine.
    static OpenResult Handshake(std::unique_ptr<platform::ByteStream> stream, uint32_t protocol,
                                uint32_t maxMessageSize, bool onThisMachine,
                                const std::string& appName, std::chrono::milliseconds timeout,
                                const std::atomic<bool>& cancel);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Notes the item so that later data for the definition can be checked, then sends it.
    HRESULT AddToDataDefinition(const simconnect::AddToDataDefinitionRequest& request)
        EXCLUDES(m_stateMutex, m_sendMutex);
    // Sends one request. E_FAIL once the connection has failed; a failed write fails it.
    HRESULT Send(const simconnect::RequestBody& body) EXCLUDES(m_sendMutex);
    // See SimConnect_CallDispatch.
    HRESULT Dispatch(DispatchProc proc, void* context) EXCLUDES(m_readMutex, m_stateMutex);
    // The simulator runs on this machine (a loopback address or a local pipe).
    bool OnThisMachine() const { return m_onThisMachine; }

  private:
    Connection(std::unique_ptr<platform::ByteStream> stream, uint32_t protocol,
               uint32_t maxMessageSize, bool onThisMachine)
        : m_stream(std::move(stream)),
          m_protocol(protocol),
          m_maxMessageSize(maxMessageSize),
          m_onThisMachine(onThisMachine) {}

    // Reads what the stream holds without waiting; notes the end of the stream or an error.
    void ReadAvailable() REQUIRES(m_readMutex);
    // Records the first failure; later ones do not replace it. Ends the stream for both sides.
    void Fail(HRESULT status);
    bool IsValid(const uint8_t* frame, uint32_t size, std::string* error = nullptr)
        EXCLUDES(m_stateMutex);
    static HRESULT StatusFor(const platform::Status& status);

    const std::unique_ptr<platform::ByteStream> m_stream;
    const uint32_t m_protocol;
    const uint32_t m_maxMessageSize;
    const bool m_onThisMachine;
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

}  // namespace simconnect
