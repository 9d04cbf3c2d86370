// Waiting on many sockets over poll, woken through an eventfd.

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <vector>

#include "platform/PosixError.h"
#include "platform/SocketWaiter.h"

namespace platform {

struct SocketWaiter::State {
    int wakeFd = -1;
    std::vector<pollfd> entries;  // the waiting thread's, kept to spare an allocation per wait
};

Result<std::unique_ptr<SocketWaiter>> SocketWaiter::Create() {
    // Non-blocking: a wake-up never waits, however often it comes.
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return {PosixError(errno)};
    auto state = std::make_unique<State>();
    state->wakeFd = fd;
    return {Status(), std::unique_ptr<SocketWaiter>(new SocketWaiter(std::move(state)))};
}

SocketWaiter::SocketWaiter(std::unique_ptr<State> state) : m_state(std::move(state)) {}

SocketWaiter::~SocketWaiter() {
    ::close(m_state->wakeFd);
}

void SocketWaiter::Wake() {
    const uint64_t one = 1;
    // Never read: the count stays above zero, so every wait from now on returns at once.
    [[maybe_unused]] const ssize_t written = ::write(m_state->wakeFd, &one, sizeof one);
}

Status SocketWaiter::Wait(std::span<const SocketHandle> sockets, std::span<bool> ready,
                          std::chrono::milliseconds timeout) {
    std::vector<pollfd>& entries = m_state->entries;
    entries.clear();
    entries.push_back(pollfd{m_state->wakeFd, POLLIN, 0});
    for (const SocketHandle socket : sockets) entries.push_back(pollfd{socket, POLLIN, 0});
    const long long limit =
        timeout.count() < 0 ? -1 : std::min<long long>(timeout.count(), INT_MAX);
    const int count = ::poll(entries.data(), entries.size(), static_cast<int>(limit));
    for (size_t i = 0; i < sockets.size(); ++i) ready[i] = count > 0 && entries[i + 1].revents != 0;
    if (count > 0) return Status();
    if (count == 0) return Status(ErrorKind::kTimedOut);
    return PosixError(errno);
}

}  // namespace platform
