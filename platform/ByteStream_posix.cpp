// The simulator's byte stream on Linux: TCP on IPv4 or IPv6 (platform/SocketStream). A named pipe
// to the simulator exists only on Windows.

#include "platform/ByteStream.h"
#include "platform/SocketStream.h"

namespace platform {

StreamTarget DefaultSimulatorTarget() {
    return StreamTarget{StreamTarget::Kind::IPv4, "127.0.0.1", "2048", false};
}

Result<ConnectedStream> ConnectStream(const StreamTarget& target, std::chrono::milliseconds timeout,
                                      const std::atomic<bool>& cancel) {
    if (target.kind == StreamTarget::Kind::Pipe)
        return {Status(ErrorKind::kUnsupported, 0, "named pipes exist only on Windows")};
    return ConnectSocketStream(target, timeout, cancel);
}

}  // namespace platform
