#pragma once
// The gauge's end of the MCDU input pipe on Windows: the server of a byte-mode named pipe with a
// single instance, so one program at a time; when one goes the next is awaited. It reads the
// 2-byte messages and logs them as the Linux stand-in does, and it can misbehave on request, so
// that the program's handling of a gauge that disconnects, dies or stops reading can be tried.

#include <windows.h>

#include <string>

#include "tools/gauge-standin/GaugeLog.h"
#include "tools/gauge-standin/GaugeMessages.h"

class GaugePipeServer {
  public:
    // What to do wrong, counted in whole messages of one connection; 0 means never.
    struct Faults {
        int disconnectAfter = 0;  // DisconnectNamedPipe: the client's next write fails with 233
        int exitAfter = 0;        // end the process: the client's next write fails with 232
        int stallAfter = 0;       // stop reading, keep the connection: the client's writes block
        DWORD acceptDelayMs = 0;  // after a client went, stay busy (231) this long
    };
    enum class Ending { Stopped, FaultExit, Failed };

    GaugePipeServer(std::string pipeName, GaugeLog& log, Faults faults);
    ~GaugePipeServer();
    GaugePipeServer(const GaugePipeServer&) = delete;
    GaugePipeServer& operator=(const GaugePipeServer&) = delete;

    // Creates the pipe's only instance. False, with the reason logged, when it cannot, e.g.
    // because another gauge serves that name.
    bool Listen();

    // Serves until `stopEvent` is set, a fault ends it or the pipe fails.
    Ending Run(HANDLE stopEvent);

  private:
    enum class Wait { Done, Stopped, Failed };

    // Waits for the pending operation on the pipe; cancels it when `stopEvent` comes first.
    Wait Complete(HANDLE stopEvent, DWORD* bytes, DWORD* error);
    Wait Accept(HANDLE stopEvent);
    // One read and its messages; `connectionEnded` once the client went or is to be dropped,
    // `exitNow` when the exit fault struck.
    Wait ReadClient(HANDLE stopEvent, bool* connectionEnded, bool* exitNow);
    // Disconnects the program, if one is connected.
    void DropClient();

    const std::string m_name;
    GaugeLog& m_log;
    const Faults m_faults;
    GaugeMessages m_messages;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    // Signalled by the overlapped connect and read.
    HANDLE m_ioEvent = nullptr;
    OVERLAPPED m_overlapped{};
    int m_connections = 0;
    // A program holds the instance: it is to be disconnected before the next can come.
    bool m_connected = false;
};
