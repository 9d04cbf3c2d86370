#pragma once
// Encoding and checking of the frames that the client library and a simulator exchange
// (docs/simulator-protocol.md). Shared by the library, the simulator stand-in and the tests, so
// that all of them agree byte for byte. Nothing here does any input or output.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace simproto {

// Protocol version carried in every frame's second word; both sides must use the same.
inline constexpr uint32_t kProtocolVersion = 1;
// Largest frame either side accepts, header included.
inline constexpr uint32_t kMaxFrameSize = 65536;
// Simulator to client: size, version, message id.
inline constexpr uint32_t kMessageHeaderSize = 12;
// Client to simulator: size, version, request kind, send id.
inline constexpr uint32_t kRequestHeaderSize = 16;
// Every fixed text field of a request: NUL-terminated within 256 bytes.
inline constexpr size_t kNameFieldSize = 256;
inline constexpr size_t kAppNameFieldSize = 256;
inline constexpr size_t kFileNameFieldSize = 260;
// Most data items one definition may hold.
inline constexpr size_t kMaxDefinitionItems = 1024;

enum class RequestKind : uint32_t {
    Open = 1,
    AddToDataDefinition = 2,
    RequestDataOnSimObject = 3,
    RequestDataOnSimObjectType = 4,
    MapClientEventToSimEvent = 5,
    SubscribeToSystemEvent = 6,
    TransmitClientEvent = 7,
};

struct OpenRequest {
    std::string appName;
    uint32_t configIndex = 0;
};
struct AddToDataDefinitionRequest {
    uint32_t defineId = 0;
    std::string datumName;
    std::string unitsName;  // empty: no unit
    uint32_t datumType = 0;
    float epsilon = 0;
    uint32_t datumId = 0;
};
struct RequestDataOnSimObjectRequest {
    uint32_t requestId = 0;
    uint32_t defineId = 0;
    uint32_t objectId = 0;
    uint32_t period = 0;
    uint32_t flags = 0;
    uint32_t origin = 0;
    uint32_t interval = 0;
    uint32_t limit = 0;
};
struct RequestDataOnSimObjectTypeRequest {
    uint32_t requestId = 0;
    uint32_t defineId = 0;
    uint32_t radiusMeters = 0;
    uint32_t objectType = 0;
};
struct MapClientEventRequest {
    uint32_t eventId = 0;
    std::string eventName;
};
struct SubscribeSystemEventRequest {
    uint32_t eventId = 0;
    std::string systemEventName;
};
struct TransmitClientEventRequest {
    uint32_t objectId = 0;
    uint32_t eventId = 0;
    uint32_t data = 0;
    uint32_t groupId = 0;
    uint32_t flags = 0;
};

using RequestBody =
    std::variant<OpenRequest, AddToDataDefinitionRequest, RequestDataOnSimObjectRequest,
                 RequestDataOnSimObjectTypeRequest, MapClientEventRequest,
                 SubscribeSystemEventRequest, TransmitClientEventRequest>;

struct Request {
    uint32_t version = kProtocolVersion;
    uint32_t sendId = 0;
    RequestBody body;
};

// Builds a request frame. False (and `out` untouched) when a text does not fit its field.
bool EncodeRequest(uint32_t sendId, const RequestBody& body, std::vector<uint8_t>* out);

enum class FrameStatus { Complete, Incomplete, Malformed };

// Looks at the start of a byte stream: Complete when a whole frame of `*frameSize` bytes is
// there, Incomplete when more bytes are needed, Malformed when the size word is below
// `headerSize` or above kMaxFrameSize (the stream cannot be resynchronised after that).
FrameStatus PeekFrame(const uint8_t* data, size_t available, uint32_t headerSize,
                      uint32_t* frameSize);

// Decodes one complete request frame. False with a reason when it breaks the protocol (wrong
// version, unknown kind, wrong size for its kind, a text without its NUL).
bool DecodeRequest(const uint8_t* frame, size_t size, Request* out, std::string* error);

// ---- Simulator to client -----------------------------------------------------------------------

struct OpenInfo {
    std::string applicationName;
    uint32_t applicationVersionMajor = 0;
    uint32_t applicationVersionMinor = 0;
    uint32_t applicationBuildMajor = 0;
    uint32_t applicationBuildMinor = 0;
    uint32_t simConnectVersionMajor = 0;
    uint32_t simConnectVersionMinor = 0;
    uint32_t simConnectBuildMajor = 0;
    uint32_t simConnectBuildMinor = 0;
};

// Texts longer than their field are cut so that the NUL still fits.
std::vector<uint8_t> EncodeException(uint32_t exception, uint32_t sendId, uint32_t index);
std::vector<uint8_t> EncodeOpen(const OpenInfo& info);
std::vector<uint8_t> EncodeQuit();
std::vector<uint8_t> EncodeEvent(uint32_t groupId, uint32_t eventId, uint32_t data);
std::vector<uint8_t> EncodeEventFilename(uint32_t groupId, uint32_t eventId, uint32_t data,
                                         const std::string& fileName, uint32_t flags);
// `messageId` is 8 (data on an object) or 9 (reply by type); `data` laid out as the definition.
std::vector<uint8_t> EncodeSimObjectData(uint32_t messageId, uint32_t requestId, uint32_t objectId,
                                         uint32_t defineId, uint32_t flags, uint32_t entryNumber,
                                         uint32_t outOf, uint32_t defineCount,
                                         const std::vector<uint8_t>& data);
// A message of any id with an opaque body (ids the library passes on without a structure).
std::vector<uint8_t> EncodeRawMessage(uint32_t messageId, const std::vector<uint8_t>& body);

// Bytes of one data item of `datumType`; 0 for the variable-length text and for invalid types.
size_t DatumFixedSize(uint32_t datumType);
bool IsValidDatumType(uint32_t datumType);

// True when `size` bytes of `data` are exactly the items of `types` in order (a variable-length
// text being its characters and one NUL).
bool MatchesDefinition(const uint8_t* data, size_t size, const std::vector<uint32_t>& types);

// The datum types of a definition the client declared, or null for an unknown definition.
using DefinitionLookup = std::function<const std::vector<uint32_t>*(uint32_t defineId)>;

// Checks one complete message frame from the simulator before any field of it is used.
bool ValidateMessage(const uint8_t* frame, size_t size, const DefinitionLookup& definitions,
                     std::string* error);

// Little-endian field access with bounds already checked by the caller.
uint32_t ReadU32(const uint8_t* at);
void AppendU32(std::vector<uint8_t>* out, uint32_t value);
void AppendF64(std::vector<uint8_t>* out, double value);
// Appends `text` in a field of `fieldSize` bytes, NUL-padded; cut to fieldSize - 1 characters.
void AppendText(std::vector<uint8_t>* out, const std::string& text, size_t fieldSize);

}  // namespace simproto
