#include "bench/Browser.h"

#include <cctype>
#include <cstdlib>

#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace txbench {
namespace {

using Clock = std::chrono::steady_clock;

// Where the head ends and how long the body is, once the head is whole.
struct HeadScan {
    size_t end = std::string::npos;
    size_t separator = 4;  // "\r\n\r\n", or 2 for "\n\n"
    long long length = -1;

    bool Whole() const { return end != std::string::npos; }
    bool BodyDone(const std::string& data) const {
        return Whole() && length >= 0 &&
               data.size() >= end + separator + static_cast<size_t>(length);
    }
    void Look(const std::string& data) {
        if (Whole()) return;
        end = data.find("\r\n\r\n");
        const size_t bare = data.find("\n\n");
        if (bare != std::string::npos && bare < end) {
            end = bare;
            separator = 2;
        }
        if (!Whole()) return;
        std::string head = data.substr(0, end);
        for (char& c : head) c = static_cast<char>(std::tolower(c));
        const size_t at = head.find("\ncontent-length:");
        if (at != std::string::npos) length = std::atoll(head.c_str() + at + 16);
    }
};

Response Parse(const std::string& data, const HeadScan& scan) {
    Response response;
    if (!scan.Whole()) return response;
    response.status = data.substr(0, data.find_first_of("\r\n"));
    const size_t bodyFrom = scan.end + scan.separator;
    size_t bodySize = data.size() - bodyFrom;
    if (scan.length >= 0) {
        if (bodySize < static_cast<size_t>(scan.length)) return response;
        bodySize = static_cast<size_t>(scan.length);
    }
    response.body = data.substr(bodyFrom, bodySize);
    response.ok = response.status.rfind("HTTP/1.1 2", 0) == 0;
    return response;
}

}  // namespace

std::string BrowserHead(const std::string& path, int port) {
    return "GET " + path + " HTTP/1.1\r\n" + "Host: 127.0.0.1:" + std::to_string(port) +
           "\r\n"
           "Connection: keep-alive\r\n"
           "Upgrade-Insecure-Requests: 1\r\n"
           "User-Agent: Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
           "Chrome/120.0.0.0 Safari/537.36\r\n"
           "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
           "image/apng,*/*;q=0.8,application/signed-exchange;v=b3;q=0.7\r\n"
           "Referer: http://127.0.0.1:" +
           std::to_string(port) +
           "/MCDU\r\n"
           "Accept-Encoding: gzip, deflate, br\r\n"
           "Accept-Language: en-US,en;q=0.9\r\n\r\n";
}

SocketHandle ConnectBrowser(int port) {
    const SocketHandle socket = txtest::ConnectLoopback("127.0.0.1", port);
    if (socket != platform::kInvalidSocket) platform::SetNoDelay(socket);
    return socket;
}

bool SendText(SocketHandle socket, const std::string& bytes) {
    return txtest::SendAllBytes(socket, bytes.data(), bytes.size());
}

bool FirstByteWithin(SocketHandle socket, std::chrono::milliseconds timeout) {
    return txtest::WaitReadable(socket, timeout);
}

void CloseBrowser(SocketHandle socket) {
    txtest::CloseTestSocket(socket);
}

Response ReadResponse(SocketHandle socket, std::chrono::milliseconds timeout) {
    std::string data;
    HeadScan scan;
    const auto until = Clock::now() + timeout;
    char buffer[65536];
    while (!scan.BodyDone(data)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0 || !txtest::WaitReadable(socket, left)) return {};
        const long n = txtest::ReceiveSome(socket, buffer, sizeof buffer);
        if (n < 0) return {};
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
        scan.Look(data);
    }
    return Parse(data, scan);
}

Response Fetch(int port, const std::string& path, std::chrono::milliseconds timeout) {
    const SocketHandle socket = ConnectBrowser(port);
    if (socket == platform::kInvalidSocket) return {};
    Response response;
    if (SendText(socket, BrowserHead(path, port))) response = ReadResponse(socket, timeout);
    CloseBrowser(socket);
    return response;
}

}  // namespace txbench
