#include "simconnect/Protocol.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "simconnect/SimConnect.h"

static_assert(std::endian::native == std::endian::little,
              "messages are handed to the callback as they arrive, in little-endian order");

namespace simconnect {
namespace {

constexpr uint32_t kOpenRequestSize = kRequestHeaderSize + kAppNameFieldSize + 6 * 4;
constexpr uint32_t kAddToDataDefinitionSize = kRequestHeaderSize + 4 + 2 * kNameFieldSize + 12;
constexpr uint32_t kRequestDataOnSimObjectSize = kRequestHeaderSize + 8 * 4;
constexpr uint32_t kRequestDataOnSimObjectTypeSize = kRequestHeaderSize + 4 * 4;
constexpr uint32_t kEventNameRequestSize = kRequestHeaderSize + 4 + kNameFieldSize;
constexpr uint32_t kTransmitClientEventSize = kRequestHeaderSize + 5 * 4;
constexpr uint32_t kAddClientEventToGroupSize = kRequestHeaderSize + 3 * 4;
constexpr uint32_t kSetGroupPrioritySize = kRequestHeaderSize + 2 * 4;

constexpr ProtocolRelease kReleases[] = {
    {kProtocolRtm, "FSX RTM", 0, 0, 60905, 0},
    {kProtocolSp1, "FSX SP1", 10, 0, 61355, 0},
    {kProtocolSp2, "FSX SP2", 10, 0, 61259, 0},
};

// Reads the text of a fixed field; false when its NUL is missing.
bool ReadText(const uint8_t* at, size_t fieldSize, std::string* out) {
    const void* nul = std::memchr(at, '\0', fieldSize);
    if (nul == nullptr) return false;
    out->assign(reinterpret_cast<const char*>(at),
                static_cast<size_t>(static_cast<const uint8_t*>(nul) - at));
    return true;
}

void AppendF32(std::vector<uint8_t>* out, float value) {
    AppendU32(out, std::bit_cast<uint32_t>(value));
}

void BeginRequest(std::vector<uint8_t>* out, uint32_t protocol, RequestKind kind, uint32_t sendId) {
    out->clear();
    AppendU32(out, 0);  // size, filled in at the end
    AppendU32(out, protocol);
    AppendU32(out, kRequestTypeMark | static_cast<uint32_t>(kind));
    AppendU32(out, sendId);
}

void BeginMessage(std::vector<uint8_t>* out, uint32_t version, uint32_t messageId) {
    out->clear();
    AppendU32(out, 0);
    AppendU32(out, version);
    AppendU32(out, messageId);
}

void FinishFrame(std::vector<uint8_t>* out) {
    const uint32_t size = static_cast<uint32_t>(out->size());
    std::memcpy(out->data(), &size, 4);
}

bool Fail(std::string* error, const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

DecodeStatus Malformed(std::string* error, const std::string& reason) {
    Fail(error, reason);
    return DecodeStatus::kMalformed;
}

}  // namespace

const ProtocolRelease* FindRelease(uint32_t protocol) {
    for (const ProtocolRelease& release : kReleases)
        if (release.protocol == protocol) return &release;
    return nullptr;
}

std::string VersionText(const ProtocolRelease& release) {
    return std::to_string(release.versionMajor) + "." + std::to_string(release.versionMinor) + "." +
           std::to_string(release.buildMajor) + "." + std::to_string(release.buildMinor);
}

OpenRequest OpenRequestFor(const ProtocolRelease& release, const std::string& appName) {
    return OpenRequest{appName, release.versionMajor, release.versionMinor, release.buildMajor,
                       release.buildMinor};
}

uint32_t ReadU32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

void AppendU32(std::vector<uint8_t>* out, uint32_t value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);
    out->insert(out->end(), bytes, bytes + 4);
}

void AppendF64(std::vector<uint8_t>* out, double value) {
    uint8_t bytes[8];
    std::memcpy(bytes, &value, 8);
    out->insert(out->end(), bytes, bytes + 8);
}

void AppendText(std::vector<uint8_t>* out, const std::string& text, size_t fieldSize) {
    const size_t length = std::min(std::strlen(text.c_str()), fieldSize - 1);
    out->insert(out->end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    out->insert(out->end(), fieldSize - length, 0);
}

std::vector<uint8_t> EncodeRequest(uint32_t protocol, uint32_t sendId, const RequestBody& body) {
    std::vector<uint8_t> frame;
    if (const auto* open = std::get_if<OpenRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::Open, sendId);
        AppendText(&frame, open->appName, kAppNameFieldSize);
        AppendU32(&frame, 0);
        AppendU32(&frame, kOpenMarker);
        for (uint32_t value :
             {open->versionMajor, open->versionMinor, open->buildMajor, open->buildMinor})
            AppendU32(&frame, value);
    } else if (const auto* add = std::get_if<AddToDataDefinitionRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::AddToDataDefinition, sendId);
        AppendU32(&frame, add->defineId);
        AppendText(&frame, add->datumName, kNameFieldSize);
        AppendText(&frame, add->unitsName, kNameFieldSize);
        AppendU32(&frame, add->datumType);
        AppendF32(&frame, add->epsilon);
        AppendU32(&frame, add->datumId);
    } else if (const auto* data = std::get_if<RequestDataOnSimObjectRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::RequestDataOnSimObject, sendId);
        for (uint32_t value : {data->requestId, data->defineId, data->objectId, data->period,
                               data->flags, data->origin, data->interval, data->limit})
            AppendU32(&frame, value);
    } else if (const auto* byType = std::get_if<RequestDataOnSimObjectTypeRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::RequestDataOnSimObjectType, sendId);
        for (uint32_t value :
             {byType->requestId, byType->defineId, byType->radiusMeters, byType->objectType})
            AppendU32(&frame, value);
    } else if (const auto* map = std::get_if<MapClientEventRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::MapClientEventToSimEvent, sendId);
        AppendU32(&frame, map->eventId);
        AppendText(&frame, map->eventName, kNameFieldSize);
    } else if (const auto* subscribe = std::get_if<SubscribeSystemEventRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::SubscribeToSystemEvent, sendId);
        AppendU32(&frame, subscribe->eventId);
        AppendText(&frame, subscribe->systemEventName, kNameFieldSize);
    } else if (const auto* transmit = std::get_if<TransmitClientEventRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::TransmitClientEvent, sendId);
        for (uint32_t value : {transmit->objectId, transmit->eventId, transmit->data,
                               transmit->groupId, transmit->flags})
            AppendU32(&frame, value);
    } else if (const auto* group = std::get_if<AddClientEventToGroupRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::AddClientEventToNotificationGroup, sendId);
        for (uint32_t value : {group->groupId, group->eventId, group->maskable})
            AppendU32(&frame, value);
    } else if (const auto* priority = std::get_if<SetGroupPriorityRequest>(&body)) {
        BeginRequest(&frame, protocol, RequestKind::SetNotificationGroupPriority, sendId);
        AppendU32(&frame, priority->groupId);
        AppendU32(&frame, priority->priority);
    }
    FinishFrame(&frame);
    return frame;
}

FrameStatus PeekFrame(const uint8_t* data, size_t available, uint32_t headerSize,
                      uint32_t* frameSize, uint32_t maxFrameSize) {
    if (available < 4) return FrameStatus::kIncomplete;
    const uint32_t size = ReadU32(data);
    if (size < headerSize || size > maxFrameSize) return FrameStatus::kMalformed;
    *frameSize = size;
    return available >= size ? FrameStatus::kComplete : FrameStatus::kIncomplete;
}

DecodeStatus DecodeRequest(const uint8_t* frame, size_t size, Request* out, std::string* error) {
    if (size < kRequestHeaderSize) return Malformed(error, "request shorter than its header");
    if (ReadU32(frame) != size)
        return Malformed(error, "request size word does not match the frame");
    const uint32_t typeWord = ReadU32(frame + 8);
    if ((typeWord & kRequestTypeMark) != kRequestTypeMark)
        return Malformed(error, "request type word without its mark");
    const uint32_t kind = typeWord & ~kRequestTypeMark;
    out->protocol = ReadU32(frame + 4);
    out->type = kind;
    out->sendId = ReadU32(frame + 12);
    const uint8_t* body = frame + kRequestHeaderSize;
    auto wrongSize = [&](uint32_t wanted) {
        return size != wanted && !Fail(error, "request type " + std::to_string(kind) + " has " +
                                                  std::to_string(size) + " bytes, expected " +
                                                  std::to_string(wanted));
    };
    switch (static_cast<RequestKind>(kind)) {
        case RequestKind::Open: {
            if (wrongSize(kOpenRequestSize)) return DecodeStatus::kMalformed;
            OpenRequest open;
            if (!ReadText(body, kAppNameFieldSize, &open.appName))
                return Malformed(error, "application name without NUL");
            const uint8_t* versions = body + kAppNameFieldSize + 8;
            open.versionMajor = ReadU32(versions);
            open.versionMinor = ReadU32(versions + 4);
            open.buildMajor = ReadU32(versions + 8);
            open.buildMinor = ReadU32(versions + 12);
            out->body = std::move(open);
            return DecodeStatus::kOk;
        }
        case RequestKind::AddToDataDefinition: {
            if (wrongSize(kAddToDataDefinitionSize)) return DecodeStatus::kMalformed;
            AddToDataDefinitionRequest add;
            add.defineId = ReadU32(body);
            if (!ReadText(body + 4, kNameFieldSize, &add.datumName) ||
                !ReadText(body + 4 + kNameFieldSize, kNameFieldSize, &add.unitsName))
                return Malformed(error, "datum or unit name without NUL");
            const uint8_t* tail = body + 4 + 2 * kNameFieldSize;
            add.datumType = ReadU32(tail);
            add.epsilon = std::bit_cast<float>(ReadU32(tail + 4));
            add.datumId = ReadU32(tail + 8);
            out->body = std::move(add);
            return DecodeStatus::kOk;
        }
        case RequestKind::RequestDataOnSimObject: {
            if (wrongSize(kRequestDataOnSimObjectSize)) return DecodeStatus::kMalformed;
            RequestDataOnSimObjectRequest data;
            uint32_t* fields[] = {&data.requestId, &data.defineId, &data.objectId, &data.period,
                                  &data.flags,     &data.origin,   &data.interval, &data.limit};
            for (size_t i = 0; i < 8; ++i) *fields[i] = ReadU32(body + 4 * i);
            out->body = data;
            return DecodeStatus::kOk;
        }
        case RequestKind::RequestDataOnSimObjectType: {
            if (wrongSize(kRequestDataOnSimObjectTypeSize)) return DecodeStatus::kMalformed;
            out->body = RequestDataOnSimObjectTypeRequest{ReadU32(body), ReadU32(body + 4),
                                                          ReadU32(body + 8), ReadU32(body + 12)};
            return DecodeStatus::kOk;
        }
        case RequestKind::MapClientEventToSimEvent:
        case RequestKind::SubscribeToSystemEvent: {
            if (wrongSize(kEventNameRequestSize)) return DecodeStatus::kMalformed;
            std::string name;
            if (!ReadText(body + 4, kNameFieldSize, &name))
                return Malformed(error, "event name without NUL");
            if (static_cast<RequestKind>(kind) == RequestKind::MapClientEventToSimEvent) {
                out->body = MapClientEventRequest{ReadU32(body), std::move(name)};
            } else {
                out->body = SubscribeSystemEventRequest{ReadU32(body), std::move(name)};
            }
            return DecodeStatus::kOk;
        }
        case RequestKind::TransmitClientEvent: {
            if (wrongSize(kTransmitClientEventSize)) return DecodeStatus::kMalformed;
            out->body =
                TransmitClientEventRequest{ReadU32(body), ReadU32(body + 4), ReadU32(body + 8),
                                           ReadU32(body + 12), ReadU32(body + 16)};
            return DecodeStatus::kOk;
        }
        case RequestKind::AddClientEventToNotificationGroup: {
            if (wrongSize(kAddClientEventToGroupSize)) return DecodeStatus::kMalformed;
            out->body =
                AddClientEventToGroupRequest{ReadU32(body), ReadU32(body + 4), ReadU32(body + 8)};
            return DecodeStatus::kOk;
        }
        case RequestKind::SetNotificationGroupPriority: {
            if (wrongSize(kSetGroupPrioritySize)) return DecodeStatus::kMalformed;
            out->body = SetGroupPriorityRequest{ReadU32(body), ReadU32(body + 4)};
            return DecodeStatus::kOk;
        }
    }
    Fail(error, "unknown request type " + std::to_string(kind));
    return DecodeStatus::kUnknownType;
}

std::vector<uint8_t> EncodeException(uint32_t version, uint32_t exception, uint32_t sendId,
                                     uint32_t index) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, SIMCONNECT_RECV_ID_EXCEPTION);
    AppendU32(&frame, exception);
    AppendU32(&frame, sendId);
    AppendU32(&frame, index);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeOpen(uint32_t version, const OpenInfo& info, uint32_t reserved1,
                                uint32_t reserved2) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, SIMCONNECT_RECV_ID_OPEN);
    AppendText(&frame, info.applicationName, kAppNameFieldSize);
    for (uint32_t value :
         {info.applicationVersionMajor, info.applicationVersionMinor, info.applicationBuildMajor,
          info.applicationBuildMinor, info.simConnectVersionMajor, info.simConnectVersionMinor,
          info.simConnectBuildMajor, info.simConnectBuildMinor, reserved1, reserved2})
        AppendU32(&frame, value);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeQuit(uint32_t version) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, SIMCONNECT_RECV_ID_QUIT);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeEvent(uint32_t version, uint32_t groupId, uint32_t eventId,
                                 uint32_t data) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, SIMCONNECT_RECV_ID_EVENT);
    AppendU32(&frame, groupId);
    AppendU32(&frame, eventId);
    AppendU32(&frame, data);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeEventFilename(uint32_t version, uint32_t groupId, uint32_t eventId,
                                         uint32_t data, const std::string& fileName,
                                         uint32_t flags) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, SIMCONNECT_RECV_ID_EVENT_FILENAME);
    AppendU32(&frame, groupId);
    AppendU32(&frame, eventId);
    AppendU32(&frame, data);
    AppendText(&frame, fileName, kFileNameFieldSize);
    AppendU32(&frame, flags);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeSimObjectData(uint32_t version, uint32_t messageId, uint32_t requestId,
                                         uint32_t objectId, uint32_t defineId, uint32_t flags,
                                         uint32_t entryNumber, uint32_t outOf, uint32_t defineCount,
                                         const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, messageId);
    for (uint32_t value : {requestId, objectId, defineId, flags, entryNumber, outOf, defineCount})
        AppendU32(&frame, value);
    frame.insert(frame.end(), data.begin(), data.end());
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeRawMessage(uint32_t version, uint32_t messageId,
                                      const std::vector<uint8_t>& body) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, version, messageId);
    frame.insert(frame.end(), body.begin(), body.end());
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeStringV(const std::string& text) {
    const size_t length = std::strlen(text.c_str());
    std::vector<uint8_t> bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    bytes.push_back(0);
    while (bytes.size() % 4 != 0) bytes.push_back(0);
    return bytes;
}

size_t DatumFixedSize(uint32_t datumType) {
    switch (datumType) {
        case SIMCONNECT_DATATYPE_INT32:
        case SIMCONNECT_DATATYPE_FLOAT32:
            return 4;
        case SIMCONNECT_DATATYPE_INT64:
        case SIMCONNECT_DATATYPE_FLOAT64:
        case SIMCONNECT_DATATYPE_STRING8:
            return 8;
        case SIMCONNECT_DATATYPE_STRING32:
            return 32;
        case SIMCONNECT_DATATYPE_STRING64:
            return 64;
        case SIMCONNECT_DATATYPE_STRING128:
            return 128;
        case SIMCONNECT_DATATYPE_STRING256:
            return 256;
        case SIMCONNECT_DATATYPE_STRING260:
            return 260;
        default:
            return 0;
    }
}

bool IsValidDatumType(uint32_t datumType) {
    return datumType == SIMCONNECT_DATATYPE_STRINGV || DatumFixedSize(datumType) != 0;
}

bool MatchesDefinition(const uint8_t* data, size_t size, const std::vector<uint32_t>& types) {
    // Bytes the fixed items from each position to the end need, to find where a text's padding
    // must stop; SIZE_MAX where another variable text follows.
    std::vector<size_t> fixedAfter(types.size() + 1, 0);
    for (size_t i = types.size(); i-- > 0;) {
        if (types[i] == SIMCONNECT_DATATYPE_STRINGV || fixedAfter[i + 1] == SIZE_MAX) {
            fixedAfter[i] = SIZE_MAX;
        } else {
            fixedAfter[i] = fixedAfter[i + 1] + DatumFixedSize(types[i]);
        }
    }
    size_t at = 0;
    for (size_t i = 0; i < types.size(); ++i) {
        const uint32_t type = types[i];
        if (type == SIMCONNECT_DATATYPE_STRINGV) {
            const void* nul = std::memchr(data + at, '\0', size - at);
            if (nul == nullptr) return false;
            at = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) + 1;
            size_t end = at;
            if (fixedAfter[i + 1] != SIZE_MAX) {
                if (size - at < fixedAfter[i + 1]) return false;
                end = size - fixedAfter[i + 1];
            } else {
                while (end < size && data[end] == 0) ++end;
            }
            for (; at < end; ++at)
                if (data[at] != 0) return false;
            continue;
        }
        const size_t width = DatumFixedSize(type);
        if (width == 0 || size - at < width) return false;
        at += width;
    }
    return at == size;
}

bool ValidateMessage(const uint8_t* frame, size_t size, const DefinitionLookup& definitions,
                     std::string* error, uint32_t maxFrameSize) {
    if (size < kMessageHeaderSize || size > maxFrameSize)
        return Fail(error, "message size out of range");
    if (ReadU32(frame) != size) return Fail(error, "message size word does not match the frame");
    const uint32_t id = ReadU32(frame + 8);
    // A longer message than its layout is taken: the fields the program reads are all there.
    auto expect = [&](size_t wanted) {
        return size >= wanted ||
               Fail(error, "message " + std::to_string(id) + " has " + std::to_string(size) +
                               " bytes, expected at least " + std::to_string(wanted));
    };
    switch (id) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            return expect(sizeof(SIMCONNECT_RECV_EXCEPTION));
        case SIMCONNECT_RECV_ID_OPEN:
            if (!expect(sizeof(SIMCONNECT_RECV_OPEN))) return false;
            if (std::memchr(frame + kMessageHeaderSize, '\0', kAppNameFieldSize) == nullptr)
                return Fail(error, "application name without NUL");
            return true;
        case SIMCONNECT_RECV_ID_QUIT:
            return expect(sizeof(SIMCONNECT_RECV_QUIT));
        case SIMCONNECT_RECV_ID_EVENT:
            return expect(sizeof(SIMCONNECT_RECV_EVENT));
        case SIMCONNECT_RECV_ID_EVENT_FILENAME:
            if (!expect(sizeof(SIMCONNECT_RECV_EVENT_FILENAME))) return false;
            if (std::memchr(frame + sizeof(SIMCONNECT_RECV_EVENT), '\0', kFileNameFieldSize) ==
                nullptr)
                return Fail(error, "file name without NUL");
            return true;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: {
            if (size < kSimObjectDataOffset) return Fail(error, "object data without its header");
            const uint32_t defineId = ReadU32(frame + 20);
            const uint32_t defineCount = ReadU32(frame + 36);
            const std::vector<uint32_t>* types = definitions ? definitions(defineId) : nullptr;
            if (types == nullptr)
                return Fail(error,
                            "object data for unknown definition " + std::to_string(defineId));
            if (defineCount != types->size())
                return Fail(error, "object data item count does not match its definition");
            if (!MatchesDefinition(frame + kSimObjectDataOffset, size - kSimObjectDataOffset,
                                   *types))
                return Fail(error,
                            "object data does not match definition " + std::to_string(defineId));
            return true;
        }
        default:
            return true;
    }
}

}  // namespace simconnect
