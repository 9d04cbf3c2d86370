#include "tests/support/SimLibrary.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace txtest {

HRESULT OpenSimLink(HANDLE* handle, std::chrono::milliseconds timeout) {
    HRESULT result = E_PENDING;
    WaitUntil(
        [&] {
            result = SimConnect_Open(handle, "QUENNICK TARVELX CONNECT", nullptr, 0, nullptr, 0);
            return result != E_PENDING;
        },
        timeout);
    return result;
}

void SeenMessages::Record(SIMCONNECT_RECV* data, DWORD size, void* context) {
    EXPECT_EQ(data->dwSize, size);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    static_cast<SeenMessages*>(context)->messages.emplace_back(bytes, bytes + size);
}

HRESULT DispatchUntilFailure(HANDLE handle, SeenMessages* seen, std::chrono::milliseconds timeout) {
    HRESULT result = S_OK;
    WaitUntil(
        [&] {
            return (result = SimConnect_CallDispatch(handle, &SeenMessages::Record, seen)) != S_OK;
        },
        timeout);
    return result;
}

}  // namespace txtest
