#include "simconnect/SimConnect.h"

#include <cstring>

#include "simconnect/Connection.h"
#include "simconnect/Opener.h"

namespace {

simconnect::Connection* ToConnection(HANDLE handle) {
    return static_cast<simconnect::Connection*>(handle);
}

}  // namespace

HRESULT SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND /*hWnd*/,
                        DWORD /*UserEventWin32*/, HANDLE /*hEventHandle*/, DWORD ConfigIndex) {
    if (phSimConnect == nullptr || szName == nullptr) return E_INVALIDARG;
    std::unique_ptr<simconnect::Connection> connection;
    const HRESULT result = simconnect::Opener::Instance().Open(szName, ConfigIndex, &connection);
    if (result != S_OK) return result;
    *phSimConnect = connection.release();
    return S_OK;
}

bool SimConnect_ServerOnThisMachine(HANDLE hSimConnect) {
    return hSimConnect != nullptr && ToConnection(hSimConnect)->OnThisMachine();
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
        ->Send(simconnect::RequestDataOnSimObjectRequest{RequestID, DefineID, ObjectID, Period,
                                                         Flags, origin, interval, limit});
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simconnect::RequestDataOnSimObjectTypeRequest{RequestID, DefineID, dwRadiusMeters,
                                                             type});
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simconnect::MapClientEventRequest{EventID, EventName != nullptr ? EventName : ""});
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                     BOOL bMaskable) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simconnect::AddClientEventToGroupRequest{GroupID, EventID, bMaskable ? 1u : 0u});
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)->Send(simconnect::SetGroupPriorityRequest{GroupID, uPriority});
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName) {
    if (hSimConnect == nullptr || SystemEventName == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simconnect::SubscribeSystemEventRequest{EventID, SystemEventName});
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags) {
    if (hSimConnect == nullptr) return E_INVALIDARG;
    return ToConnection(hSimConnect)
        ->Send(simconnect::TransmitClientEventRequest{ObjectID, EventID, dwData, GroupID, Flags});
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
