#include "sim/SimConnect.h"

#include <cstring>

#include "platform/Paths.h"
#include "sim/SimConnection.h"

namespace {

// How long SimConnect_Open waits for the simulator's answer. The presence check calls it on the
// window thread once a second, so it must stay short.
constexpr std::chrono::milliseconds kOpenTimeout{1000};

SimConnection* ToConnection(HANDLE handle) {
    return static_cast<SimConnection*>(handle);
}

}  // namespace

HRESULT SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND /*hWnd*/,
                        DWORD /*UserEventWin32*/, HANDLE /*hEventHandle*/, DWORD ConfigIndex) {
    if (phSimConnect == nullptr || szName == nullptr) return E_INVALIDARG;
    HRESULT result = E_FAIL;
    std::unique_ptr<SimConnection> connection = SimConnection::Open(
        platform::SimConnectSocketPath(), szName, ConfigIndex, kOpenTimeout, &result);
    if (!connection) return result;
    *phSimConnect = connection.release();
    return S_OK;
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    delete ToConnection(hSimConnect);
    return S_OK;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                       DWORD DatumID) {
    if (hSimConnect == nullptr || DatumName == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->AddToDataDefinition({DefineID, DatumName, UnitsName != nullptr ? UnitsName : "",
                               DatumType, fEpsilon, DatumID});
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simproto::RequestDataOnSimObjectRequest{RequestID, DefineID, ObjectID, Period, Flags,
                                                       origin, interval, limit});
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(
            simproto::RequestDataOnSimObjectTypeRequest{RequestID, DefineID, dwRadiusMeters, type});
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simproto::MapClientEventRequest{EventID, EventName != nullptr ? EventName : ""});
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName) {
    if (hSimConnect == nullptr || SystemEventName == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simproto::SubscribeSystemEventRequest{EventID, SystemEventName});
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simproto::TransmitClientEventRequest{ObjectID, EventID, dwData, GroupID, Flags});
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)->Dispatch(pfcnDispatch, pContext);
}

HRESULT SimConnect_RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV,
                                  char** ppStringV, DWORD* pcbStringV) {
    if (ppStringV != nullptr) *ppStringV = nullptr;
    if (pcbStringV != nullptr) *pcbStringV = 0;
    if (pData == nullptr || pStringV == nullptr || ppStringV == nullptr || pcbStringV == nullptr)
        return E_INVALIDARG;
    const char* begin = reinterpret_cast<const char*>(pData);
    const char* text = static_cast<const char*>(pStringV);
    if (text < begin || text >= begin + cbData) return E_FAIL;
    const size_t room = static_cast<size_t>(begin + cbData - text);
    const void* nul = std::memchr(text, '\0', room);
    if (nul == nullptr) return E_FAIL;
    *ppStringV = static_cast<char*>(pStringV);
    *pcbStringV = static_cast<DWORD>(static_cast<const char*>(nul) - text + 1);
    return S_OK;
}
