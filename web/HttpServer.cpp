#include "web/HttpServer.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "log/Log.h"
#include "platform/CalendarTime.h"
#include "platform/Net.h"
#include "platform/SocketWaiter.h"
#include "web/ServerHost.h"
#include "web/Socket.h"
#include "web/SocketServer.h"
#include "web/WaitingConnections.h"
#include "web/WebServer.h"

using logging::LogFile;
using logging::LogLine;

namespace web {

namespace {

// Logs a failure of the listener as the socket layer's word and the system's text.
void LogSocketError(const WebServer& server, const char* word, const platform::Status& error) {
    const std::string reason = error.Code() != 0 ? error.Text() : "no error code";
    LogLine(LogFile, "Webserver: socket error on port %u: %s (%s).\n", server.m_nPort, word,
            reason.c_str());
}

}  // namespace

std::string ContentTypeLine(const std::string& path) {
    if (path.find(".jpg") != std::string::npos) return "Content-Type: image/jpeg";
    if (path.find(".png") != std::string::npos) return "Content-Type: image/png";
    return "Content-Type: text/html; charset=ISO-8859-1";
}

std::string DateLine(std::time_t when) {
    const platform::Result<std::tm> utc = platform::ToUtcTime(when);
    std::string date;
    if (utc.IsOk()) date = platform::AsctimeText(utc.value);
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

void HandleConnection(WebServer& server, std::unique_ptr<Socket> socket, HttpRequest request,
                      bool offline) {
    server.SetClient(std::move(socket));
    // Shutdown may have closed it already.
    const std::shared_ptr<Socket> client = server.Client();
    if (!client) return;
    web::ServerHost& host = server.Host();

    request.status = "202 OK";
    // Looked at once more now the head is whole, so that a request arriving while the simulator
    // is away is always answered with the offline page.
    if (offline || !host.IsSimOnline()) request.path = "/offline";

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

namespace {

// Logs why a head was refused. A lone line feed says what it was; the other refusals name the
// bound the head broke.
void LogRefusal(web::HeadResult result) {
    switch (result) {
        case web::HeadResult::kRequestLineTooLong:
            LogLine(LogFile, "Webserver: %s longer than %zu bytes; connection closed.\n",
                    "request line", kMaxRequestLineBytes);
            break;
        case web::HeadResult::kHeaderLineTooLong:
            LogLine(LogFile, "Webserver: %s longer than %zu bytes; connection closed.\n",
                    "header line", kMaxRequestLineBytes);
            break;
        case web::HeadResult::kTooManyHeaderLines:
            LogLine(LogFile, "Webserver: more than %d header lines; connection closed.\n",
                    kMaxHeaderLines);
            break;
        case web::HeadResult::kNoTarget:
            LogLine(LogFile, "Webserver: request line without a target; connection closed.\n");
            break;
        case web::HeadResult::kLoneLineFeed:
            LogLine(LogFile, "Webserver: empty line received: [%s].\n", "\n");
            break;
        default:
            break;
    }
}

constexpr web::HeadBounds kHeadBounds{kMaxRequestLineBytes, kMaxHeaderLines};

// True once the request line of `received` is whole: from then on each look at the head also
// looks at the simulator.
bool HasRequestLine(const std::string& received) {
    return received.find('\n') != std::string::npos;
}

// Takes what has arrived on the connection at `index`, which does not block, and serves it when
// its head is whole. A peer that closed or failed is closed without a word; a refused
// head is logged and closed.
void ReadAndServe(WebServer& server, web::WaitingConnections& waiting, size_t index) {
    web::WaitingConnection& connection = waiting[index];
    std::string& received = connection.received;
    const size_t used = received.size();
    received.resize(used + kMaxRequestLineBytes);
    platform::Result<size_t> got;
    do {
        got = platform::Receive(connection.socket->Handle(), received.data() + used,
                                kMaxRequestLineBytes);
    } while (got.status.Kind() == platform::ErrorKind::kInterrupted);
    received.resize(used + (got.IsOk() ? got.value : 0));
    // Not yet: a readiness that a receive then did not find.
    if (got.status.Kind() == platform::ErrorKind::kWouldBlock) return;
    if (!got.IsOk() || got.value == 0) {
        waiting.Close(index);
        return;
    }

    const web::RequestHead head = web::ParseRequestHead(received, kHeadBounds);
    if (head.result != web::HeadResult::kIncomplete && head.result != web::HeadResult::kComplete) {
        LogRefusal(head.result);
        waiting.Close(index);
        return;
    }
    if (HasRequestLine(received) && !server.Host().IsSimOnline()) connection.offlineSeen = true;
    if (head.result == web::HeadResult::kIncomplete) return;
    web::WaitingConnection taken = waiting.Take(index);
    HandleConnection(server, std::move(taken.socket), head.request, taken.offlineSeen);
}

// Takes the connection the listener has ready; a second one waiting behind it wakes the next wait
// at once, which spares a call that would find none. A client sends its request right after its
// connect, so the head has mostly arrived by now: it is read at once, and the connection joins
// the wait only when nothing has come yet. That spares a wait per request, which under Wine is a
// round trip to its server on a key's way to the gauge. False when the listener failed (logged).
bool AcceptOne(WebServer& server, SocketServer& listener, web::WaitingConnections& waiting) {
    platform::Result<std::unique_ptr<Socket>> accepted = listener.Accept();
    // One that broke down before it was taken.
    if (accepted.status.Kind() == platform::ErrorKind::kWouldBlock) return true;
    if (!accepted.IsOk()) {
        LogSocketError(server, kSocketErrorAccept, accepted.status);
        return false;
    }
    std::unique_ptr<Socket> client = std::move(accepted.value);
    if (!client) {
        LogLine(LogFile, "Socket accept failed.\n");
        return false;
    }
    client->SetSendTimeout(kResponseSendTimeout);
    waiting.Add(std::move(client), Socket::Clock::now());
    ReadAndServe(server, waiting, waiting.Size() - 1);
    return true;
}

// On a stop, the connection that has waited longest is handed on with what its head has given
// if its request line is whole, as a server reading that head line by line would have: the
// handler runs and its key goes to the gauge, but no answer is sent.
void HandOnOldest(WebServer& server, web::WaitingConnections& waiting) {
    waiting.Compact();
    if (waiting.Size() == 0 || !HasRequestLine(waiting[0].received)) return;
    const web::RequestHead head = web::ParseRequestHead(waiting[0].received, kHeadBounds);
    if (head.result != web::HeadResult::kIncomplete) return;
    web::WaitingConnection taken = waiting.Take(0);
    HandleConnection(server, std::move(taken.socket), head.request, taken.offlineSeen);
}

// The time the wait may take: up to the earliest deadline, and no longer than the look at the
// simulator's state needs while the server does not accept.
std::chrono::milliseconds WaitTime(const web::WaitingConnections& waiting, bool accepting) {
    auto limit = std::chrono::milliseconds(-1);
    if (!accepting) limit = kSimWaitPollInterval;
    const Socket::Clock::time_point deadline = waiting.NextDeadline();
    if (deadline != Socket::Clock::time_point::max()) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Socket::Clock::now());
        left = std::max(left, std::chrono::milliseconds(0));
        if (limit.count() < 0 || left < limit) limit = left;
    }
    return limit;
}

// Serves the listener's connections until the stop flag is raised or the listener fails: one
// wait covers the listener, every connection whose head is still coming and the stop's
// wake-up, and each head is served as soon as it is whole.
void ServeFrom(WebServer& server, SocketServer& listener, platform::SocketWaiter& waiter) {
    web::WaitingConnections waiting(kMaxWaitingConnections);
    std::vector<platform::SocketHandle> handles;
    std::unique_ptr<bool[]> ready;
    size_t readyCapacity = 0;
    while (!server.m_bStopThread.load()) {
        waiting.Compact();
        // A server that waits for the simulator leaves new connections in the queue meanwhile;
        // those it has taken are still served (with the offline page).
        const bool accepting = !server.WaitsForSim() || server.Host().IsSimOnline();
        handles.clear();
        waiting.Handles(handles);
        if (accepting) handles.push_back(listener.Handle());
        if (readyCapacity < handles.size()) {
            readyCapacity = handles.size();
            ready = std::make_unique<bool[]>(readyCapacity);
        }
        const platform::Status waited = waiter.Wait(
            handles, std::span<bool>(ready.get(), handles.size()), WaitTime(waiting, accepting));
        if (server.m_bStopThread.load()) break;
        if (!waited.IsOk() && waited.Kind() != platform::ErrorKind::kTimedOut &&
            waited.Kind() != platform::ErrorKind::kInterrupted) {
            LogSocketError(server, kSocketErrorAccept, waited);
            break;
        }
        if (!waited.IsOk()) std::fill_n(ready.get(), handles.size(), false);

        waiting.DropLate(Socket::Clock::now());
        // The heads in the order they become whole; the connections taken later wait for the
        // next look.
        const size_t count = waiting.Size();
        for (size_t i = 0; i < count && !server.m_bStopThread.load(); ++i) {
            if (ready[i] && waiting[i].socket) ReadAndServe(server, waiting, i);
        }
        if (server.m_bStopThread.load()) break;
        if (accepting && ready[handles.size() - 1] && !AcceptOne(server, listener, waiting)) break;
    }
    if (server.m_bStopThread.load()) HandOnOldest(server, waiting);
}

}  // namespace

void ServeConnections(WebServer& server) {
    server.ConnectMcduPipe();
    platform::Result<std::unique_ptr<SocketServer>> listening =
        SocketServer::Listen(server.m_nPort, kListenBacklog);
    if (!listening.IsOk()) {
        const bool noLibrary = listening.status.Kind() == platform::ErrorKind::kUnsupported;
        LogSocketError(server, noLibrary ? kSocketErrorLibrary : kSocketErrorCreate,
                       listening.status);
    } else {
        platform::Result<std::unique_ptr<platform::SocketWaiter>> waiter =
            platform::SocketWaiter::Create();
        if (!waiter.IsOk()) {
            LogSocketError(server, kSocketErrorCreate, waiter.status);
        } else {
            // Registered before the first look at the stop flag, so a stop is either seen there
            // or wakes the wait.
            server.SetWaiter(waiter.value.get());
            ServeFrom(server, *listening.value, *waiter.value);
            server.SetWaiter(nullptr);
        }
    }
    // A connection left over by a failure above is not kept past the run.
    server.CloseClient();
}

}  // namespace web
