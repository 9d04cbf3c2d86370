#pragma once
// Client library of the simulator (our own): the operations, ids, constants and message
// structures the program uses, speaking the simulator's own binary protocol
// (docs/simulator-protocol.md) over TCP, or over the simulator's local pipe on Windows. Where the
// simulator is comes from SimConnect.cfg (simconnect/ConfigFile.h). It stays in the global
// namespace: its callers expect the C-style client API (SimConnect_Open, SIMCONNECT_RECV, ...)
// under the names that API has everywhere.
//
// A handle may be used by two threads at once: one thread calls SimConnect_CallDispatch while
// another sends requests (each send goes out whole under the connection's own lock). Only
// SimConnect_Close must not overlap any other call on the same handle, and nothing may use the
// handle after it.
//
// Results of SimConnect_CallDispatch:
//   S_OK (0)                           healthy, whether or not a message was delivered
//   SIMCONNECT_STATUS_PIPE_DISCONNECTED the simulator ended the connection in order (end of stream
//                                      on a message boundary)
//   SIMCONNECT_STATUS_CONNECTION_RESET the connection was reset
//   SIMCONNECT_STATUS_PIPE_BROKEN      a write failed, or the stream ended inside a message
//   SIMCONNECT_E_MALFORMED_FRAME       the simulator sent a message that breaks the protocol
// A failure is sticky: every later call returns it again. Messages that arrived complete before
// the failure are still delivered first; the failure is reported by the first call that has
// nothing left to deliver.

#include <cstdint>

#include "simconnect/WindowsTypes.h"

inline constexpr HRESULT SIMCONNECT_STATUS_PIPE_DISCONNECTED = static_cast<HRESULT>(0xC00000B0u);
inline constexpr HRESULT SIMCONNECT_STATUS_PIPE_BROKEN = static_cast<HRESULT>(0xC000014Bu);
inline constexpr HRESULT SIMCONNECT_STATUS_CONNECTION_RESET = static_cast<HRESULT>(0xC000020Du);
// Our own value (the invalid-data HRESULT): the simulator broke the protocol.
inline constexpr HRESULT SIMCONNECT_E_MALFORMED_FRAME = static_cast<HRESULT>(0x8007000Du);

using SIMCONNECT_OBJECT_ID = DWORD;
using SIMCONNECT_DATA_DEFINITION_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_ID = DWORD;
using SIMCONNECT_CLIENT_EVENT_ID = DWORD;
using SIMCONNECT_NOTIFICATION_GROUP_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_FLAG = DWORD;
using SIMCONNECT_EVENT_FLAG = DWORD;

inline constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
inline constexpr SIMCONNECT_OBJECT_ID SIMCONNECT_OBJECT_ID_USER = 0;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_STANDARD = 1900000000u;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_LOWEST = 4000000000u;
inline constexpr SIMCONNECT_EVENT_FLAG SIMCONNECT_EVENT_FLAG_DEFAULT = 0;
inline constexpr SIMCONNECT_EVENT_FLAG SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;
inline constexpr SIMCONNECT_DATA_REQUEST_FLAG SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0;

enum SIMCONNECT_RECV_ID : DWORD {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
};

enum SIMCONNECT_DATATYPE : DWORD {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING8 = 5,
    SIMCONNECT_DATATYPE_STRING32 = 6,
    SIMCONNECT_DATATYPE_STRING64 = 7,
    SIMCONNECT_DATATYPE_STRING128 = 8,
    SIMCONNECT_DATATYPE_STRING256 = 9,
    SIMCONNECT_DATATYPE_STRING260 = 10,
    SIMCONNECT_DATATYPE_STRINGV = 11,
};

enum SIMCONNECT_PERIOD : DWORD {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE : DWORD {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

// Values of SIMCONNECT_RECV_EXCEPTION::dwException that the simulator may report.
enum SIMCONNECT_EXCEPTION : DWORD {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_UNOPENED = 4,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_TOO_MANY_GROUPS = 6,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_TOO_MANY_EVENT_NAMES = 8,
    SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE = 9,
    SIMCONNECT_EXCEPTION_TOO_MANY_MAPS = 10,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_TOO_MANY_REQUESTS = 12,
    SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE = 18,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_DATA_ERROR = 20,
    SIMCONNECT_EXCEPTION_DEFINITION_ERROR = 28,
    SIMCONNECT_EXCEPTION_DUPLICATE_ID = 29,
};

// Messages as the callback receives them. The wire carries exactly these bytes (little-endian,
// no padding), so each layout is fixed by the size checks below.
struct SIMCONNECT_RECV {
    DWORD dwSize;     // bytes of the whole message
    DWORD dwVersion;  // the server's version (a simulator echoes the client's protocol)
    DWORD dwID;       // SIMCONNECT_RECV_ID
};

struct SIMCONNECT_RECV_EXCEPTION : SIMCONNECT_RECV {
    DWORD dwException;  // SIMCONNECT_EXCEPTION
    DWORD dwSendID;     // send id of the request that failed (0 when none applies)
    DWORD dwIndex;      // which argument of that request was at fault
};

struct SIMCONNECT_RECV_OPEN : SIMCONNECT_RECV {
    char szApplicationName[256];  // NUL-terminated
    DWORD dwApplicationVersionMajor;
    DWORD dwApplicationVersionMinor;
    DWORD dwApplicationBuildMajor;
    DWORD dwApplicationBuildMinor;
    DWORD dwSimConnectVersionMajor;
    DWORD dwSimConnectVersionMinor;
    DWORD dwSimConnectBuildMajor;
    DWORD dwSimConnectBuildMinor;
    DWORD dwReserved1;
    DWORD dwReserved2;
};

struct SIMCONNECT_RECV_QUIT : SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : SIMCONNECT_RECV {
    DWORD uGroupID;  // SIMCONNECT_UNUSED for system events
    DWORD uEventID;  // the client's event id
    DWORD dwData;
};

struct SIMCONNECT_RECV_EVENT_FILENAME : SIMCONNECT_RECV_EVENT {
    char szFileName[MAX_PATH];  // NUL-terminated
    DWORD dwFlags;
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA : SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber;  // 1-based number of this reply within a reply set
    DWORD dwoutof;        // replies in the set
    DWORD dwDefineCount;  // data items that follow
    DWORD dwData;         // the first bytes of the data; the data runs to the end of the message
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE : SIMCONNECT_RECV_SIMOBJECT_DATA {};

static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == 308);
static_assert(sizeof(SIMCONNECT_RECV_QUIT) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == 288);
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) == 44);
// Where the data of an object-data message begins.
inline constexpr DWORD kSimObjectDataOffset = 40;

// The callback of SimConnect_CallDispatch: one message, its size in bytes, the caller's context.
// The message stays valid until the callback returns.
using DispatchProc = void (*)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// Opens a connection to the simulator named by SimConnect.cfg for `ConfigIndex` (no file: this
// machine's simulator). The network part runs on a thread of the library's own, so a call never
// holds its caller for more than a few milliseconds: the first call starts an attempt and waits
// briefly for it, and E_PENDING says it is still under way; a later call takes its connection, or
// its failure (negative). Problems worth the user's attention go to the log once each. On success
// the simulator's open message is delivered by the first SimConnect_CallDispatch; otherwise
// *phSimConnect is left unchanged.
HRESULT SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex);
// Not an operation of the simulator's own library: true when the connection's simulator runs on
// this machine (a loopback address or the local pipe), where its main window can be looked for.
bool SimConnect_ServerOnThisMachine(HANDLE hSimConnect);
// Ends the connection and frees the handle. E_INVALIDARG for a null handle.
HRESULT SimConnect_Close(HANDLE hSimConnect);

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float fEpsilon = 0, DWORD DatumID = SIMCONNECT_UNUSED);
HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags = 0, DWORD origin = 0,
                                          DWORD interval = 0, DWORD limit = 0);
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type);
HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName = "");
HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                     BOOL bMaskable = 0);
HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority);
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName);
HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags);
// Delivers every message that has arrived, each by one call of pfcnDispatch on this thread, and
// never waits for more. Must not be called from inside its own callback.
HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);
// Finds the NUL-terminated text of variable length at pStringV inside the message pData of cbData
// bytes. On success *ppStringV points at it and *pcbStringV is its size in bytes with the NUL.
// E_FAIL (and a null text of size 0) when pStringV lies outside the message or the text has no
// NUL before the message ends.
HRESULT SimConnect_RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV,
                                  char** ppStringV, DWORD* pcbStringV);
