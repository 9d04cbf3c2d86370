// The once-a-second presence check that takes the simulator link online and offline, and the
// pause control of the status page.

#include "log/Log.h"
#include "platform/SimulatorWindow.h"
#include "sim/ClientLibrary.h"
#include "sim/LinkHost.h"
#include "sim/SimIds.h"
#include "sim/SimLink.h"

using logging::LogFile;
using logging::LogLine;

namespace sim {

void SimLink::CheckSimPresence() {
    if (!m_bSimOnline) {
        // Offline to online is decided by a connection that opens; the window is not looked at.
        if (!StartSimconnectThread()) return;
        LogLine(LogFile, "FSX online.\n");
        m_host.SetOnlineLamp(true);
        m_bSimOnline = true;
        ClientLibrary& api = SimApi();
        WithOpenSimConnect([&api](HANDLE handle) {
            api.RequestDataOnSimObjectType(handle, REQUEST_TITLE, DEFINITION_TITLE, 0,
                                           SIMCONNECT_SIMOBJECT_TYPE_USER);
        });
        return;
    }

    // Online to offline is decided by the simulator's main window alone, whatever the connection,
    // when the simulator runs on this machine. The window of one on another machine cannot be
    // seen: there the link's own state decides, and a connection its worker has closed (the
    // simulator quit, or the network broke) takes the link offline.
    bool simulatorUp = false;
    if (m_bSimOnThisMachine) {
        simulatorUp =
            m_fnSimWindowExists ? m_fnSimWindowExists() : platform::SimulatorWindowExists();
    } else {
        simulatorUp = IsSimConnectOpen();
    }
    if (simulatorUp) return;
    LogLine(LogFile, "FSX offline.\n");
    ClearSimConnect();
    m_host.SetOnlineLamp(false);
    m_bSimOnline = false;
    CloseSimconnectThread();
}

void SimLink::PauseSim(bool pause) {
    // A connection its worker has closed, or one already cleared, is left alone; the line is
    // written all the same.
    ClientLibrary& api = SimApi();
    WithOpenSimConnect([&api, pause](HANDLE handle) {
        api.TransmitClientEvent(
            handle, SIMCONNECT_OBJECT_ID_USER, pause ? EVENT_PAUSE_ON : EVENT_PAUSE_OFF, 0,
            SIMCONNECT_GROUP_PRIORITY_HIGHEST, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    });
    LogLine(LogFile, pause ? "Sim paused.\n" : "Sim resumed.\n");
}

}  // namespace sim
