#include "StandinServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <sstream>

#include "sim/SimConnect.h"
#include "sim/SimProtocol.h"

namespace {

constexpr int kTickMs = 100;
// A client that does not read for this long is dropped rather than stall the stand-in.
constexpr int kSendTimeoutSeconds = 1;
// The stand-in's own name and version numbers, answered to every open.
constexpr const char* kApplicationName = "TarvelX Simulator Stand-in";
constexpr uint32_t kVersion[4] = {10, 0, 61259, 0};
// The object id of the user aircraft in replies.
constexpr uint32_t kUserObjectId = 1;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

enum class Dimension { Speed, Length, Angle, Mass, Number, Mach };

struct Unit {
    const char* name;
    Dimension dimension;
    double toSi;
};

constexpr Unit kUnits[] = {
    {"knots", Dimension::Speed, 0.514444},
    {"knot", Dimension::Speed, 0.514444},
    {"meters per second", Dimension::Speed, 1},
    {"meter per second", Dimension::Speed, 1},
    {"feet per second", Dimension::Speed, 0.3048},
    {"feet per minute", Dimension::Speed, 0.00508},
    {"kilometers per hour", Dimension::Speed, 1 / 3.6},
    {"feet", Dimension::Length, 0.3048},
    {"foot", Dimension::Length, 0.3048},
    {"meters", Dimension::Length, 1},
    {"meter", Dimension::Length, 1},
    {"nautical miles", Dimension::Length, 1852},
    {"kilometers", Dimension::Length, 1000},
    {"radians", Dimension::Angle, 1},
    {"radian", Dimension::Angle, 1},
    {"degrees", Dimension::Angle, 3.14159265358979323846 / 180},
    {"degree", Dimension::Angle, 3.14159265358979323846 / 180},
    {"pounds", Dimension::Mass, 0.45359237},
    {"pound", Dimension::Mass, 0.45359237},
    {"kilograms", Dimension::Mass, 1},
    {"number", Dimension::Number, 1},
    {"bool", Dimension::Number, 1},
    {"mach", Dimension::Mach, 1},
};

const Unit* FindUnit(const std::string& name) {
    const std::string key = Lower(name);
    for (const Unit& unit : kUnits)
        if (key == unit.name) return &unit;
    return nullptr;
}

// A simulation variable: its value in its own unit, or its text.
struct Variable {
    bool found = false;
    bool isText = false;
    double value = 0;
    const char* unit = "number";
    std::string text;
};

Variable LookUp(const std::string& name, const FlightValues& v, const std::string& title) {
    const std::string key = Upper(name);
    auto number = [](double value, const char* unit) {
        Variable var;
        var.found = true;
        var.value = value;
        var.unit = unit;
        return var;
    };
    auto text = [](const std::string& value) {
        Variable var;
        var.found = true;
        var.isText = true;
        var.text = value;
        return var;
    };
    if (key == "AIRSPEED INDICATED") return number(v.ias, "knots");
    if (key == "AIRSPEED TRUE") return number(v.groundSpeed / 0.514444, "knots");
    if (key == "AIRSPEED MACH") return number(v.mach, "mach");
    if (key == "INDICATED ALTITUDE" || key == "PLANE ALTITUDE") return number(v.altitude, "feet");
    if (key == "HEADING INDICATOR" || key == "PLANE HEADING DEGREES TRUE" ||
        key == "GPS GROUND TRUE TRACK")
        return number(v.heading, "radians");
    if (key == "GPS WP DISTANCE") return number(v.wpDistance, "meters");
    if (key == "FUEL TOTAL QUANTITY WEIGHT") return number(v.fuelTotal, "pounds");
    if (key == "GPS GROUND SPEED" || key == "GROUND VELOCITY")
        return number(v.groundSpeed, "meters per second");
    if (key == "GPS WP VERTICAL SPEED" || key == "VERTICAL SPEED")
        return number(v.verticalSpeed, "meters per second");
    if (key == "PLANE LATITUDE") return number(v.latitude, "degrees");
    if (key == "PLANE LONGITUDE") return number(v.longitude, "degrees");
    if (key == "SIM ON GROUND") return number(v.onGround ? 1 : 0, "bool");
    if (key == "GPS WP NEXT ID") return text(v.nextWpId);
    if (key == "TITLE") return text(title);
    return Variable{};
}

// `value` from unit `from` into unit `to`; unchanged when the two are the same factor, so a value
// asked for in its own unit arrives bit for bit.
bool Convert(double value, const char* from, const std::string& to, double* out) {
    if (to.empty()) {
        *out = value;
        return true;
    }
    const Unit* source = FindUnit(from);
    const Unit* target = FindUnit(to);
    if (source == nullptr || target == nullptr || source->dimension != target->dimension)
        return false;
    *out = source->toSi == target->toSi ? value : value * source->toSi / target->toSi;
    return true;
}

bool IsKnownSystemEvent(const std::string& name) {
    const std::string key = Lower(name);
    return key == "simstart" || key == "pause" || key == "aircraftloaded";
}

bool IsKnownSimEvent(const std::string& name) {
    const std::string key = Upper(name);
    return key == "PAUSE_ON" || key == "PAUSE_OFF" || key == "PAUSE_TOGGLE";
}

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

int ListenOn(const std::string& path, std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        *error = "socket path too long: " + path;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket file left by an earlier run that nobody serves any more is taken over; a served
    // one means another simulator is up.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        const bool served =
            ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(probe);
        if (served) {
            *error = "another simulator already serves " + path;
            return -1;
        }
    }
    ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, 16) != 0) {
        *error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

StandinServer::StandinServer(StandinOptions options) : m_options(std::move(options)) {}

StandinServer::~StandinServer() {
    for (Client& client : m_clients)
        if (client.fd >= 0) ::close(client.fd);
    for (Control& control : m_controls)
        if (control.fd >= 0) ::close(control.fd);
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink(m_options.socketPath.c_str());
    }
    if (m_controlFd >= 0) {
        ::close(m_controlFd);
        ::unlink(m_options.controlPath.c_str());
    }
    if (m_log != stdout && m_log != nullptr) std::fclose(m_log);
}

void StandinServer::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(m_log, format, args);
    va_end(args);
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

double StandinServer::Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool StandinServer::Start(std::string* error) {
    if (!m_options.logPath.empty()) {
        m_log = std::fopen(m_options.logPath.c_str(), "w");
        if (m_log == nullptr) {
            m_log = stdout;
            *error = "cannot write the log " + m_options.logPath;
            return false;
        }
    }
    if (m_options.window && !m_window.TryLock(m_options.lockPath)) {
        *error = "the main-window lock " + m_options.lockPath + " is held by another simulator";
        return false;
    }
    m_listenFd = ListenOn(m_options.socketPath, error);
    if (m_listenFd < 0) return false;
    m_controlFd = ListenOn(m_options.controlPath, error);
    if (m_controlFd < 0) return false;
    Log("standin: up; window %s; clients at %s; control at %s",
        m_options.window ? "shown" : "hidden", m_options.socketPath.c_str(),
        m_options.controlPath.c_str());
    return true;
}

int StandinServer::Run(int stopFd) {
    m_lastTick = Now();
    while (!m_quit) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        fds.push_back({m_controlFd, POLLIN, 0});
        for (const Control& control : m_controls) fds.push_back({control.fd, POLLIN, 0});
        for (const Client& client : m_clients) fds.push_back({client.fd, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), kTickMs);
        if (ready < 0 && errno != EINTR) {
            Log("standin: poll failed: %s", std::strerror(errno));
            return 1;
        }
        if (ready > 0) {
            if (fds[0].revents != 0) {
                Log("standin: signal received");
                Quit();
                break;
            }
            if (fds[1].revents & POLLIN) AcceptClient();
            if (fds[2].revents & POLLIN) AcceptControl();
            size_t at = 3;
            // The lists only grow at their ends above, so the poll entries still line up.
            for (Control& control : m_controls) {
                if (at < fds.size() && fds[at].fd == control.fd && fds[at].revents != 0)
                    ReadControl(control);
                ++at;
                if (m_quit) break;
            }
            for (Client& client : m_clients) {
                if (m_quit) break;
                if (at < fds.size() && fds[at].fd == client.fd && fds[at].revents != 0 &&
                    !client.closed)
                    ReadClient(client);
                ++at;
            }
        }
        m_controls.remove_if([](const Control& control) { return control.closed; });
        m_clients.remove_if([](const Client& client) { return client.closed; });
        if (!m_quit) Tick();
    }
    return 0;
}

void StandinServer::AcceptClient() {
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (!m_window.IsLocked()) {
        // Without its main window the simulator is starting or ending: no new clients. Those
        // already connected stay.
        Log("client %d: refused (no main window)", m_nextClient++);
        ::close(fd);
        return;
    }
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    Client client;
    client.fd = fd;
    client.number = m_nextClient++;
    m_clients.push_back(std::move(client));
    Log("client %d: connected", m_clients.back().number);
}

void StandinServer::AcceptControl() {
    const int fd = ::accept4(m_controlFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    m_controls.push_back(Control{fd, {}, false});
}

void StandinServer::CloseClient(Client& client, const char* why) {
    if (client.closed) return;
    ::close(client.fd);
    client.fd = -1;
    client.closed = true;
    Log("client %d: closed (%s)", client.number, why);
}

void StandinServer::DrainAndClose(Client& client, const char* why) {
    // Whatever the client sent is read first: closing over unread data would reset the
    // connection instead of ending it in order.
    uint8_t sink[4096];
    while (::recv(client.fd, sink, sizeof(sink), MSG_DONTWAIT) > 0) {
    }
    ::shutdown(client.fd, SHUT_WR);
    CloseClient(client, why);
}

void StandinServer::ReadClient(Client& client) {
    if (client.resetArmed) {
        // Closing with the client's request still unread makes its side see a reset.
        CloseClient(client, "reset");
        return;
    }
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(client.fd, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n > 0) {
            client.input.insert(client.input.end(), chunk, chunk + n);
            continue;
        }
        if (n == 0) {
            CloseClient(client, "client ended the connection");
            return;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        CloseClient(client, std::strerror(errno));
        return;
    }
    size_t consumed = 0;
    while (!client.closed) {
        uint32_t size = 0;
        const auto status =
            simproto::PeekFrame(client.input.data() + consumed, client.input.size() - consumed,
                                simproto::kRequestHeaderSize, &size);
        if (status == simproto::FrameStatus::Incomplete) break;
        if (status == simproto::FrameStatus::Malformed) {
            Log("client %d: malformed frame (size word out of range)", client.number);
            CloseClient(client, "malformed frame");
            return;
        }
        HandleRequest(client, client.input.data() + consumed, size);
        consumed += size;
    }
    if (!client.closed)
        client.input.erase(client.input.begin(),
                           client.input.begin() + static_cast<std::ptrdiff_t>(consumed));
}

void StandinServer::HandleRequest(Client& client, const uint8_t* frame, uint32_t size) {
    const uint32_t version = simproto::ReadU32(frame + 4);
    if (version != simproto::kProtocolVersion) {
        Log("client %d: protocol version %u not supported", client.number, version);
        SendException(client, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, simproto::ReadU32(frame + 12),
                      0);
        DrainAndClose(client, "version mismatch");
        return;
    }
    simproto::Request request;
    std::string error;
    if (!simproto::DecodeRequest(frame, size, &request, &error)) {
        Log("client %d: malformed request: %s", client.number, error.c_str());
        CloseClient(client, "malformed request");
        return;
    }
    const uint32_t sendId = request.sendId;
    if (const auto* open = std::get_if<simproto::OpenRequest>(&request.body)) {
        Log("client %d: OPEN app=\"%s\" config=%u version=%u", client.number, open->appName.c_str(),
            open->configIndex, version);
        client.opened = true;
        simproto::OpenInfo info;
        info.applicationName = kApplicationName;
        info.applicationVersionMajor = kVersion[0];
        info.applicationVersionMinor = kVersion[1];
        info.applicationBuildMajor = kVersion[2];
        info.applicationBuildMinor = kVersion[3];
        info.simConnectVersionMajor = kVersion[0];
        info.simConnectVersionMinor = kVersion[1];
        info.simConnectBuildMajor = kVersion[2];
        info.simConnectBuildMinor = kVersion[3];
        SendFrame(client, simproto::EncodeOpen(info));
        return;
    }
    if (!client.opened) {
        Log("client %d: request before open", client.number);
        CloseClient(client, "request before open");
        return;
    }
    if (const auto* add = std::get_if<simproto::AddToDataDefinitionRequest>(&request.body)) {
        Log("client %d: ADD_TO_DATA_DEFINITION define=%u datum=\"%s\" unit=\"%s\" type=%u "
            "epsilon=%g datum_id=%u",
            client.number, add->defineId, add->datumName.c_str(), add->unitsName.c_str(),
            add->datumType, static_cast<double>(add->epsilon), add->datumId);
        if (!simproto::IsValidDatumType(add->datumType)) {
            SendException(client, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, sendId, 4);
            return;
        }
        const Variable variable = LookUp(add->datumName, m_model.Values(), m_options.title);
        if (!variable.found) {
            SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 2);
        } else if (!variable.isText && !add->unitsName.empty()) {
            double ignored = 0;
            if (!Convert(0, variable.unit, add->unitsName, &ignored))
                SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 3);
        }
        // The item stays in the definition either way, so the data keeps the client's layout.
        client.definitions[add->defineId].push_back(
            {add->datumName, add->unitsName, add->datumType});
        return;
    }
    if (const auto* data = std::get_if<simproto::RequestDataOnSimObjectRequest>(&request.body)) {
        Log("client %d: REQUEST_DATA_ON_SIM_OBJECT request=%u define=%u object=%u period=%u "
            "flags=%u origin=%u interval=%u limit=%u",
            client.number, data->requestId, data->defineId, data->objectId, data->period,
            data->flags, data->origin, data->interval, data->limit);
        if (client.definitions.count(data->defineId) == 0) {
            SendException(client, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, sendId, 2);
            return;
        }
        if (data->objectId != SIMCONNECT_OBJECT_ID_USER && data->objectId != kUserObjectId) {
            SendException(client, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, sendId, 3);
            return;
        }
        client.periodic.erase(data->requestId);
        if (data->period == SIMCONNECT_PERIOD_NEVER) return;
        SendData(client, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, data->requestId, data->defineId,
                 m_options.title);
        if (data->period == SIMCONNECT_PERIOD_ONCE) return;
        Periodic periodic;
        periodic.defineId = data->defineId;
        periodic.period = data->period;
        periodic.interval = data->interval;
        periodic.flags = data->flags;
        periodic.due =
            Now() +
            (data->period == SIMCONNECT_PERIOD_SECOND ? std::max<uint32_t>(1, data->interval) : 0);
        client.periodic[data->requestId] = periodic;
        return;
    }
    if (const auto* byType =
            std::get_if<simproto::RequestDataOnSimObjectTypeRequest>(&request.body)) {
        Log("client %d: REQUEST_DATA_ON_SIM_OBJECT_TYPE request=%u define=%u radius=%u type=%u",
            client.number, byType->requestId, byType->defineId, byType->radiusMeters,
            byType->objectType);
        if (client.definitions.count(byType->defineId) == 0) {
            SendException(client, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, sendId, 2);
            return;
        }
        client.titleRequest = byType->requestId;
        client.titleDefine = byType->defineId;
        // The user aircraft is the only object there is.
        if (byType->objectType == SIMCONNECT_SIMOBJECT_TYPE_USER ||
            byType->objectType == SIMCONNECT_SIMOBJECT_TYPE_ALL ||
            byType->objectType == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)
            SendData(client, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, byType->requestId,
                     byType->defineId, m_options.title);
        return;
    }
    if (const auto* map = std::get_if<simproto::MapClientEventRequest>(&request.body)) {
        Log("client %d: MAP_CLIENT_EVENT_TO_SIM_EVENT event=%u name=\"%s\"", client.number,
            map->eventId, map->eventName.c_str());
        if (!IsKnownSimEvent(map->eventName)) {
            SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 2);
            return;
        }
        client.mappedEvents[map->eventId] = Upper(map->eventName);
        return;
    }
    if (const auto* subscribe = std::get_if<simproto::SubscribeSystemEventRequest>(&request.body)) {
        Log("client %d: SUBSCRIBE_TO_SYSTEM_EVENT event=%u name=\"%s\"", client.number,
            subscribe->eventId, subscribe->systemEventName.c_str());
        if (!IsKnownSystemEvent(subscribe->systemEventName)) {
            SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 2);
            return;
        }
        client.subscriptions.emplace(Lower(subscribe->systemEventName), subscribe->eventId);
        // A second's grace lets the client's other subscriptions (AircraftLoaded) arrive first.
        if (m_options.autostart && !m_flying && m_autostartAt == 0 &&
            Lower(subscribe->systemEventName) == "simstart")
            m_autostartAt = Now() + 1.0;
        return;
    }
    if (const auto* transmit = std::get_if<simproto::TransmitClientEventRequest>(&request.body)) {
        const auto mapped = client.mappedEvents.find(transmit->eventId);
        const std::string name = mapped != client.mappedEvents.end() ? mapped->second : "?";
        Log("client %d: TRANSMIT_CLIENT_EVENT object=%u event=%u (%s) data=%u group=%u flags=0x%x",
            client.number, transmit->objectId, transmit->eventId, name.c_str(), transmit->data,
            transmit->groupId, transmit->flags);
        if (mapped == client.mappedEvents.end()) {
            SendException(client, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, sendId, 2);
            return;
        }
        if (name == "PAUSE_ON") SetPaused(1);
        if (name == "PAUSE_OFF") SetPaused(0);
        if (name == "PAUSE_TOGGLE") SetPaused(m_paused ? 0 : 1);
        return;
    }
}

bool StandinServer::SendFrame(Client& client, const std::vector<uint8_t>& frame) {
    if (client.closed) return false;
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(client.fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            CloseClient(client, "send failed");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

void StandinServer::SendToAll(const std::vector<uint8_t>& frame) {
    for (Client& client : m_clients)
        if (client.opened) SendFrame(client, frame);
}

void StandinServer::SendException(Client& client, uint32_t exception, uint32_t sendId,
                                  uint32_t index) {
    Log("client %d: EXCEPTION %u send_id=%u index=%u", client.number, exception, sendId, index);
    SendFrame(client, simproto::EncodeException(exception, sendId, index));
}

void StandinServer::SendSystemEvent(const std::string& name, uint32_t data) {
    for (Client& client : m_clients) {
        const auto range = client.subscriptions.equal_range(Lower(name));
        for (auto it = range.first; it != range.second; ++it) {
            Log("client %d: event %s (id %u) data=%u", client.number, name.c_str(), it->second,
                data);
            SendFrame(client, simproto::EncodeEvent(SIMCONNECT_UNUSED, it->second, data));
        }
    }
}

void StandinServer::SendSystemFilenameEvent(const std::string& name, const std::string& fileName) {
    for (Client& client : m_clients) {
        const auto range = client.subscriptions.equal_range(Lower(name));
        for (auto it = range.first; it != range.second; ++it) {
            Log("client %d: event %s (id %u) file=\"%s\"", client.number, name.c_str(), it->second,
                fileName.c_str());
            SendFrame(client,
                      simproto::EncodeEventFilename(SIMCONNECT_UNUSED, it->second, 0, fileName, 0));
        }
    }
}

std::vector<uint8_t> StandinServer::EncodeData(const std::vector<Datum>& definition,
                                               const std::string& title) const {
    std::vector<uint8_t> out;
    for (const Datum& datum : definition) {
        const Variable variable = LookUp(datum.name, m_model.Values(), title);
        double number = 0;
        std::string text;
        if (variable.isText) {
            text = variable.text;
        } else if (variable.found) {
            if (!Convert(variable.value, variable.unit, datum.unit, &number))
                number = variable.value;
            std::ostringstream formatted;
            formatted << number;
            text = formatted.str();
        }
        switch (datum.type) {
            case SIMCONNECT_DATATYPE_FLOAT64:
                simproto::AppendF64(&out, number);
                break;
            case SIMCONNECT_DATATYPE_FLOAT32: {
                const float narrow = static_cast<float>(number);
                uint32_t bits;
                std::memcpy(&bits, &narrow, 4);
                simproto::AppendU32(&out, bits);
                break;
            }
            case SIMCONNECT_DATATYPE_INT32:
                simproto::AppendU32(&out, static_cast<uint32_t>(static_cast<int32_t>(
                                              std::isfinite(number) ? std::trunc(number) : 0)));
                break;
            case SIMCONNECT_DATATYPE_INT64: {
                const int64_t whole =
                    static_cast<int64_t>(std::isfinite(number) ? std::trunc(number) : 0);
                uint8_t bytes[8];
                std::memcpy(bytes, &whole, 8);
                out.insert(out.end(), bytes, bytes + 8);
                break;
            }
            case SIMCONNECT_DATATYPE_STRINGV:
                out.insert(out.end(), text.begin(), text.end());
                out.push_back(0);
                break;
            default: {
                // Fixed texts fill their field; one of the field's full length has no NUL.
                const size_t width = simproto::DatumFixedSize(datum.type);
                const size_t length = std::min(text.size(), width);
                out.insert(out.end(), text.begin(), text.begin() + static_cast<long>(length));
                out.insert(out.end(), width - length, 0);
                break;
            }
        }
    }
    return out;
}

void StandinServer::SendData(Client& client, uint32_t messageId, uint32_t requestId,
                             uint32_t defineId, const std::string& title) {
    const auto found = client.definitions.find(defineId);
    if (found == client.definitions.end()) return;
    const std::vector<uint8_t> data = EncodeData(found->second, title);
    SendFrame(client,
              simproto::EncodeSimObjectData(messageId, requestId, kUserObjectId, defineId, 0, 1, 1,
                                            static_cast<uint32_t>(found->second.size()), data));
}

void StandinServer::SetPaused(uint32_t state) {
    m_paused = state == 1;
    Log("standin: pause state %u", state);
    SendSystemEvent("Pause", state);
}

void StandinServer::StartFlight() {
    m_model.StartFlight();
    m_flying = true;
    m_paused = false;
    m_held = false;
    Log("standin: flight started at %s for %s", m_model.Origin().c_str(),
        m_model.Destination().c_str());
    SendSystemFilenameEvent("AircraftLoaded", m_options.aircraftFile);
    SendSystemEvent("SimStart", 0);
}

void StandinServer::Tick() {
    const double now = Now();
    const double elapsed = now - m_lastTick;
    m_lastTick = now;
    if (m_autostartAt != 0 && now >= m_autostartAt) {
        m_autostartAt = 0;
        if (!m_flying) StartFlight();
    }
    if (m_flying && !m_paused && !m_held) m_model.Step(elapsed * m_options.rate);
    for (Client& client : m_clients) {
        for (auto& [requestId, periodic] : client.periodic) {
            if (client.closed) break;
            if (now < periodic.due) continue;
            periodic.due = now + (periodic.period == SIMCONNECT_PERIOD_SECOND
                                      ? std::max<uint32_t>(1, periodic.interval)
                                      : 0);
            const auto found = client.definitions.find(periodic.defineId);
            if (found == client.definitions.end()) continue;
            std::vector<uint8_t> data = EncodeData(found->second, m_options.title);
            // Flag 1 asks for changed data only.
            if ((periodic.flags & 1) != 0 && data == periodic.lastSent) continue;
            periodic.lastSent = data;
            SendFrame(client, simproto::EncodeSimObjectData(
                                  SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, kUserObjectId,
                                  periodic.defineId, 0, 1, 1,
                                  static_cast<uint32_t>(found->second.size()), data));
        }
    }
}

void StandinServer::Quit() {
    Log("standin: quitting");
    for (Client& client : m_clients) {
        if (client.closed) continue;
        if (client.opened) SendFrame(client, simproto::EncodeQuit());
        if (!client.closed) DrainAndClose(client, "quit");
    }
    m_window.Unlock();
    m_quit = true;
}

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
               "version|data|text] window hide|show kind N exception CODE [SENDID [INDEX]] event "
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
    if (command == "drop") {
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
            const std::vector<uint8_t> frame = simproto::EncodeEvent(SIMCONNECT_UNUSED, 0, 0);
            const std::vector<uint8_t> half(frame.begin(), frame.begin() + 10);
            for (Client& client : m_clients) {
                if (SendFrame(client, half)) DrainAndClose(client, "cut inside a frame");
            }
            return "ok";
        }
        if (mode == "malformed") {
            const std::string variant = args.size() > 1 ? args[1] : "size";
            std::vector<uint8_t> frame;
            if (variant == "size") {
                frame = simproto::EncodeQuit();
                const uint32_t tiny = 8;
                std::memcpy(frame.data(), &tiny, 4);
            } else if (variant == "huge") {
                frame = simproto::EncodeQuit();
                const uint32_t huge = simproto::kMaxFrameSize + 1;
                std::memcpy(frame.data(), &huge, 4);
            } else if (variant == "version") {
                frame = simproto::EncodeEvent(SIMCONNECT_UNUSED, 0, 0);
                const uint32_t version = simproto::kProtocolVersion + 1;
                std::memcpy(frame.data() + 4, &version, 4);
            } else if (variant == "data") {
                // Object data three bytes short of any definition.
                frame = simproto::EncodeSimObjectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1,
                                                      kUserObjectId, 1, 0, 1, 1, 9,
                                                      std::vector<uint8_t>(69, 0));
            } else if (variant == "text") {
                frame = simproto::EncodeEventFilename(SIMCONNECT_UNUSED, 1, 0, "", 0);
                std::memset(frame.data() + sizeof(SIMCONNECT_RECV_EVENT), 'A',
                            simproto::kFileNameFieldSize);
            } else {
                return "error: drop malformed size|huge|version|data|text";
            }
            SendToAll(frame);
            return "ok";
        }
        return "error: drop close|reset|cut|malformed";
    }
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
        SendToAll(simproto::EncodeRawMessage(a, {}));
        return "ok";
    }
    if (command == "exception") {
        if (args.empty() || args.size() > 3 || !ParseU32(args[0], &a) ||
            (args.size() > 1 && !ParseU32(args[1], &b)) ||
            (args.size() > 2 && !ParseU32(args[2], &c)))
            return "error: exception CODE [SENDID [INDEX]]";
        SendToAll(simproto::EncodeException(a, b, c));
        return "ok";
    }
    if (command == "event") {
        if (args.empty() || args.size() > 2 || !ParseU32(args[0], &a) ||
            (args.size() > 1 && !ParseU32(args[1], &b)))
            return "error: event ID [DATA]";
        SendToAll(simproto::EncodeEvent(SIMCONNECT_UNUSED, a, b));
        return "ok";
    }
    if (command == "filename") {
        if (args.size() < 2 || !ParseU32(args[0], &a)) return "error: filename ID NAME";
        const std::string name = rest(2);
        if (name.size() >= simproto::kFileNameFieldSize) return "error: file name too long";
        SendToAll(simproto::EncodeEventFilename(SIMCONNECT_UNUSED, a, 0, name, 0));
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
