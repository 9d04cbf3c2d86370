// Bytes off the simulator link in both directions: as a message stream arriving at the client
// library (framing, checking, then the program's own dispatch of what passed), and as one request
// frame arriving at a simulator.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/TarvelXConnectDlg.h"
#include "sim/SimIds.h"
#include "simconnect/Protocol.h"
#include "simconnect/SimConnect.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The definitions the program declares: the title, and the flight data (eight numbers, FLOAT64,
// and the next waypoint's identifier, STRING8).
const std::vector<uint32_t> kTitleTypes = {SIMCONNECT_DATATYPE_STRINGV};
const std::vector<uint32_t> kFlightTypes = {4, 4, 4, 4, 4, 4, 4, 4, 5};

const std::vector<uint32_t>* Definition(uint32_t defineId) {
    if (defineId == sim::DEFINITION_TITLE) return &kTitleTypes;
    if (defineId == sim::DEFINITION_FLIGHT_DATA) return &kFlightTypes;
    return nullptr;
}

// What the library hands to the dispatch callback: an 8-byte aligned copy, never smaller than
// the largest fixed message.
constexpr size_t kDeliveryBytes = 320;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static app::CTarvelXConnectDlg* const dlg =
        new app::CTarvelXConnectDlg(txfuzz::PrepareSandbox());

    size_t consumed = 0;
    std::vector<uint64_t> message;
    for (;;) {
        uint32_t frameSize = 0;
        const auto status = simconnect::PeekFrame(data + consumed, size - consumed,
                                                  simconnect::kMessageHeaderSize, &frameSize);
        if (status != simconnect::FrameStatus::kComplete) break;
        if (frameSize < simconnect::kMessageHeaderSize || frameSize > size - consumed) std::abort();
        std::string error;
        if (!simconnect::ValidateMessage(data + consumed, frameSize, Definition, &error)) {
            if (error.empty()) std::abort();  // a refusal always says why
            break;                            // the stream cannot be trusted past it
        }
        message.assign((std::max<size_t>(frameSize, kDeliveryBytes) + 7) / 8, 0);
        std::memcpy(message.data(), data + consumed, frameSize);
        dlg->Link().DispatchSimMessage(reinterpret_cast<SIMCONNECT_RECV*>(message.data()),
                                       frameSize);
        consumed += frameSize;
    }

    uint32_t frameSize = 0;
    if (simconnect::PeekFrame(data, size, simconnect::kRequestHeaderSize, &frameSize) ==
        simconnect::FrameStatus::kComplete) {
        simconnect::Request request;
        std::string error;
        const auto decoded = simconnect::DecodeRequest(data, frameSize, &request, &error);
        if (decoded == simconnect::DecodeStatus::kOk) {
            // What decodes encodes again into a frame of the same size that decodes too (text
            // fields may differ after their NUL, which the encoder pads with zeros).
            const std::vector<uint8_t> again =
                simconnect::EncodeRequest(request.protocol, request.sendId, request.body);
            simconnect::Request back;
            if (again.size() != frameSize ||
                simconnect::DecodeRequest(again.data(), again.size(), &back, &error) !=
                    simconnect::DecodeStatus::kOk)
                std::abort();
        } else if (error.empty()) {
            std::abort();  // a refusal always says why
        }
    }
    return 0;
}
