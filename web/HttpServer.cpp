#include "web/HttpServer.h"

#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "log/Log.h"
#include "platform/CalendarTime.h"
#include "platform/Net.h"
#include "web/ServerHost.h"
#include "web/Socket.h"
#include "web/SocketServer.h"
#include "web/WebServer.h"

using logging::LogFile;
using logging::LogLine;

namespace web {

namespace {

// Logs why a line could not be read when a bound cut it short; a peer that closed, failed or sent
// an empty line has nothing more to report (the socket logs an empty line itself).
void LogReceiveStop(const platform::Status& stop, const char* what) {
    switch (stop.Kind()) {
        case platform::ErrorKind::kTooLong:
            LogLine(LogFile, "Webserver: %s longer than %zu bytes; connection closed.\n", what,
                    kMaxRequestLineBytes);
            break;
        case platform::ErrorKind::kTimedOut:
            LogLine(LogFile,
                    "Webserver: request not complete within %lld s of the accept; connection "
                    "closed.\n",
                    static_cast<long long>(kRequestHeadTimeout.count()));
            break;
        default:
            break;
    }
}

// Logs a failure of the listener as the socket layer's word and the system's text.
void LogSocketError(const WebServer& server, const char* word, const platform::Status& error) {
    const std::string reason = error.Code() != 0 ? error.Text() : "no error code";
    LogLine(LogFile, "Webserver: socket error on port %u: %s (%s).\n", server.m_nPort, word,
            reason.c_str());
}

// Waits until the server should try to accept: at once when it does not wait for the simulator
// or the simulator is online. False when the stop flag was raised meanwhile.
bool WaitUntilAccepting(WebServer& server) {
    const web::ServerHost& host = server.Host();
    while (!server.m_bStopThread.load()) {
        if (!server.WaitsForSim() || host.IsSimOnline()) return true;
        std::this_thread::sleep_for(kSimWaitPollInterval);
    }
    return false;
}

}  // namespace

std::string ContentTypeLine(const std::string& path) {
    if (path.find(".jpg") != std::string::npos) return "Content-Type: image/jpeg";
    if (path.find(".png") != std::string::npos) return "Content-Type: image/png";
    return "Content-Type: text/html; charset=ISO-8859-1";
}

std::string DateLine(std::time_t when) {
    std::tm utc{};
    std::string date;
    if (platform::ToUtcTime(when, utc)) date = platform::AsctimeText(utc);
    if (!date.empty() && date.back() == '\n') date.pop_back();
    return "Date: " + date + " GMT";
}

void SendResponse(Socket& client, const HttpRequest& request, std::time_t now) {
    // The head, the body and its closing line feed leave in one gathered send: the bytes are
    // those of a line-by-line answer, without a system call per line.
    std::string head;
    head.reserve(256);
    head.append("HTTP/1.1 ").append(request.status).push_back('\n');
    head.append(DateLine(now)).push_back('\n');
    head.append("Server: ").append(kServerName).push_back('\n');
    head.append("Connection: close\n");
    head.append(ContentTypeLine(request.path)).push_back('\n');
    head.append("Content-Length: ").append(std::to_string(request.body.size())).push_back('\n');
    head.push_back('\n');
    client.SendAll({head, request.body, "\n"});
}

void HandleConnection(WebServer& server) {
    const std::shared_ptr<Socket> client = server.Client();
    if (!client) return;
    web::ServerHost& host = server.Host();

    const platform::Result<std::string> received = client->ReceiveLine();
    const std::string& line = received.value;
    if (line.empty()) {
        LogReceiveStop(received.status, "request line");
        server.CloseClient();
        return;
    }

    HttpRequest request;
    if (!web::ParseRequestLine(line, request)) {
        LogLine(LogFile, "Webserver: request line without a target; connection closed.\n");
        server.CloseClient();
        return;
    }
    request.status = "202 OK";
    request.client = client.get();

    int headerLines = 0;
    while (!server.m_bStopThread.load()) {
        // Tested before every line, the last one included, so that a request arriving while the
        // simulator is away is always answered with the offline page.
        if (!host.IsSimOnline()) request.path = "/offline";
        platform::Result<std::string> received = client->ReceiveLine();
        std::string& header = received.value;
        if (header.empty()) {
            // A stop seen while waiting for the line ends the header section like the loop test.
            if (received.status.Kind() == platform::ErrorKind::kCancelled) break;
            LogReceiveStop(received.status, "header line");
            server.CloseClient();
            return;
        }
        if (header[0] == '\r' || header[0] == '\n') break;
        if (++headerLines > kMaxHeaderLines) {
            LogLine(LogFile, "Webserver: more than %d header lines; connection closed.\n",
                    kMaxHeaderLines);
            server.CloseClient();
            return;
        }
        const size_t lineEnd = header.find_first_of("\r\n");
        if (lineEnd != std::string::npos) header.erase(lineEnd);
        CaptureHeader(request, header);
    }

    try {
        server.Handler()(request, host);
    } catch (const std::exception& error) {
        LogLine(LogFile, "Webserver: page handler failed for [%s]: %s; connection closed.\n",
                request.path.c_str(), error.what());
        server.CloseClient();
        return;
    }
    // The key goes to the gauge whatever becomes of the answer.
    if (request.mcduKey) server.SendKey(*request.mcduKey);
    if (server.m_bStopThread.load()) {
        server.CloseClient();
        return;
    }
    SendResponse(*client, request, std::time(nullptr));
    server.CloseClient();
}

void ServeConnections(WebServer& server) {
    server.ConnectMcduPipe();
    platform::Result<std::unique_ptr<SocketServer>> listening =
        SocketServer::Listen(server.m_nPort, 5, 0);
    if (!listening.IsOk()) {
        const bool noLibrary = listening.status.Kind() == platform::ErrorKind::kUnsupported;
        LogSocketError(server, noLibrary ? kSocketErrorLibrary : kSocketErrorCreate,
                       listening.status);
    } else {
        SocketServer& listener = *listening.value;
        while (!server.m_bStopThread.load()) {
            if (!WaitUntilAccepting(server)) break;
            // Waiting with a time-out keeps the stop flag in view while no client comes.
            if (!listener.WaitForClient(kAcceptPollInterval)) continue;
            platform::Result<std::unique_ptr<Socket>> accepted = listener.Accept();
            // A connection that broke down before it was taken: wait for the next one.
            if (accepted.status.Kind() == platform::ErrorKind::kWouldBlock) continue;
            if (!accepted.IsOk()) {
                LogSocketError(server, kSocketErrorAccept, accepted.status);
                break;
            }
            std::unique_ptr<Socket> client = std::move(accepted.value);
            if (!client) {
                LogLine(LogFile, "Socket accept failed.\n");
                break;
            }
            client->SetReceiveBounds(kMaxRequestLineBytes,
                                     Socket::Clock::now() + kRequestHeadTimeout,
                                     &server.m_bStopThread);
            client->SetSendTimeout(kResponseSendTimeout);
            server.SetClient(std::move(client));
            HandleConnection(server);
        }
    }
    // A connection left over by a failure above is not kept past the run.
    server.CloseClient();
}

}  // namespace web
