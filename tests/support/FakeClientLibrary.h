#pragma once
// A stand-in for the simulator's client library, driven by the test: Open answers with a set
// result (or, forwarding, the real library's), each dispatch takes the next scripted step (a
// result, or a message to deliver) and returns S_OK once the script is used up, and every call
// is written down as one line of text. Nothing but Open is ever forwarded, so a test that
// forwards keeps the simulator out of reach.

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/Mutex.h"
#include "sim/ClientLibrary.h"

namespace txtest {

class FakeClientLibrary : public sim::ClientLibrary {
  public:
    using Step = std::variant<HRESULT, std::vector<uint8_t>>;

    HRESULT Open(HANDLE* phSimConnect, LPCSTR szName, HWND, DWORD, HANDLE, DWORD) override;
    HRESULT Close(HANDLE h) override { return Record("Close " + Name(h)); }
    HRESULT AddToDataDefinition(HANDLE, SIMCONNECT_DATA_DEFINITION_ID id, const char* datum,
                                const char* unit, SIMCONNECT_DATATYPE type, float, DWORD) override {
        return Record("Add " + std::to_string(id) + " " + datum + " " + (unit ? unit : "-") +
                      Join(type));
    }
    HRESULT RequestDataOnSimObject(HANDLE, SIMCONNECT_DATA_REQUEST_ID request,
                                   SIMCONNECT_DATA_DEFINITION_ID define, SIMCONNECT_OBJECT_ID id,
                                   SIMCONNECT_PERIOD period, SIMCONNECT_DATA_REQUEST_FLAG flags,
                                   DWORD origin, DWORD interval, DWORD limit) override {
        return Record("Request" +
                      Join(request, define, id, period, flags, origin, interval, limit));
    }
    HRESULT RequestDataOnSimObjectType(HANDLE, SIMCONNECT_DATA_REQUEST_ID request,
                                       SIMCONNECT_DATA_DEFINITION_ID define, DWORD radius,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override {
        return Record("RequestByType" + Join(request, define, radius, type));
    }
    HRESULT MapClientEventToSimEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID id,
                                     const char* name) override {
        return Record("Map" + Join(id) + " " + name);
    }
    HRESULT SubscribeToSystemEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID id,
                                   const char* name) override {
        return Record("Subscribe" + Join(id) + " " + name);
    }
    HRESULT TransmitClientEvent(HANDLE h, SIMCONNECT_OBJECT_ID id, SIMCONNECT_CLIENT_EVENT_ID event,
                                DWORD data, SIMCONNECT_NOTIFICATION_GROUP_ID group,
                                SIMCONNECT_EVENT_FLAG flags) override {
        return Record("Transmit " + Name(h) + Join(id, event, data, group, flags));
    }
    HRESULT CallDispatch(HANDLE, DispatchProc proc, void* context) override;
    HRESULT RetrieveString(SIMCONNECT_RECV* data, DWORD size, void* text, char** out,
                           DWORD* length) override {
        return Real().RetrieveString(data, size, text, out, length);
    }
    bool ServerOnThisMachine(HANDLE) override { return !m_remote; }

    // Set before the library is used: Open forwards; and what runs first in each Open, on the
    // caller's thread.
    bool m_forwardOpen = false;
    std::function<void()> m_onOpen;
    // What an Open that does not forward answers; the simulator plays one on another machine.
    std::atomic<HRESULT> m_openResult{S_OK};
    std::atomic<bool> m_remote{false};

    void Script(std::vector<Step> steps);
    // Waits until the script is used up and one more dispatch has ended after it.
    bool WaitIdle();
    // The calls so far, each ended by '|'; an Open's ends with what it returned.
    std::string Calls();
    // Calls whose line starts with `prefix`.
    int Count(const std::string& prefix);

  private:
    HRESULT Record(const std::string& call);
    template <class... T>
    static std::string Join(T... values) {
        return ((" " + std::to_string(static_cast<long long>(values))) + ...);
    }
    // The handles handed out in turn, h1 first: only their addresses count.
    std::string Name(HANDLE h) const { return h == &m_handles[0] ? "h0" : "h1"; }

    int m_handles[2] = {};
    platform::Mutex m_mutex;
    int m_opens GUARDED_BY(m_mutex) = 0;
    std::deque<Step> m_script GUARDED_BY(m_mutex);
    int m_stepsDone GUARDED_BY(m_mutex) = 0;
    std::vector<std::string> m_calls GUARDED_BY(m_mutex);
};

}  // namespace txtest
