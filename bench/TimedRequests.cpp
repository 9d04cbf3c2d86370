#include "bench/TimedRequests.h"

#include <cstdint>
#include <cstdio>

#include "bench/Browser.h"

namespace txbench {

using namespace std::chrono_literals;

std::optional<double> PressKey(int port, const std::string& path, TimedGauge& gauge) {
    const std::string head = BrowserHead(path, port);
    const SocketHandle socket = ConnectBrowser(port);
    if (socket == platform::kInvalidSocket) return std::nullopt;
    // Anything already waiting (the flight-start probe, for one) would pass for this key.
    gauge.Drain();
    const auto sent = Clock::now();
    SendText(socket, head);
    std::optional<Clock::time_point> arrived;
    for (int message = 0; message < 4; ++message) {
        std::string bytes;
        arrived = gauge.Receive(2, 2s, &bytes);
        if (!arrived || static_cast<uint8_t>(bytes[0]) < 0xFE) break;
        arrived.reset();  // a probe or close message, not the key
    }
    const Response response = ReadResponse(socket, 2s);
    CloseBrowser(socket);
    if (!arrived || !response.ok) {
        gauge.Drain();
        return std::nullopt;
    }
    return MicrosSince(sent, *arrived);
}

std::optional<double> FirstAnswerByte(int port, const std::string& path, TimedGauge* gauge) {
    const SocketHandle socket = ConnectBrowser(port);
    if (socket == platform::kInvalidSocket) return std::nullopt;
    if (gauge != nullptr) gauge->Drain();
    const auto sent = Clock::now();
    SendText(socket, BrowserHead(path, port));
    std::optional<double> took;
    if (FirstByteWithin(socket, 2s)) took = MicrosSince(sent);
    if (!ReadResponse(socket, 2s).ok) took.reset();
    CloseBrowser(socket);
    if (gauge != nullptr && !gauge->Receive(2, 2s)) took.reset();
    return took;
}

double Rate(int port, const std::string& path, int count, size_t expectedBody, int* failures) {
    const auto start = Clock::now();
    const auto deadline = start + 20s;
    int done = 0;
    for (; done < count && Clock::now() < deadline; ++done) {
        const Response response = Fetch(port, path, 5s);
        if (!response.ok || (expectedBody != kAnySize && response.body.size() != expectedBody)) {
            ++*failures;
        }
    }
    return done / (MsSince(start) / 1000.0);
}

std::string KeyPath(int press) {
    char path[32];
    std::snprintf(path, sizeof path, "/MCDU_KB_%02d", 12 + press % 10);
    return path;
}

}  // namespace txbench
