#include "sim/SimProtocol.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "sim/SimConnect.h"

static_assert(std::endian::native == std::endian::little,
              "messages are handed to the callback as they arrive, in little-endian order");

namespace simproto {
namespace {

constexpr uint32_t kOpenRequestSize = kRequestHeaderSize + kAppNameFieldSize + 4;
constexpr uint32_t kAddToDataDefinitionSize = kRequestHeaderSize + 4 + 2 * kNameFieldSize + 12;
constexpr uint32_t kRequestDataOnSimObjectSize = kRequestHeaderSize + 8 * 4;
constexpr uint32_t kRequestDataOnSimObjectTypeSize = kRequestHeaderSize + 4 * 4;
constexpr uint32_t kEventNameRequestSize = kRequestHeaderSize + 4 + kNameFieldSize;
constexpr uint32_t kTransmitClientEventSize = kRequestHeaderSize + 5 * 4;

// Reads the text of a fixed field; false when its NUL is missing.
bool ReadText(const uint8_t* at, size_t fieldSize, std::string* out) {
    const void* nul = std::memchr(at, '\0', fieldSize);
    if (nul == nullptr) return false;
    out->assign(reinterpret_cast<const char*>(at),
                static_cast<size_t>(static_cast<const uint8_t*>(nul) - at));
    return true;
}

bool FitsField(const std::string& text, size_t fieldSize) {
    return text.size() < fieldSize && text.find('\0') == std::string::npos;
}

void AppendF32(std::vector<uint8_t>* out, float value) {
    AppendU32(out, std::bit_cast<uint32_t>(value));
}

void BeginRequest(std::vector<uint8_t>* out, RequestKind kind, uint32_t sendId) {
    out->clear();
    AppendU32(out, 0);  // size, filled in at the end
    AppendU32(out, kProtocolVersion);
    AppendU32(out, static_cast<uint32_t>(kind));
    AppendU32(out, sendId);
}

void BeginMessage(std::vector<uint8_t>* out, uint32_t messageId) {
    out->clear();
    AppendU32(out, 0);
    AppendU32(out, kProtocolVersion);
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

}  // namespace

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

bool EncodeRequest(uint32_t sendId, const RequestBody& body, std::vector<uint8_t>* out) {
    std::vector<uint8_t> frame;
    if (const auto* open = std::get_if<OpenRequest>(&body)) {
        if (!FitsField(open->appName, kAppNameFieldSize)) return false;
        BeginRequest(&frame, RequestKind::Open, sendId);
        AppendText(&frame, open->appName, kAppNameFieldSize);
        AppendU32(&frame, open->configIndex);
    } else if (const auto* add = std::get_if<AddToDataDefinitionRequest>(&body)) {
        if (!FitsField(add->datumName, kNameFieldSize) ||
            !FitsField(add->unitsName, kNameFieldSize))
            return false;
        BeginRequest(&frame, RequestKind::AddToDataDefinition, sendId);
        AppendU32(&frame, add->defineId);
        AppendText(&frame, add->datumName, kNameFieldSize);
        AppendText(&frame, add->unitsName, kNameFieldSize);
        AppendU32(&frame, add->datumType);
        AppendF32(&frame, add->epsilon);
        AppendU32(&frame, add->datumId);
    } else if (const auto* data = std::get_if<RequestDataOnSimObjectRequest>(&body)) {
        BeginRequest(&frame, RequestKind::RequestDataOnSimObject, sendId);
        for (uint32_t value : {data->requestId, data->defineId, data->objectId, data->period,
                               data->flags, data->origin, data->interval, data->limit})
            AppendU32(&frame, value);
    } else if (const auto* byType = std::get_if<RequestDataOnSimObjectTypeRequest>(&body)) {
        BeginRequest(&frame, RequestKind::RequestDataOnSimObjectType, sendId);
        for (uint32_t value :
             {byType->requestId, byType->defineId, byType->radiusMeters, byType->objectType})
            AppendU32(&frame, value);
    } else if (const auto* map = std::get_if<MapClientEventRequest>(&body)) {
        if (!FitsField(map->eventName, kNameFieldSize)) return false;
        BeginRequest(&frame, RequestKind::MapClientEventToSimEvent, sendId);
        AppendU32(&frame, map->eventId);
        AppendText(&frame, map->eventName, kNameFieldSize);
    } else if (const auto* subscribe = std::get_if<SubscribeSystemEventRequest>(&body)) {
        if (!FitsField(subscribe->systemEventName, kNameFieldSize)) return false;
        BeginRequest(&frame, RequestKind::SubscribeToSystemEvent, sendId);
        AppendU32(&frame, subscribe->eventId);
        AppendText(&frame, subscribe->systemEventName, kNameFieldSize);
    } else if (const auto* transmit = std::get_if<TransmitClientEventRequest>(&body)) {
        BeginRequest(&frame, RequestKind::TransmitClientEvent, sendId);
        for (uint32_t value : {transmit->objectId, transmit->eventId, transmit->data,
                               transmit->groupId, transmit->flags})
            AppendU32(&frame, value);
    } else {
        return false;
    }
    FinishFrame(&frame);
    *out = std::move(frame);
    return true;
}

FrameStatus PeekFrame(const uint8_t* data, size_t available, uint32_t headerSize,
                      uint32_t* frameSize) {
    if (available < 4) return FrameStatus::Incomplete;
    const uint32_t size = ReadU32(data);
    if (size < headerSize || size > kMaxFrameSize) return FrameStatus::Malformed;
    *frameSize = size;
    return available >= size ? FrameStatus::Complete : FrameStatus::Incomplete;
}

bool DecodeRequest(const uint8_t* frame, size_t size, Request* out, std::string* error) {
    if (size < kRequestHeaderSize) return Fail(error, "request shorter than its header");
    if (ReadU32(frame) != size) return Fail(error, "request size word does not match the frame");
    const uint32_t version = ReadU32(frame + 4);
    if (version != kProtocolVersion)
        return Fail(error, "protocol version " + std::to_string(version) + " not supported");
    const uint32_t kind = ReadU32(frame + 8);
    out->version = version;
    out->sendId = ReadU32(frame + 12);
    const uint8_t* body = frame + kRequestHeaderSize;
    auto expect = [&](uint32_t wanted) {
        return size == wanted ||
               Fail(error, "request kind " + std::to_string(kind) + " has " + std::to_string(size) +
                               " bytes, expected " + std::to_string(wanted));
    };
    switch (static_cast<RequestKind>(kind)) {
        case RequestKind::Open: {
            if (!expect(kOpenRequestSize)) return false;
            OpenRequest open;
            if (!ReadText(body, kAppNameFieldSize, &open.appName))
                return Fail(error, "application name without NUL");
            open.configIndex = ReadU32(body + kAppNameFieldSize);
            out->body = std::move(open);
            return true;
        }
        case RequestKind::AddToDataDefinition: {
            if (!expect(kAddToDataDefinitionSize)) return false;
            AddToDataDefinitionRequest add;
            add.defineId = ReadU32(body);
            if (!ReadText(body + 4, kNameFieldSize, &add.datumName) ||
                !ReadText(body + 4 + kNameFieldSize, kNameFieldSize, &add.unitsName))
                return Fail(error, "datum or unit name without NUL");
            const uint8_t* tail = body + 4 + 2 * kNameFieldSize;
            add.datumType = ReadU32(tail);
            add.epsilon = std::bit_cast<float>(ReadU32(tail + 4));
            add.datumId = ReadU32(tail + 8);
            out->body = std::move(add);
            return true;
        }
        case RequestKind::RequestDataOnSimObject: {
            if (!expect(kRequestDataOnSimObjectSize)) return false;
            RequestDataOnSimObjectRequest data;
            uint32_t* fields[] = {&data.requestId, &data.defineId, &data.objectId, &data.period,
                                  &data.flags,     &data.origin,   &data.interval, &data.limit};
            for (size_t i = 0; i < 8; ++i) *fields[i] = ReadU32(body + 4 * i);
            out->body = data;
            return true;
        }
        case RequestKind::RequestDataOnSimObjectType: {
            if (!expect(kRequestDataOnSimObjectTypeSize)) return false;
            RequestDataOnSimObjectTypeRequest byType;
            byType.requestId = ReadU32(body);
            byType.defineId = ReadU32(body + 4);
            byType.radiusMeters = ReadU32(body + 8);
            byType.objectType = ReadU32(body + 12);
            out->body = byType;
            return true;
        }
        case RequestKind::MapClientEventToSimEvent:
        case RequestKind::SubscribeToSystemEvent: {
            if (!expect(kEventNameRequestSize)) return false;
            std::string name;
            if (!ReadText(body + 4, kNameFieldSize, &name))
                return Fail(error, "event name without NUL");
            if (static_cast<RequestKind>(kind) == RequestKind::MapClientEventToSimEvent) {
                out->body = MapClientEventRequest{ReadU32(body), std::move(name)};
            } else {
                out->body = SubscribeSystemEventRequest{ReadU32(body), std::move(name)};
            }
            return true;
        }
        case RequestKind::TransmitClientEvent: {
            if (!expect(kTransmitClientEventSize)) return false;
            out->body =
                TransmitClientEventRequest{ReadU32(body), ReadU32(body + 4), ReadU32(body + 8),
                                           ReadU32(body + 12), ReadU32(body + 16)};
            return true;
        }
    }
    return Fail(error, "unknown request kind " + std::to_string(kind));
}

std::vector<uint8_t> EncodeException(uint32_t exception, uint32_t sendId, uint32_t index) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, SIMCONNECT_RECV_ID_EXCEPTION);
    AppendU32(&frame, exception);
    AppendU32(&frame, sendId);
    AppendU32(&frame, index);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeOpen(const OpenInfo& info) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, SIMCONNECT_RECV_ID_OPEN);
    AppendText(&frame, info.applicationName, kAppNameFieldSize);
    for (uint32_t value :
         {info.applicationVersionMajor, info.applicationVersionMinor, info.applicationBuildMajor,
          info.applicationBuildMinor, info.simConnectVersionMajor, info.simConnectVersionMinor,
          info.simConnectBuildMajor, info.simConnectBuildMinor, 0u, 0u})
        AppendU32(&frame, value);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeQuit() {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, SIMCONNECT_RECV_ID_QUIT);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeEvent(uint32_t groupId, uint32_t eventId, uint32_t data) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, SIMCONNECT_RECV_ID_EVENT);
    AppendU32(&frame, groupId);
    AppendU32(&frame, eventId);
    AppendU32(&frame, data);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeEventFilename(uint32_t groupId, uint32_t eventId, uint32_t data,
                                         const std::string& fileName, uint32_t flags) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, SIMCONNECT_RECV_ID_EVENT_FILENAME);
    AppendU32(&frame, groupId);
    AppendU32(&frame, eventId);
    AppendU32(&frame, data);
    AppendText(&frame, fileName, kFileNameFieldSize);
    AppendU32(&frame, flags);
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeSimObjectData(uint32_t messageId, uint32_t requestId, uint32_t objectId,
                                         uint32_t defineId, uint32_t flags, uint32_t entryNumber,
                                         uint32_t outOf, uint32_t defineCount,
                                         const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, messageId);
    for (uint32_t value : {requestId, objectId, defineId, flags, entryNumber, outOf, defineCount})
        AppendU32(&frame, value);
    frame.insert(frame.end(), data.begin(), data.end());
    FinishFrame(&frame);
    return frame;
}

std::vector<uint8_t> EncodeRawMessage(uint32_t messageId, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> frame;
    BeginMessage(&frame, messageId);
    frame.insert(frame.end(), body.begin(), body.end());
    FinishFrame(&frame);
    return frame;
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
    size_t at = 0;
    for (uint32_t type : types) {
        if (type == SIMCONNECT_DATATYPE_STRINGV) {
            const void* nul = std::memchr(data + at, '\0', size - at);
            if (nul == nullptr) return false;
            at = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) + 1;
            continue;
        }
        const size_t width = DatumFixedSize(type);
        if (width == 0 || size - at < width) return false;
        at += width;
    }
    return at == size;
}

bool ValidateMessage(const uint8_t* frame, size_t size, const DefinitionLookup& definitions,
                     std::string* error) {
    if (size < kMessageHeaderSize || size > kMaxFrameSize)
        return Fail(error, "message size out of range");
    if (ReadU32(frame) != size) return Fail(error, "message size word does not match the frame");
    if (ReadU32(frame + 4) != kProtocolVersion) return Fail(error, "wrong protocol version");
    const uint32_t id = ReadU32(frame + 8);
    auto expect = [&](size_t wanted) {
        return size == wanted ||
               Fail(error, "message " + std::to_string(id) + " has " + std::to_string(size) +
                               " bytes, expected " + std::to_string(wanted));
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

}  // namespace simproto
