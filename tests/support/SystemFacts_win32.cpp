#include <winsock2.h>

#include "platform/Status.h"
#include "tests/support/SystemFacts.h"

namespace txtest {

SimulatorDefault DefaultSimulator() {
    return {"Microsoft Flight Simulator\\SimConnect",
            "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect"};
}

std::string UnservedSimulatorPipeLine() {
    return {};
}

int EmptyProfileValue(int defaultValue) {
    return defaultValue;
}

bool PeerResetIsSeen() {
    return false;
}

std::string AddressInUseText() {
    // The product's own words for a system number: the test looks at the failure it reports.
    return platform::SystemErrorText(WSAEADDRINUSE);
}

RegularFileErrors RegularFileErrorNumbers() {
    return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER};
}

std::string GaugePipePath(const std::string&) {
    return "\\\\.\\pipe\\MCDU_Input";
}

PipeErrors PipeErrorNumbers() {
    return {ERROR_FILE_NOT_FOUND, ERROR_PIPE_NOT_CONNECTED, ERROR_NO_DATA,
            ERROR_PIPE_BUSY,      ERROR_SEM_TIMEOUT,        WAIT_TIMEOUT};
}

}  // namespace txtest
