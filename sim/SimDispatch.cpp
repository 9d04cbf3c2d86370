// The dispatch callback: what the worker does with each message from the simulator.

#include <cstring>

#include "log/Log.h"
#include "sim/ClientLibrary.h"
#include "sim/LinkHost.h"
#include "sim/SimIds.h"
#include "sim/SimLink.h"

using logging::LogFile;
using logging::LogLine;
using logging::LogText;

namespace {

// Bytes a message of kind `id` must have before its fields may be read; 0 for kinds whose fields
// are never read.
DWORD RequiredSize(DWORD id) {
    switch (id) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            return sizeof(SIMCONNECT_RECV_EXCEPTION);
        case SIMCONNECT_RECV_ID_OPEN:
            return sizeof(SIMCONNECT_RECV_OPEN);
        case SIMCONNECT_RECV_ID_EVENT:
            return sizeof(SIMCONNECT_RECV_EVENT);
        case SIMCONNECT_RECV_ID_EVENT_FILENAME:
            return sizeof(SIMCONNECT_RECV_EVENT_FILENAME);
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
            return kSimObjectDataOffset;
        default:
            return sizeof(SIMCONNECT_RECV);
    }
}

// Length of a text field that should end with a NUL, never looking past the field.
int FieldLength(const char* field, size_t size) {
    return static_cast<int>(strnlen(field, size));
}

}  // namespace

namespace sim {

void SimLink::SimconnectDispatchProc(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext) {
    auto* link = static_cast<SimLink*>(pContext);
    if (link == nullptr || pData == nullptr) return;
    // After the presence check has cleared the handle, nothing from the simulator counts any more.
    if (link->GetSimConnectHandle() == nullptr) return;
    link->DispatchSimMessage(pData, cbData);
}

void SimLink::DispatchSimMessage(SIMCONNECT_RECV* pData, DWORD cbData) {
    const DWORD id = pData->dwID;
    if (cbData < RequiredSize(id)) {
        LogLine(LogFile, "Short message dropped: dwID=%u, cbData=%u.\n", static_cast<unsigned>(id),
                static_cast<unsigned>(cbData));
        return;
    }
    switch (id) {
        case SIMCONNECT_RECV_ID_EXCEPTION: {
            const auto* exception = static_cast<SIMCONNECT_RECV_EXCEPTION*>(pData);
            LogLine(LogFile, "***** EXCEPTION=%d; ", static_cast<int>(exception->dwException));
            LogText(LogFile, "SendID=%d; ", static_cast<int>(exception->dwSendID));
            LogText(LogFile, "Index=%d; ", static_cast<int>(exception->dwIndex));
            LogText(LogFile, "cbData=%d\n", static_cast<int>(cbData));
            break;
        }
        case SIMCONNECT_RECV_ID_OPEN: {
            const auto* open = static_cast<SIMCONNECT_RECV_OPEN*>(pData);
            LogLine(
                LogFile,
                "Open: AppName=\"%.*s\"  AppVersion=%d.%d.%d.%d  SimConnectVersion=%d.%d.%d.%d\n",
                FieldLength(open->szApplicationName, sizeof(open->szApplicationName)),
                open->szApplicationName, static_cast<int>(open->dwApplicationVersionMajor),
                static_cast<int>(open->dwApplicationVersionMinor),
                static_cast<int>(open->dwApplicationBuildMajor),
                static_cast<int>(open->dwApplicationBuildMinor),
                static_cast<int>(open->dwSimConnectVersionMajor),
                static_cast<int>(open->dwSimConnectVersionMinor),
                static_cast<int>(open->dwSimConnectBuildMajor),
                static_cast<int>(open->dwSimConnectBuildMinor));
            break;
        }
        case SIMCONNECT_RECV_ID_QUIT:
            CloseSimconnectThread();
            LogLine(LogFile, "[Event]: Sim quit.\n");
            break;
        case SIMCONNECT_RECV_ID_EVENT: {
            const auto* event = static_cast<SIMCONNECT_RECV_EVENT*>(pData);
            if (event->uEventID == EVENT_SIM_START) {
                LogLine(LogFile, "[Event]: Sim start.\n");
                // The gauge learns of the new flight through a probe; the pipe client writes it
                // only while connected with a valid handle, and reconnects when the gauge is gone.
                if (m_bSimOnline) m_host.ProbeMcdu();
            } else if (event->uEventID == EVENT_PAUSE_STATE) {
                LogLine(LogFile, "[Event]: Sim pause state: %d.\n",
                        static_cast<int>(event->dwData));
                m_bSimPaused = event->dwData == 1;
            } else {
                LogLine(LogFile, "Unknown event: %d\n", static_cast<int>(event->uEventID));
            }
            break;
        }
        case SIMCONNECT_RECV_ID_EVENT_FILENAME: {
            const auto* event = static_cast<SIMCONNECT_RECV_EVENT_FILENAME*>(pData);
            if (event->uEventID == EVENT_PLANE_LOADED)
                LogLine(LogFile, "[Event]: EVENT_PLANE_LOADED: %.*s.\n",
                        FieldLength(event->szFileName, sizeof(event->szFileName)),
                        event->szFileName);
            break;
        }
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: {
            auto* data = static_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(pData);
            if (data->dwRequestID == REQUEST_TITLE) {
                char* title = nullptr;
                DWORD length = 0;
                const HRESULT result =
                    SimApi().RetrieveString(pData, cbData, &data->dwData, &title, &length);
                if (result < 0 || length == 0 || title == nullptr || title[0] == '\0') {
                    LogLine(LogFile, "\nCouldn't retrieve the AC title.");
                } else {
                    LogLine(LogFile, "[Event]: Title received: %s; ", title);
                    LogText(LogFile, "\n");
                }
            } else if (data->dwRequestID == REQUEST_FLIGHT_DATA) {
                if (cbData < kSimObjectDataOffset + sizeof(FlightData)) {
                    LogLine(LogFile, "Short message dropped: dwID=%u, cbData=%u.\n",
                            static_cast<unsigned>(id), static_cast<unsigned>(cbData));
                    break;
                }
                LogLine(LogFile, "[Event]: Flight data received: ");
                StoreFlightData(&data->dwData);
            } else {
                LogLine(LogFile, "[Event]: Unknown data received, dwRequestID: %d.\n",
                        static_cast<int>(data->dwRequestID));
            }
            break;
        }
        default:
            LogLine(LogFile, "Received:%d\n", static_cast<int>(id));
            break;
    }
}

}  // namespace sim
