#include "pipe/McduPipeClient.h"

#include "log/Log.h"
#include "platform/Paths.h"

using logging::LogLine;
using logging::LogText;

namespace mcdupipe {

namespace {

// A gauge that stops reading must not hold a writer (and the mutex) for ever: a write that
// cannot go out within this time fails like any other write.
constexpr std::chrono::milliseconds kWriteTimeout{5000};
// The close message goes at shutdown, after Stop: a gauge that reads takes it at once, and one
// that does not must not hold the end of the program.
constexpr std::chrono::milliseconds kCloseWriteTimeout{250};

// The gauge ended or restarted: a new connection may reach it again.
bool GaugeHasGone(const platform::Status& write) {
    return write.Kind() == platform::ErrorKind::kClosed;
}

}  // namespace

McduPipeClient::McduPipeClient(std::string path, logging::LogStream& log,
                               std::chrono::milliseconds busyWait)
    : m_path(path.empty() ? platform::McduPipePath() : std::move(path)),
      m_log(log),
      m_busyWait(busyWait) {}

McduPipeClient::~McduPipeClient() {
    platform::MutexLock lock(m_mutex);
    CloseHandleLocked();
}

bool McduPipeClient::ConnectMcduPipe() {
    platform::MutexLock lock(m_mutex);
    return ConnectLocked();
}

bool McduPipeClient::ConnectLocked() {
    m_bMcduPipeConnected = false;
    // A second start of the web server thread finds the first run's handle still open.
    CloseHandleLocked();
    // Once the program stops, the gauge has had (or is about to get) the close message: a key
    // still in flight must not open the pipe again behind it.
    if (m_bStopping.load()) return false;

    platform::Result<std::unique_ptr<platform::PipeConnection>> opened =
        platform::OpenPipe(m_path, platform::PipeWait{m_busyWait, &m_bStopping});
    if (!opened.IsOk()) {
        LogLine(m_log, "PIPE: Unable to open named pipe %s w/err 0x%08lx\n", m_path.c_str(),
                static_cast<unsigned long>(opened.status.Code()));
        return false;
    }
    m_pMcduPipe = std::move(opened.value);
    LogLine(m_log, "PIPE: The named pipe, %s, is connected.\n", m_path.c_str());
    const platform::Status mode = m_pMcduPipe->SetWriteMode();
    if (!mode.IsOk()) {
        LogLine(m_log, "PIPE: SetNamedPipeHandleState failed w/err 0x%08lx\n",
                static_cast<unsigned long>(mode.Code()));
        CloseHandleLocked();
        return false;
    }
    m_bMcduPipeConnected = true;
    return true;
}

platform::PipeWait McduPipeClient::SendWait() const {
    return platform::PipeWait{kWriteTimeout, &m_bStopping};
}

McduPipeClient::WriteResult McduPipeClient::WriteMessage(uint8_t code,
                                                         const platform::PipeWait& wait) {
    const uint8_t message[kPipeMessageSize] = {code, 0x00};
    const platform::Result<size_t> sent =
        m_pMcduPipe->Write(message, static_cast<size_t>(kPipeMessageSize), wait);
    WriteResult write;
    write.written = static_cast<long>(sent.value);
    write.status = sent.status;
    write.ok = sent.IsOk();
    write.result = write.ok ? 1 : 0;
    return write;
}

void McduPipeClient::CloseHandleLocked() {
    m_pMcduPipe.reset();
    m_bMcduPipeConnected = false;
}

void McduPipeClient::LogKeyFailure(const WriteResult& write, int code) {
    LogLine(m_log, "PIPE: WriteFile failed w/err 0x%08lx.\n",
            static_cast<unsigned long>(write.status.Code()));
    LogLine(m_log, "  Sends %ld bytes; Code: %d.", write.written, code);
    LogText(m_log, "  %ld bytes to write; bResult: %d\n", kPipeMessageSize, write.result);
}

void McduPipeClient::LogMessageFailure(const WriteResult& write) {
    LogLine(m_log, "PIPE: WriteFile failed w/err 0x%08lx.\n",
            static_cast<unsigned long>(write.status.Code()));
    LogLine(m_log, "  Sends %ld bytes; bResult: %d.", write.written, write.result);
}

bool McduPipeClient::SendKey(int code) {
    if (code < 0) {
        LogLine(m_log, "PIPE: Refused key code %d: not a key.\n", code);
        return false;
    }
    const uint8_t byte = static_cast<uint8_t>(MSG_PIPE_KEY + (code & 0xFF));

    platform::MutexLock lock(m_mutex);
    if (!m_pMcduPipe) {
        LogLine(m_log,
                "ERROR: Connection with MCDU input interface is lost. Please restart. (The pressed "
                "key code: %d)\n",
                byte);
        ConnectLocked();
        return false;  // dropped: the next key uses the new handle
    }
    WriteResult write = WriteMessage(byte, SendWait());
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends %ld bytes; Code: %d\n", write.written, byte);
        return true;
    }
    LogKeyFailure(write, byte);
    if (!GaugeHasGone(write.status)) return false;

    // The gauge went away (restarted, most likely): keeping the dead handle would lose every key
    // from now on, so reopen at once and give this key one more chance.
    CloseHandleLocked();
    if (!ConnectLocked()) return false;
    write = WriteMessage(byte, SendWait());
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends %ld bytes; Code: %d\n", write.written, byte);
        return true;
    }
    LogKeyFailure(write, byte);
    // Gone again right away: no handle is better than a dead one, the next key reconnects.
    if (GaugeHasGone(write.status)) CloseHandleLocked();
    return false;
}

bool McduPipeClient::SendProbe() {
    platform::MutexLock lock(m_mutex);
    if (!m_bMcduPipeConnected || !m_pMcduPipe) return false;
    const WriteResult write = WriteMessage(MSG_PIPE_DUMMY, SendWait());
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends MSG_PIPE_DUMMY, %ld bytes.\n", write.written);
        return true;
    }
    LogMessageFailure(write);
    if (GaugeHasGone(write.status)) {
        CloseHandleLocked();
        ConnectLocked();
    }
    return false;
}

bool McduPipeClient::SendClose() {
    platform::MutexLock lock(m_mutex);
    if (!m_pMcduPipe) return false;
    const WriteResult write = WriteMessage(MSG_PIPE_CLOSE, platform::PipeWait{kCloseWriteTimeout});
    if (write.ok) {
        LogLine(m_log, "PIPE: Sends MSG_PIPE_CLOSE, %ld bytes.\n", write.written);
    } else {
        LogMessageFailure(write);
    }
    CloseHandleLocked();
    return write.ok;
}

bool McduPipeClient::IsConnected() {
    platform::MutexLock lock(m_mutex);
    return m_bMcduPipeConnected;
}

bool McduPipeClient::IsValid() {
    platform::MutexLock lock(m_mutex);
    return m_pMcduPipe != nullptr;
}

}  // namespace mcdupipe
