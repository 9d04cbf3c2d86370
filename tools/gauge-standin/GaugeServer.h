#pragma once
// The gauge's end of the MCDU input pipe: it listens on the pipe's socket, takes the program's
// connection, one at a time, and reads its 2-byte messages. Key codes go to a handler; the probe is
// only logged; the close message drops the connection, and the next one is awaited.

#include <sys/types.h>

#include <string>

#include "tools/gauge-standin/GaugeLog.h"
#include "tools/gauge-standin/GaugeMessages.h"

class GaugeServer {
  public:
    using KeyHandler = GaugeMessages::KeyHandler;

    GaugeServer(std::string socketPath, GaugeLog& log, KeyHandler onKey);
    // Closes the connections and removes the socket file, if it is still the one made here.
    ~GaugeServer();
    GaugeServer(const GaugeServer&) = delete;
    GaugeServer& operator=(const GaugeServer&) = delete;

    // Creates the socket's folder (0700) when missing, takes over a socket file that nobody
    // listens on any more, refuses one a live gauge listens on, and starts listening. False,
    // with the reason logged, when it cannot.
    bool Listen();

    // Serves until `stopFd` becomes readable.
    void Run(int stopFd);

  private:
    bool PrepareFolder();
    bool TakeOverOldSocket();
    void Accept();
    void ReadClient();
    void DropClient();

    const std::string m_path;
    GaugeLog& m_log;
    GaugeMessages m_messages;
    int m_listener = -1;
    int m_client = -1;
    int m_connections = 0;
    // The socket file made here, so that only that one is removed at the end.
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
