#pragma once
// Helpers for tests that drive the simulator client library directly: opening until the attempt
// is no longer under way, and recording what the dispatch callback is handed.

#include <chrono>
#include <cstdint>
#include <vector>

#include "simconnect/SimConnect.h"

namespace txtest {

// SimConnect_Open under the program's name until it no longer says E_PENDING, or `timeout`.
HRESULT OpenSimLink(HANDLE* handle, std::chrono::milliseconds timeout = std::chrono::seconds(15));

// What the dispatch callback saw: each message's bytes.
struct SeenMessages {
    std::vector<std::vector<uint8_t>> messages;
    static void Record(SIMCONNECT_RECV* data, DWORD size, void* context);
};

// Calls dispatch until it returns something other than S_OK or `timeout` passes; the last result.
HRESULT DispatchUntilFailure(HANDLE handle, SeenMessages* seen,
                             std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace txtest
