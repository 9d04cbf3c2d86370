#include "bench/Nginx.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <sstream>

#include "bench/Browser.h"
#include "bench/ChildWatch.h"

namespace txbench {
namespace {

std::string Configuration(const std::string& root, const std::string& work, int port) {
    std::ostringstream conf;
    if (::geteuid() == 0) conf << "user root;\n";  // the worker must read the private folder
    conf << "worker_processes 1;\ndaemon off;\npid " << work << "/nginx.pid;\n"
         << "error_log " << work << "/error.log;\n"
         << "events { worker_connections 768; }\n"
         << "http {\n"
         << "  sendfile on;\n  tcp_nopush on;\n  access_log off;\n"
         << "  types { text/html html; image/png png; image/jpeg jpg; }\n"
         << "  default_type text/html;\n"
         << "  client_body_temp_path " << work << "/temp/body;\n"
         << "  proxy_temp_path " << work << "/temp/proxy;\n"
         << "  fastcgi_temp_path " << work << "/temp/fastcgi;\n"
         << "  uwsgi_temp_path " << work << "/temp/uwsgi;\n"
         << "  scgi_temp_path " << work << "/temp/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port << ";\n"
         << "    root " << root << ";\n    index index.html;\n  }\n}\n";
    return conf.str();
}

}  // namespace

Nginx::~Nginx() {
    m_process.Signal(SIGTERM);
    WaitForExit(m_process, std::chrono::seconds(5));
}

bool Nginx::Start(const std::string& root, const std::string& work) {
    m_port = txtest::FreeTcpPort();
    std::filesystem::create_directories(work + "/temp");
    txtest::WriteFile(work + "/nginx.conf", Configuration(root, work, m_port));
    if (!m_process.Start("/usr/sbin/nginx", {"-p", work, "-c", work + "/nginx.conf"}, {}, work)) {
        return false;
    }
    return txtest::WaitUntil(
        [&] { return !Fetch(m_port, "/", std::chrono::seconds(1)).status.empty(); },
        std::chrono::seconds(10));
}

}  // namespace txbench
