#pragma once
// The client end of the MCDU input pipe, on which the aircraft's MCDU gauge listens. The program
// only ever writes into it, 2-byte messages (code, 0x00), each with a single write. Three threads
// use one client: the web server thread (connection at its start, key presses), the simulator
// worker (the flight-start probe and its reconnection) and the window thread (the close message at
// shutdown). One mutex serialises every send and every connection, so a write never reaches a
// handle another thread is closing or replacing.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "log/LogStream.h"
#include "platform/Mutex.h"
#include "platform/PipeConnection.h"

namespace mcdupipe {

// Byte 0 of every message; byte 1 is always 0x00. A key message carries MSG_PIPE_KEY + the key
// code, that is the key code itself (0..68 for the keys of the remote MCDU).
inline constexpr uint8_t MSG_PIPE_KEY = 0x00;
inline constexpr uint8_t MSG_PIPE_DUMMY = 0xFE;
inline constexpr uint8_t MSG_PIPE_CLOSE = 0xFF;
inline constexpr long kPipeMessageSize = 2;

class McduPipeClient {
  public:
    // How long one wait for a busy pipe (a full listen queue here) may last.
    static constexpr std::chrono::milliseconds kBusyWait{5000};

    // `path` is the pipe's name (platform::McduPipePath() when empty); `busyWait` exists so that
    // tests need not sit through the full wait. Nothing is opened here.
    explicit McduPipeClient(std::string path = {}, logging::LogStream& log = logging::LogFile,
                            std::chrono::milliseconds busyWait = kBusyWait);
    ~McduPipeClient();
    McduPipeClient(const McduPipeClient&) = delete;
    McduPipeClient& operator=(const McduPipeClient&) = delete;

    // Opens the pipe anew (closing a handle that is still open first), waiting out a busy pipe.
    // Returns the new value of the connected flag.
    bool ConnectMcduPipe() EXCLUDES(m_mutex);

    // A key press. Negative numbers are refused; 0..255 go out as they are, larger numbers as their
    // low 8 bits. While the handle is invalid the key is dropped and one reconnection is tried.
    // A write that finds the gauge gone reconnects once and writes the same key again. True when
    // the key reached the pipe.
    bool SendKey(int code) EXCLUDES(m_mutex);

    // The flight-start probe, written only while connected with a valid handle. When the gauge
    // has gone the handle is closed and the pipe opened anew. True when the probe was written.
    bool SendProbe() EXCLUDES(m_mutex);

    // The shutdown message, written only while the handle is valid; the handle is closed either
    // way. True when the message was written.
    bool SendClose() EXCLUDES(m_mutex);

    // From now on no connection, key or probe waits for a gauge that does not take it (any
    // thread): one that waits gives up within a few tens of milliseconds, so that the threads
    // that write can be joined at shutdown. A message that goes out at once still goes, the close
    // message keeps its own short wait, and the pipe is not opened again.
    void Stop() { m_bStopping.store(true); }

    bool IsConnected() EXCLUDES(m_mutex);
    bool IsValid() EXCLUDES(m_mutex);
    const std::string& PipePath() const { return m_path; }

  private:
    struct WriteResult {
        bool ok = false;          // the call succeeded and wrote the whole message
        int result = 0;           // the call's own outcome, 1 or 0, as the log reports it
        long written = 0;         // bytes written
        platform::Status status;  // why the call failed, with the system's number (errno here)
    };

    bool ConnectLocked() REQUIRES(m_mutex);
    WriteResult WriteMessage(uint8_t code, const platform::PipeWait& wait) REQUIRES(m_mutex);
    // The wait of a key or a probe: the write time-out, ended early by Stop.
    platform::PipeWait SendWait() const;
    void CloseHandleLocked() REQUIRES(m_mutex);
    void LogKeyFailure(const WriteResult& write, int code);
    void LogMessageFailure(const WriteResult& write);

    const std::string m_path;
    logging::LogStream& m_log;
    const std::chrono::milliseconds m_busyWait;
    // Raised once by Stop (window thread at shutdown); read by every wait of the pipe.
    std::atomic<bool> m_bStopping{false};

    // Held around every send and every connection, by whichever of the three threads calls.
    platform::Mutex m_mutex;
    // Written by ConnectMcduPipe, the failure handling of the sends and SendClose, on any of the
    // three threads; read, used and changed only under m_mutex. Null while no handle is open.
    std::unique_ptr<platform::PipeConnection> m_pMcduPipe GUARDED_BY(m_mutex);
    bool m_bMcduPipeConnected GUARDED_BY(m_mutex) = false;
};

}  // namespace mcdupipe
