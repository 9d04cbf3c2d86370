#include "tools/gauge-standin-win32/GaugePipeServer.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// The program writes 2 bytes at a time; a buffer of this size holds a long burst of key presses.
constexpr DWORD kPipeBuffer = 4096;

}  // namespace

GaugePipeServer::GaugePipeServer(std::string pipeName, GaugeLog& log, Faults faults)
    : m_name(std::move(pipeName)), m_log(log), m_faults(faults), m_messages(log, [](int) {}) {}

GaugePipeServer::~GaugePipeServer() {
    if (m_pipe != INVALID_HANDLE_VALUE) ::CloseHandle(m_pipe);
    if (m_ioEvent != nullptr) ::CloseHandle(m_ioEvent);
}

bool GaugePipeServer::Listen() {
    m_ioEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_ioEvent == nullptr) {
        m_log.Line("GAUGE: CreateEvent failed w/err %lu", ::GetLastError());
        return false;
    }
    // Duplex, although nothing is ever written back: a client that opens the pipe for reading
    // too is still served. The first-instance flag keeps a second gauge from sharing the name.
    m_pipe = ::CreateNamedPipeA(
        m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kPipeBuffer, kPipeBuffer, 0, nullptr);
    if (m_pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) {
            m_log.Line("GAUGE: another gauge serves %s; not taking it over", m_name.c_str());
        } else {
            m_log.Line("GAUGE: cannot create the pipe %s w/err %lu", m_name.c_str(), error);
        }
        return false;
    }
    m_log.Line("GAUGE: listening on %s", m_name.c_str());
    return true;
}

GaugePipeServer::Wait GaugePipeServer::Complete(HANDLE stopEvent, DWORD* bytes, DWORD* error) {
    *bytes = 0;
    *error = 0;
    HANDLE handles[2] = {stopEvent, m_ioEvent};
    const DWORD which = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0 + 1) {
        if (which != WAIT_OBJECT_0)
            m_log.Line("GAUGE: WaitForMultipleObjects failed w/err %lu", ::GetLastError());
        // The overlapped structure must outlive the operation: cancel it and see it end.
        ::CancelIoEx(m_pipe, &m_overlapped);
        DWORD ignored = 0;
        ::GetOverlappedResult(m_pipe, &m_overlapped, &ignored, TRUE);
        return which == WAIT_OBJECT_0 ? Wait::Stopped : Wait::Failed;
    }
    if (!::GetOverlappedResult(m_pipe, &m_overlapped, bytes, FALSE)) *error = ::GetLastError();
    return Wait::Done;
}

GaugePipeServer::Wait GaugePipeServer::Accept(HANDLE stopEvent) {
    for (;;) {
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = m_ioEvent;
        ::ResetEvent(m_ioEvent);
        DWORD error = ::ConnectNamedPipe(m_pipe, &m_overlapped) ? 0 : ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            DWORD bytes = 0;
            const Wait waited = Complete(stopEvent, &bytes, &error);
            if (waited != Wait::Done) return waited;
        }
        if (error == ERROR_NO_DATA) {
            // A client came and went before it was taken: free the instance for the next one.
            ::DisconnectNamedPipe(m_pipe);
            continue;
        }
        if (error != 0 && error != ERROR_PIPE_CONNECTED) {
            m_log.Line("GAUGE: ConnectNamedPipe failed w/err %lu", error);
            return Wait::Failed;
        }
        m_connected = true;
        m_messages.Reset();
        m_log.Line("GAUGE: program connected (connection %d)", ++m_connections);
        return Wait::Done;
    }
}

GaugePipeServer::Wait GaugePipeServer::ReadClient(HANDLE stopEvent, bool* connectionEnded,
                                                  bool* exitNow) {
    // A fault strikes after a whole number of messages: read no further than that, so that the
    // bytes behind it stay unread in the pipe as they would in a gauge that went.
    int nextFault = 0;
    for (int at : {m_faults.disconnectAfter, m_faults.exitAfter, m_faults.stallAfter}) {
        if (at > m_messages.Count() && (nextFault == 0 || at < nextFault)) nextFault = at;
    }
    uint8_t buffer[256];
    DWORD limit = sizeof buffer;
    if (nextFault > 0)
        limit = std::min<DWORD>(limit, m_messages.BytesFor(nextFault - m_messages.Count()));

    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_ioEvent;
    ::ResetEvent(m_ioEvent);
    DWORD bytes = 0;
    DWORD error = ::ReadFile(m_pipe, buffer, limit, nullptr, &m_overlapped) ? 0 : ::GetLastError();
    if (error == 0 || error == ERROR_IO_PENDING) {
        const Wait waited = Complete(stopEvent, &bytes, &error);
        if (waited != Wait::Done) return waited;
    }
    if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) {
        m_messages.End();
        m_log.Line("GAUGE: program closed the connection");
        *connectionEnded = true;
        return Wait::Done;
    }
    if (error != 0) {
        m_log.Line("GAUGE: ReadFile failed w/err %lu; connection dropped", error);
        *connectionEnded = true;
        return Wait::Done;
    }
    if (m_messages.Feed(buffer, bytes) == GaugeMessages::Outcome::kDrop) {
        *connectionEnded = true;
        return Wait::Done;
    }
    const int count = m_messages.Count();
    if (m_faults.exitAfter > 0 && count >= m_faults.exitAfter) {
        m_log.Line("GAUGE: exiting after %d messages, as asked", count);
        *exitNow = true;
    } else if (m_faults.disconnectAfter > 0 && count >= m_faults.disconnectAfter) {
        // Logged once done, so that a writer waiting for the line meets the disconnected pipe.
        DropClient();
        m_log.Line("GAUGE: disconnected the program after %d messages, as asked", count);
        *connectionEnded = true;
    } else if (m_faults.stallAfter > 0 && count >= m_faults.stallAfter) {
        m_log.Line("GAUGE: reading no more after %d messages, as asked", count);
        // Holds the connection, and with it the only instance, until the stand-in is stopped.
        return ::WaitForSingleObject(stopEvent, INFINITE) == WAIT_OBJECT_0 ? Wait::Stopped
                                                                           : Wait::Failed;
    }
    return Wait::Done;
}

void GaugePipeServer::DropClient() {
    if (!m_connected) return;
    m_connected = false;
    // Whatever the program still writes to its handle now fails with ERROR_PIPE_NOT_CONNECTED.
    if (!::DisconnectNamedPipe(m_pipe))
        m_log.Line("GAUGE: DisconnectNamedPipe failed w/err %lu", ::GetLastError());
}

GaugePipeServer::Ending GaugePipeServer::Run(HANDLE stopEvent) {
    for (;;) {
        const Wait accepted = Accept(stopEvent);
        if (accepted != Wait::Done)
            return accepted == Wait::Stopped ? Ending::Stopped : Ending::Failed;
        bool ended = false;
        bool exitNow = false;
        while (!ended && !exitNow) {
            const Wait read = ReadClient(stopEvent, &ended, &exitNow);
            if (read != Wait::Done) return read == Wait::Stopped ? Ending::Stopped : Ending::Failed;
        }
        if (exitNow) return Ending::FaultExit;
        DropClient();
        if (m_faults.acceptDelayMs > 0) {
            // Until the instance is connected again, a client's CreateFile finds it busy.
            m_log.Line("GAUGE: busy for %lu ms, as asked", m_faults.acceptDelayMs);
            if (::WaitForSingleObject(stopEvent, m_faults.acceptDelayMs) == WAIT_OBJECT_0)
                return Ending::Stopped;
        }
    }
}
