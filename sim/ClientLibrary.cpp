#include "sim/ClientLibrary.h"

namespace sim {

namespace {

class LibraryApi final : public ClientLibrary {
  public:
    HRESULT Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                 HANDLE hEventHandle, DWORD ConfigIndex) override {
        return SimConnect_Open(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle,
                               ConfigIndex);
    }
    HRESULT Close(HANDLE hSimConnect) override { return SimConnect_Close(hSimConnect); }
    HRESULT AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                const char* DatumName, const char* UnitsName,
                                SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                DWORD DatumID) override {
        return SimConnect_AddToDataDefinition(hSimConnect, DefineID, DatumName, UnitsName,
                                              DatumType, fEpsilon, DatumID);
    }
    HRESULT RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                   SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                   SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                   SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval,
                                   DWORD limit) override {
        return SimConnect_RequestDataOnSimObject(hSimConnect, RequestID, DefineID, ObjectID, Period,
                                                 Flags, origin, interval, limit);
    }
    HRESULT RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                       SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override {
        return SimConnect_RequestDataOnSimObjectType(hSimConnect, RequestID, DefineID,
                                                     dwRadiusMeters, type);
    }
    HRESULT MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                     const char* EventName) override {
        return SimConnect_MapClientEventToSimEvent(hSimConnect, EventID, EventName);
    }
    HRESULT SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                   const char* SystemEventName) override {
        return SimConnect_SubscribeToSystemEvent(hSimConnect, EventID, SystemEventName);
    }
    HRESULT TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                SIMCONNECT_EVENT_FLAG Flags) override {
        return SimConnect_TransmitClientEvent(hSimConnect, ObjectID, EventID, dwData, GroupID,
                                              Flags);
    }
    HRESULT CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) override {
        return SimConnect_CallDispatch(hSimConnect, pfcnDispatch, pContext);
    }
    HRESULT RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV, char** ppStringV,
                           DWORD* pcbStringV) override {
        return SimConnect_RetrieveString(pData, cbData, pStringV, ppStringV, pcbStringV);
    }
    bool ServerOnThisMachine(HANDLE hSimConnect) override {
        return SimConnect_ServerOnThisMachine(hSimConnect);
    }
};

}  // namespace

ClientLibrary& ClientLibrary::Real() {
    static LibraryApi library;
    return library;
}

}  // namespace sim
