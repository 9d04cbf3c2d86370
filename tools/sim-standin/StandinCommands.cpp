// The stand-in's control channel: one command per line, one answer line each (README.md).

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "StandinServer.h"
#include "simconnect/SimConnect.h"

namespace {

bool ParseU32(const std::string& text, uint32_t* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0') return false;
    if (value < -2147483648LL || value > 4294967295LL) return false;
    *out = static_cast<uint32_t>(value);
    return true;
}

// `frame` with another size word.
std::vector<uint8_t> WithSize(std::vector<uint8_t> frame, uint32_t size) {
    std::memcpy(frame.data(), &size, 4);
    return frame;
}

}  // namespace

void StandinServer::ReadControl(Control& control) {
    char chunk[4096];
    const ssize_t n = ::recv(control.fd, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        ::close(control.fd);
        control.closed = true;
        return;
    }
    if (n < 0) return;
    control.input.append(chunk, static_cast<size_t>(n));
    size_t newline;
    while ((newline = control.input.find('\n')) != std::string::npos) {
        std::string line = control.input.substr(0, newline);
        control.input.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        Log("control: %s", line.c_str());
        const std::string reply = HandleCommand(line) + "\n";
        ::send(control.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (m_quit) return;
    }
    if (control.input.size() > 65536) {
        ::close(control.fd);
        control.closed = true;
    }
}

std::string StandinServer::HandleCommand(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::vector<std::string> args;
    for (std::string word; in >> word;) args.push_back(word);
    // The rest of the line after the first `skip` words, inner blanks kept.
    auto rest = [&line](size_t skip) {
        size_t at = 0;
        for (size_t i = 0; i < skip; ++i) {
            while (at < line.size() && line[at] == ' ') ++at;
            while (at < line.size() && line[at] != ' ') ++at;
        }
        while (at < line.size() && line[at] == ' ') ++at;
        return line.substr(at);
    };
    uint32_t a = 0, b = 0, c = 0;

    if (command == "help") {
        return "ok commands: status start pause N quit drop close|reset|cut|malformed [size|huge|"
               "short|data|text] window hide|show kind N exception CODE [SENDID [INDEX]] event "
               "ID "
               "[DATA] filename ID NAME title [TEXT] set FIELD VALUE fly data";
    }
    if (command == "status") {
        const FlightValues& v = m_model.Values();
        std::ostringstream out;
        out << "ok window=" << (m_window.IsLocked() ? 1 : 0) << " clients=" << m_clients.size()
            << " phase=" << FlightModel::PhaseName(m_model.CurrentPhase())
            << " flying=" << (m_flying ? 1 : 0) << " paused=" << (m_paused ? 1 : 0)
            << " held=" << (m_held ? 1 : 0) << " ias=" << v.ias << " mach=" << v.mach
            << " altitude=" << v.altitude << " fuel=" << v.fuelTotal << " next=" << v.nextWpId;
        return out.str();
    }
    if (command == "start") {
        StartFlight();
        return "ok";
    }
    if (command == "pause") {
        if (args.size() != 1 || !ParseU32(args[0], &a)) return "error: pause N";
        SetPaused(a);
        return "ok";
    }
    if (command == "quit") {
        Quit();
        return "ok";
    }
    if (command == "drop") return Drop(args);
    if (command == "window") {
        const std::string mode = args.empty() ? "" : args[0];
        if (mode == "hide") {
            m_window.Unlock();
            Log("standin: main window hidden");
            return "ok";
        }
        if (mode == "show") {
            if (!m_window.IsLocked() && !m_window.TryLock(m_options.lockPath))
                return "error: the main-window lock is held elsewhere";
            Log("standin: main window shown");
            return "ok";
        }
        return "error: window hide|show";
    }
    if (command == "kind") {
        if (args.size() != 1 || !ParseU32(args[0], &a)) return "error: kind N";
        SendToAll([a](uint32_t version) { return simconnect::EncodeRawMessage(version, a, {}); });
        return "ok";
    }
    if (command == "exception") {
        if (args.empty() || args.size() > 3 || !ParseU32(args[0], &a) ||
            (args.size() > 1 && !ParseU32(args[1], &b)) ||
            (args.size() > 2 && !ParseU32(args[2], &c)))
            return "error: exception CODE [SENDID [INDEX]]";
        SendToAll([=](uint32_t version) { return simconnect::EncodeException(version, a, b, c); });
        return "ok";
    }
    if (command == "event") {
        if (args.empty() || args.size() > 2 || !ParseU32(args[0], &a) ||
            (args.size() > 1 && !ParseU32(args[1], &b)))
            return "error: event ID [DATA]";
        SendToAll([=](uint32_t version) {
            return simconnect::EncodeEvent(version, SIMCONNECT_UNUSED, a, b);
        });
        return "ok";
    }
    if (command == "filename") {
        if (args.size() < 2 || !ParseU32(args[0], &a)) return "error: filename ID NAME";
        const std::string name = rest(2);
        if (name.size() >= simconnect::kFileNameFieldSize) return "error: file name too long";
        SendToAll([&](uint32_t version) {
            return simconnect::EncodeEventFilename(version, SIMCONNECT_UNUSED, a, 0, name, 0);
        });
        return "ok";
    }
    if (command == "title") {
        const std::string text = rest(1);
        for (Client& client : m_clients) {
            if (client.opened)
                SendData(client, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, client.titleRequest,
                         client.titleDefine, text);
        }
        return "ok";
    }
    if (command == "set") {
        if (args.size() != 2 && !(args.size() == 1 && args[0] == "wpid"))
            return "error: set FIELD VALUE";
        if (!m_model.SetValue(args[0], args.size() > 1 ? args[1] : ""))
            return "error: fields ias mach altitude heading wpdistance fuel groundspeed vspeed "
                   "wpid";
        m_held = true;
        return "ok held";
    }
    if (command == "fly") {
        m_held = false;
        return "ok";
    }
    if (command == "data") {
        for (Client& client : m_clients) {
            for (auto& [requestId, periodic] : client.periodic) {
                if (client.closed) break;
                SendData(client, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, periodic.defineId,
                         m_options.title);
            }
        }
        return "ok";
    }
    return "error: unknown command (try help)";
}

std::string StandinServer::Drop(const std::vector<std::string>& args) {
    const std::string mode = args.empty() ? "" : args[0];
    if (mode == "close") {
        for (Client& client : m_clients) DrainAndClose(client, "dropped in order");
        return "ok";
    }
    if (mode == "reset") {
        for (Client& client : m_clients) client.resetArmed = true;
        return "ok armed: the next request of each client resets its connection";
    }
    if (mode == "cut") {
        for (Client& client : m_clients) {
            const std::vector<uint8_t> frame =
                simconnect::EncodeEvent(client.protocol, SIMCONNECT_UNUSED, 0, 0);
            const std::vector<uint8_t> part(frame.begin(), frame.begin() + 10);
            if (SendFrame(client, part)) DrainAndClose(client, "cut inside a frame");
        }
        return "ok";
    }
    if (mode != "malformed") return "error: drop close|reset|cut|malformed";
    const std::string variant = args.size() > 1 ? args[1] : "size";
    MessageFor message;
    if (variant == "size") {
        message = [](uint32_t version) { return WithSize(simconnect::EncodeQuit(version), 8); };
    } else if (variant == "huge") {
        message = [](uint32_t version) {
            return WithSize(simconnect::EncodeQuit(version), simconnect::kMaxFrameSize + 1);
        };
    } else if (variant == "short") {
        // A whole frame by its size word, too short for the event its id announces.
        message = [](uint32_t version) {
            std::vector<uint8_t> frame = simconnect::EncodeEvent(version, SIMCONNECT_UNUSED, 0, 0);
            frame.resize(sizeof(SIMCONNECT_RECV_EVENT) - 4);
            return WithSize(frame, static_cast<uint32_t>(frame.size()));
        };
    } else if (variant == "data") {
        // Object data three bytes short of any definition.
        message = [](uint32_t version) {
            return simconnect::EncodeSimObjectData(version, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1,
                                                   kUserObjectId, 1, 0, 1, 1, 9,
                                                   std::vector<uint8_t>(69, 0));
        };
    } else if (variant == "text") {
        message = [](uint32_t version) {
            std::vector<uint8_t> frame =
                simconnect::EncodeEventFilename(version, SIMCONNECT_UNUSED, 1, 0, "", 0);
            std::memset(frame.data() + sizeof(SIMCONNECT_RECV_EVENT), 'A',
                        simconnect::kFileNameFieldSize);
            return frame;
        };
    } else {
        return "error: drop malformed size|huge|short|data|text";
    }
    SendToAll(message);
    return "ok";
}
