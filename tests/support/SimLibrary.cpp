#include "tests/support/SimLibrary.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/TestSupport.h"

namespace txtest {

HRESULT OpenSimLink(HANDLE* handle, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const HRESULT result =
            SimConnect_Open(handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr, 0);
        if (result != E_PENDING || std::chrono::steady_clock::now() > deadline) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void SeenMessages::Record(SIMCONNECT_RECV* data, DWORD size, void* context) {
    auto* seen = static_cast<SeenMessages*>(context);
    EXPECT_GE(size, sizeof(SIMCONNECT_RECV));
    EXPECT_EQ(data->dwSize, size);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    seen->messages.emplace_back(bytes, bytes + size);
}

HRESULT DispatchUntilFailure(HANDLE handle, SeenMessages* seen, std::chrono::milliseconds timeout) {
    HRESULT result = S_OK;
    WaitUntil(
        [&] {
            result = SimConnect_CallDispatch(handle, &SeenMessages::Record, seen);
            return result != S_OK;
        },
        timeout);
    return result;
}

}  // namespace txtest
