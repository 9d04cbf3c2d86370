#pragma once
// The simulator operations the program calls, behind virtual functions so that a test can stand
// in for the simulator. Real() forwards each call to the client library unchanged.

#include "simconnect/SimConnect.h"

namespace sim {

class ClientLibrary {
  public:
    virtual ~ClientLibrary() = default;

    // The forwarding implementation, shared by every caller (it holds no state).
    static ClientLibrary& Real();

    virtual HRESULT Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                         HANDLE hEventHandle, DWORD ConfigIndex) = 0;
    virtual HRESULT Close(HANDLE hSimConnect) = 0;
    virtual HRESULT AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                        const char* DatumName, const char* UnitsName,
                                        SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                        DWORD DatumID) = 0;
    virtual HRESULT RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                           SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                           SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                           SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                           DWORD interval, DWORD limit) = 0;
    virtual HRESULT RequestDataOnSimObjectType(HANDLE hSimConnect,
                                               SIMCONNECT_DATA_REQUEST_ID RequestID,
                                               SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                               DWORD dwRadiusMeters,
                                               SIMCONNECT_SIMOBJECT_TYPE type) = 0;
    virtual HRESULT MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                             const char* EventName) = 0;
    virtual HRESULT SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                           const char* SystemEventName) = 0;
    virtual HRESULT TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                        SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                        SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                        SIMCONNECT_EVENT_FLAG Flags) = 0;
    virtual HRESULT CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) = 0;
    virtual HRESULT RetrieveString(SIMCONNECT_RECV* pData, DWORD cbData, void* pStringV,
                                   char** ppStringV, DWORD* pcbStringV) = 0;
    // Whether the connection's simulator runs on this machine, where its main window can be
    // looked for. A stand-in for the simulator is taken to be local unless it says otherwise.
    virtual bool ServerOnThisMachine(HANDLE /*hSimConnect*/) { return true; }
};

}  // namespace sim
