#include "tests/support/ProgramRun.h"

#include <dirent.h>

#include <cstdlib>

#include "tests/support/TcpClient.h"

namespace txtest {

std::string ServerIni(int port, bool logging) {
    return std::string("[Common]\nLogging=") + (logging ? "1" : "0") +
           "\nDataRequestPeriod=1\n[Server]\nEnabled=1\nPort=" + std::to_string(port) +
           "\nWebserverWaits4Sim=0\n";
}

std::string Exchange(int port, const std::string& request, std::chrono::milliseconds timeout) {
    TcpClient client;
    if (!client.Connect(port)) return "";
    client.Send(request);
    return client.ReadUntilClosed(timeout);
}

std::string Get(int port, const std::string& path) {
    return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n");
}

bool IsWellFormedResponse(const std::string& response) {
    if (response.rfind("HTTP/1.1 ", 0) != 0) return false;
    const size_t headEnd = response.find("\n\n");
    if (headEnd == std::string::npos) return false;
    const std::string key = "\nContent-Length: ";
    const size_t at = response.find(key);
    if (at == std::string::npos || at > headEnd) return false;
    const size_t length = std::strtoul(response.c_str() + at + key.size(), nullptr, 10);
    return response.size() == headEnd + 2 + length + 1 && response.back() == '\n';
}

namespace {

int CountEntries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
    return count;
}

}  // namespace

int OpenDescriptors(pid_t pid) {
    return CountEntries("/proc/" + std::to_string(pid) + "/fd");
}

int Threads(pid_t pid) {
    return CountEntries("/proc/" + std::to_string(pid) + "/task");
}

}  // namespace txtest
