#include <chrono>

#include "tests/support/GaugeEnd.h"
#include "tests/windows/support/PipeServer.h"

namespace txtest {

// The gauge's pipe is a named pipe with one instance, which the gauge makes and reads.
struct GaugeEnd::State {
    explicit State(const std::string& path) : pipe(path) { pipe.Create(); }
    PipeServer pipe;
};

GaugeEnd::GaugeEnd(const std::string& path) : m_state(std::make_unique<State>(path)) {}

GaugeEnd::~GaugeEnd() = default;

bool GaugeEnd::Accept() {
    return m_state->pipe.WaitForClient(std::chrono::seconds(5));
}

std::string GaugeEnd::Read(size_t count) {
    return m_state->pipe.Read(count, std::chrono::seconds(5));
}

bool GaugeEnd::ended() const {
    return m_state->pipe.LastError() == 109;  // ERROR_BROKEN_PIPE: the client closed its end
}

void GaugeEnd::Restart() {
    m_state->pipe.Listen();
}

void GaugeEnd::Leave() {
    m_state->pipe.Close();
}

}  // namespace txtest
