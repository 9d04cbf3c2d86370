// The stand-in's answers to its clients' requests.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "SimVariables.h"
#include "StandinServer.h"
#include "simconnect/SimConnect.h"

namespace {

using standin::Lower;
using standin::Upper;

// The stand-in's own name and version, answered to every open whatever the client's release.
constexpr const char* kApplicationName = "TarvelX Simulator Stand-in";
constexpr uint32_t kVersion[4] = {10, 0, 61259, 0};
// The open answer's first reserved word: a real server was seen to send this rather than 0, so
// the stand-in does too, and clients that insist on zeros fail against it.
constexpr uint32_t kOpenReserved1 = 0x143;
// The exception index when no parameter of the request is at fault.
constexpr uint32_t kUnknownIndex = 0xFFFFFFFFu;

std::string VersionText(uint32_t major, uint32_t minor, uint32_t buildMajor, uint32_t buildMinor) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(buildMajor) +
           "." + std::to_string(buildMinor);
}

}  // namespace

void StandinServer::HandleRequest(Client& client, const uint8_t* frame, uint32_t size) {
    simconnect::Request request;
    std::string error;
    const simconnect::DecodeStatus status =
        simconnect::DecodeRequest(frame, size, &request, &error);
    if (status == simconnect::DecodeStatus::kMalformed) {
        Log("client %d: malformed request: %s", client.number, error.c_str());
        CloseClient(client, "malformed request");
        return;
    }
    if (status == simconnect::DecodeStatus::kOk) {
        if (const auto* open = std::get_if<simconnect::OpenRequest>(&request.body)) {
            // Whatever comes of it, this is the protocol the client speaks: even the refusal
            // carries it.
            client.protocol = request.protocol;
            HandleOpen(client, request.sendId, *open);
            return;
        }
    }
    if (!client.opened) {
        Log("client %d: request type 0x%X before open", client.number, request.type);
        CloseClient(client, "request before open");
        return;
    }
    if (request.protocol != client.protocol) {
        Log("client %d: request type 0x%X under protocol %u after opening under %u", client.number,
            request.type, request.protocol, client.protocol);
        CloseClient(client, "protocol changed");
        return;
    }
    if (status == simconnect::DecodeStatus::kUnknownType) {
        Log("client %d: request type 0x%X (%u bytes, send_id=%u) not known here", client.number,
            request.type, size, request.sendId);
        SendException(client, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, request.sendId, kUnknownIndex);
        return;
    }
    HandleBody(client, request.sendId, request.body);
}

void StandinServer::HandleOpen(Client& client, uint32_t sendId,
                               const simconnect::OpenRequest& open) {
    const std::string version =
        VersionText(open.versionMajor, open.versionMinor, open.buildMajor, open.buildMinor);
    const simconnect::ProtocolRelease* release = simconnect::FindRelease(client.protocol);
    if (release == nullptr || release->versionMajor != open.versionMajor ||
        release->versionMinor != open.versionMinor || release->buildMajor != open.buildMajor ||
        release->buildMinor != open.buildMinor) {
        const std::string expected = release == nullptr ? "no release uses it"
                                                        : std::string(release->name) + " expects " +
                                                              simconnect::VersionText(*release);
        Log("client %d: OPEN app=\"%s\" protocol=%u version=%s refused: %s", client.number,
            open.appName.c_str(), client.protocol, version.c_str(), expected.c_str());
        SendException(client, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, sendId, kUnknownIndex);
        DrainAndClose(client, "version mismatch");
        return;
    }
    Log("client %d: OPEN app=\"%s\" protocol=%u (%s) version=%s", client.number,
        open.appName.c_str(), client.protocol, release->name, version.c_str());
    client.opened = true;
    simconnect::OpenInfo info;
    info.applicationName = kApplicationName;
    info.applicationVersionMajor = kVersion[0];
    info.applicationVersionMinor = kVersion[1];
    info.applicationBuildMajor = kVersion[2];
    info.applicationBuildMinor = kVersion[3];
    info.simConnectVersionMajor = kVersion[0];
    info.simConnectVersionMinor = kVersion[1];
    info.simConnectBuildMajor = kVersion[2];
    info.simConnectBuildMinor = kVersion[3];
    SendFrame(client, simconnect::EncodeOpen(client.protocol, info, kOpenReserved1, 0));
}

void StandinServer::HandleBody(Client& client, uint32_t sendId,
                               const simconnect::RequestBody& body) {
    if (const auto* add = std::get_if<simconnect::AddToDataDefinitionRequest>(&body)) {
        Log("client %d: ADD_TO_DATA_DEFINITION define=%u datum=\"%s\" unit=\"%s\" type=%u "
            "epsilon=%g datum_id=%u",
            client.number, add->defineId, add->datumName.c_str(), add->unitsName.c_str(),
            add->datumType, static_cast<double>(add->epsilon), add->datumId);
        if (!simconnect::IsValidDatumType(add->datumType)) {
            SendException(client, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, sendId, 4);
            return;
        }
        const standin::Variable variable =
            standin::LookUp(add->datumName, m_model.Values(), m_options.title);
        if (!variable.found) {
            SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 2);
        } else if (!variable.isText && !add->unitsName.empty()) {
            double ignored = 0;
            if (!standin::Convert(0, variable.unit, add->unitsName, &ignored))
                SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 3);
        }
        // The item stays in the definition either way, so the data keeps the client's layout.
        client.definitions[add->defineId].push_back(
            {add->datumName, add->unitsName, add->datumType});
        return;
    }
    if (const auto* data = std::get_if<simconnect::RequestDataOnSimObjectRequest>(&body)) {
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
    if (const auto* byType = std::get_if<simconnect::RequestDataOnSimObjectTypeRequest>(&body)) {
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
    if (const auto* map = std::get_if<simconnect::MapClientEventRequest>(&body)) {
        Log("client %d: MAP_CLIENT_EVENT_TO_SIM_EVENT event=%u name=\"%s\"", client.number,
            map->eventId, map->eventName.c_str());
        if (!standin::IsKnownSimEvent(map->eventName)) {
            SendException(client, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, sendId, 2);
            return;
        }
        client.mappedEvents[map->eventId] = Upper(map->eventName);
        return;
    }
    if (const auto* subscribe = std::get_if<simconnect::SubscribeSystemEventRequest>(&body)) {
        Log("client %d: SUBSCRIBE_TO_SYSTEM_EVENT event=%u name=\"%s\"", client.number,
            subscribe->eventId, subscribe->systemEventName.c_str());
        if (!standin::IsKnownSystemEvent(subscribe->systemEventName)) {
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
    if (const auto* transmit = std::get_if<simconnect::TransmitClientEventRequest>(&body)) {
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
    // The stand-in sends no client events of its own, so groups only need to be heard.
    if (const auto* group = std::get_if<simconnect::AddClientEventToGroupRequest>(&body)) {
        Log("client %d: ADD_CLIENT_EVENT_TO_NOTIFICATION_GROUP group=%u event=%u maskable=%u",
            client.number, group->groupId, group->eventId, group->maskable);
        return;
    }
    if (const auto* priority = std::get_if<simconnect::SetGroupPriorityRequest>(&body)) {
        Log("client %d: SET_NOTIFICATION_GROUP_PRIORITY group=%u priority=%u", client.number,
            priority->groupId, priority->priority);
        return;
    }
}

std::vector<uint8_t> StandinServer::EncodeData(const std::vector<Datum>& definition,
                                               const std::string& title) const {
    std::vector<uint8_t> out;
    for (const Datum& datum : definition) {
        const standin::Variable variable = standin::LookUp(datum.name, m_model.Values(), title);
        double number = 0;
        std::string text;
        if (variable.isText) {
            text = variable.text;
        } else if (variable.found) {
            if (!standin::Convert(variable.value, variable.unit, datum.unit, &number))
                number = variable.value;
            std::ostringstream formatted;
            formatted << number;
            text = formatted.str();
        }
        switch (datum.type) {
            case SIMCONNECT_DATATYPE_FLOAT64:
                simconnect::AppendF64(&out, number);
                break;
            case SIMCONNECT_DATATYPE_FLOAT32: {
                const float narrow = static_cast<float>(number);
                uint32_t bits;
                std::memcpy(&bits, &narrow, 4);
                simconnect::AppendU32(&out, bits);
                break;
            }
            case SIMCONNECT_DATATYPE_INT32:
                simconnect::AppendU32(&out, static_cast<uint32_t>(static_cast<int32_t>(
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
            case SIMCONNECT_DATATYPE_STRINGV: {
                const std::vector<uint8_t> bytes = simconnect::EncodeStringV(text);
                out.insert(out.end(), bytes.begin(), bytes.end());
                break;
            }
            default: {
                // Fixed texts fill their field; one of the field's full length has no NUL.
                const size_t width = simconnect::DatumFixedSize(datum.type);
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
    SendFrame(client, simconnect::EncodeSimObjectData(
                          client.protocol, messageId, requestId, kUserObjectId, defineId, 0, 1, 1,
                          static_cast<uint32_t>(found->second.size()), data));
}
