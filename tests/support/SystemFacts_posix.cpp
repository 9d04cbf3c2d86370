#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/SystemFacts.h"

namespace txtest {

SimulatorDefault DefaultSimulator() {
    return {platform::StreamTarget::Kind::IPv4, "127.0.0.1", "2048", "127.0.0.1:2048"};
}

std::string UnservedSimulatorPipeLine() {
    return "SimConnect: cannot reach the simulator at "
           "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect: named pipes exist only on "
           "Windows.\n";
}

int EmptyProfileValue(int) {
    return 0;
}

bool PeerResetIsSeen() {
    return true;
}

std::string AddressInUseText() {
    return "Address already in use";
}

bool HasUpNonLoopbackIPv4Interface() {
    return std::system("ip -4 -o addr show up 2>/dev/null | grep -v ' lo ' | grep -q inet") == 0;
}

bool VersionTravelsWithACopy() {
    return false;
}

std::string FileWriteDateText(const std::string& path) {
    const std::string command = "date -r '" + path + "' '+%d/%m/%Y %H:%M:%S'";
    char line[64] = {};
    if (FILE* output = ::popen(command.c_str(), "r"); output != nullptr) {
        if (std::fgets(line, sizeof line, output) == nullptr) line[0] = '\0';
        ::pclose(output);
    }
    return std::string(line, std::strcspn(line, "\n"));
}

RegularFileErrors RegularFileErrorNumbers() {
    return {ENOENT, EISDIR, EINVAL};
}

std::string GaugePipePath(const std::string& runtimeFolder) {
    return runtimeFolder + "/pipe/MCDU_Input";
}

PipeErrors PipeErrorNumbers() {
    return {ENOENT, EPIPE, EPIPE, EAGAIN, EAGAIN, EAGAIN};
}

}  // namespace txtest
