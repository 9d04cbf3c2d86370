#include <cerrno>

#include "tests/support/SystemFacts.h"

namespace txtest {

SimulatorDefault DefaultSimulator() {
    return {"2048", "127.0.0.1:2048"};
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
