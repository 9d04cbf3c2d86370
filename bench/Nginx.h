#pragma once
// nginx as the peer of the web figures: Debian's /usr/sbin/nginx with one worker, started as a
// child process with a configuration of its own, serving one folder on a free loopback port.

#include <string>

#include "tests/support/TestSupport.h"

namespace txbench {

class Nginx {
  public:
    Nginx() = default;
    // The master must end by itself: killed outright, it would leave its worker behind.
    ~Nginx();
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    // Serves `root`, keeping its configuration, pid file and logs in `work`; true once it answers.
    bool Start(const std::string& root, const std::string& work);
    int port() const { return m_port; }
    txtest::ChildProcess& process() { return m_process; }

  private:
    txtest::ChildProcess m_process;
    int m_port = 0;
};

}  // namespace txbench
