#pragma once
// Encoding and checking of the frames that the client library and a simulator exchange: the
// simulator's own binary protocol (docs/simulator-protocol.md). Shared by the library, the
// simulator stand-in and the tests, so that all of them agree byte for byte. Nothing here does any
// input or output.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace simconnect {

// Protocol numbers of the simulator's releases, carried in every request's second word. The
// message layouts the program uses are the same under all three; only the open request's version
// fields differ.
inline constexpr uint32_t kProtocolRtm = 2;  // first release
inline constexpr uint32_t kProtocolSp1 = 3;  // service pack 1
inline constexpr uint32_t kProtocolSp2 = 4;  // service pack 2 and the Acceleration pack
inline constexpr uint32_t kDefaultProtocol = kProtocolSp2;

// A protocol number and the client library version that the simulator expects with it.
struct ProtocolRelease {
    uint32_t protocol;
    const char* name;  // "FSX SP2"
    uint32_t versionMajor;
    uint32_t versionMinor;
    uint32_t buildMajor;
    uint32_t buildMinor;
};
// The release of `protocol`, or null for a number no release uses.
const ProtocolRelease* FindRelease(uint32_t protocol);
// "10.0.61259.0".
std::string VersionText(const ProtocolRelease& release);

// Largest message a reader accepts unless configured larger, header included.
inline constexpr uint32_t kMaxFrameSize = 65536;
// Simulator to client: size, version, message id.
inline constexpr uint32_t kMessageHeaderSize = 12;
// Client to simulator: size, protocol, 0xF0000000 | request type, send id.
inline constexpr uint32_t kRequestHeaderSize = 16;
// High bits of every request's type word.
inline constexpr uint32_t kRequestTypeMark = 0xF0000000u;
// Fixed text fields: NUL-padded, a longer text is cut so that its NUL still fits.
inline constexpr size_t kNameFieldSize = 256;
inline constexpr size_t kAppNameFieldSize = 256;
inline constexpr size_t kFileNameFieldSize = 260;
// Bytes 20..23 of the open request: "\0XSF" read as a little-endian number.
inline constexpr uint32_t kOpenMarker = 0x46535800u;
// Most data items one definition may hold.
inline constexpr size_t kMaxDefinitionItems = 1024;

// Request types (the low bits of the type word).
enum class RequestKind : uint32_t {
    Open = 0x01,
    MapClientEventToSimEvent = 0x04,
    TransmitClientEvent = 0x05,
    AddClientEventToNotificationGroup = 0x07,
    SetNotificationGroupPriority = 0x09,
    AddToDataDefinition = 0x0C,
    RequestDataOnSimObject = 0x0E,
    RequestDataOnSimObjectType = 0x0F,
    SubscribeToSystemEvent = 0x17,
};

struct OpenRequest {
    std::string appName;
    // The client library version; OpenRequestFor fills it in for a protocol.
    uint32_t versionMajor = 0;
    uint32_t versionMinor = 0;
    uint32_t buildMajor = 0;
    uint32_t buildMinor = 0;
};
// The open request a client of `release` sends.
OpenRequest OpenRequestFor(const ProtocolRelease& release, const std::string& appName);

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
    std::string eventName;  // empty: a private client event
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
struct AddClientEventToGroupRequest {
    uint32_t groupId = 0;
    uint32_t eventId = 0;
    uint32_t maskable = 0;
};
struct SetGroupPriorityRequest {
    uint32_t groupId = 0;
    uint32_t priority = 0;
};

using RequestBody =
    std::variant<OpenRequest, AddToDataDefinitionRequest, RequestDataOnSimObjectRequest,
                 RequestDataOnSimObjectTypeRequest, MapClientEventRequest,
                 SubscribeSystemEventRequest, TransmitClientEventRequest,
                 AddClientEventToGroupRequest, SetGroupPriorityRequest>;

struct Request {
    uint32_t protocol = kDefaultProtocol;
    uint32_t type = 0;  // the type word without its high bits
    uint32_t sendId = 0;
    RequestBody body;
};

// Builds a request frame under `protocol`. Texts longer than their field are cut.
std::vector<uint8_t> EncodeRequest(uint32_t protocol, uint32_t sendId, const RequestBody& body);

enum class FrameStatus { kComplete, kIncomplete, kMalformed };

// Looks at the start of a byte stream: kComplete when a whole frame of `*frameSize` bytes is
// there, kIncomplete when more bytes are needed, kMalformed when the size word is below
// `headerSize` or above `maxFrameSize` (the stream cannot be resynchronised after that).
FrameStatus PeekFrame(const uint8_t* data, size_t available, uint32_t headerSize,
                      uint32_t* frameSize, uint32_t maxFrameSize = kMaxFrameSize);

enum class DecodeStatus {
    kOk,
    // A well-framed request of a type this side does not know; header fields are filled in, so
    // that a server can answer with an exception naming its send id.
    kUnknownType,
    // The frame breaks the protocol: wrong size for its type, a type word without its mark, a
    // text without its NUL.
    kMalformed,
};
// Decodes one complete request frame; `error` says why when the status is not Ok. The protocol
// number is reported, not judged: which numbers a server accepts is its own business.
DecodeStatus DecodeRequest(const uint8_t* frame, size_t size, Request* out, std::string* error);

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

// Every message starts with the server's version word: a simulator answers a client with that
// client's protocol number. Texts longer than their field are cut so that the NUL still fits.
std::vector<uint8_t> EncodeException(uint32_t version, uint32_t exception, uint32_t sendId,
                                     uint32_t index);
// `reserved1` and `reserved2`: a real server may put other values than 0 there.
std::vector<uint8_t> EncodeOpen(uint32_t version, const OpenInfo& info, uint32_t reserved1 = 0,
                                uint32_t reserved2 = 0);
std::vector<uint8_t> EncodeQuit(uint32_t version);
std::vector<uint8_t> EncodeEvent(uint32_t version, uint32_t groupId, uint32_t eventId,
                                 uint32_t data);
std::vector<uint8_t> EncodeEventFilename(uint32_t version, uint32_t groupId, uint32_t eventId,
                                         uint32_t data, const std::string& fileName,
                                         uint32_t flags);
// `messageId` is 8 (data on an object) or 9 (reply by type); `data` laid out as the definition.
std::vector<uint8_t> EncodeSimObjectData(uint32_t version, uint32_t messageId, uint32_t requestId,
                                         uint32_t objectId, uint32_t defineId, uint32_t flags,
                                         uint32_t entryNumber, uint32_t outOf, uint32_t defineCount,
                                         const std::vector<uint8_t>& data);
// A message of any id with an opaque body (ids the library passes on without a structure).
std::vector<uint8_t> EncodeRawMessage(uint32_t version, uint32_t messageId,
                                      const std::vector<uint8_t>& body);
// The bytes of a variable-length text item inside object data: the text, its NUL, then zeros up
// to the next multiple of four bytes (as the stand-in sends it; readers also take it unpadded).
std::vector<uint8_t> EncodeStringV(const std::string& text);

// Bytes of one data item of `datumType`; 0 for the variable-length text and for invalid types.
size_t DatumFixedSize(uint32_t datumType);
bool IsValidDatumType(uint32_t datumType);

// True when `size` bytes of `data` are exactly the items of `types` in order. A variable-length
// text is its characters, its NUL and zero padding: where fixed items alone follow it, the
// padding is whatever lies between its NUL and them; before another variable text it runs to the
// next non-zero byte.
bool MatchesDefinition(const uint8_t* data, size_t size, const std::vector<uint32_t>& types);

// The datum types of a definition the client declared, or null for an unknown definition.
using DefinitionLookup = std::function<const std::vector<uint32_t>*(uint32_t defineId)>;

// Checks one complete message frame from the simulator before any field of it is used. The
// version word is not judged (servers differ in what they put there).
bool ValidateMessage(const uint8_t* frame, size_t size, const DefinitionLookup& definitions,
                     std::string* error, uint32_t maxFrameSize = kMaxFrameSize);

// Little-endian field access with bounds already checked by the caller.
uint32_t ReadU32(const uint8_t* at);
void AppendU32(std::vector<uint8_t>* out, uint32_t value);
void AppendF64(std::vector<uint8_t>* out, double value);
// Appends `text` in a field of `fieldSize` bytes, NUL-padded; cut to fieldSize - 1 characters.
void AppendText(std::vector<uint8_t>* out, const std::string& text, size_t fieldSize);

}  // namespace simconnect
