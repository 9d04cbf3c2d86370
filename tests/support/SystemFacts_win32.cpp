#include <winsock2.h>
// The adapter list's types come from Winsock 2.
#include <iphlpapi.h>

#include <cstdio>
#include <vector>

#include "platform/Status.h"
#include "tests/support/SystemFacts.h"

namespace txtest {

SimulatorDefault DefaultSimulator() {
    return {platform::StreamTarget::Kind::Pipe, ".", "Microsoft Flight Simulator\\SimConnect",
            "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect"};
}

std::string UnservedSimulatorPipeLine() {
    return {};
}

int EmptyProfileValue(int defaultValue) {
    return defaultValue;
}

bool PeerResetIsSeen() {
    return false;
}

std::string AddressInUseText() {
    // The product's own words for a system number: the test looks at the failure it reports.
    return platform::SystemErrorText(WSAEADDRINUSE);
}

// The older adapter list, which names IPv4 adapters only; the loopback is never among them.
bool HasUpNonLoopbackIPv4Interface() {
    // Room for far more adapters than a test machine has.
    std::vector<unsigned char> buffer(256 * 1024);
    auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    ULONG size = static_cast<ULONG>(buffer.size());
    if (::GetAdaptersInfo(adapters, &size) != NO_ERROR) return false;
    for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
        for (const IP_ADDR_STRING* address = &adapter->IpAddressList; address != nullptr;
             address = address->Next) {
            const std::string text = address->IpAddress.String;
            if (!text.empty() && text != "0.0.0.0" && text.rfind("127.", 0) != 0) return true;
        }
    }
    return false;
}

bool VersionTravelsWithACopy() {
    return true;
}

std::string FileWriteDateText(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) return {};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    ::FileTimeToSystemTime(&attributes.ftLastWriteTime, &utc);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%d %02d:%02d:%02d", local.wDay, local.wMonth,
                  local.wYear, local.wHour, local.wMinute, local.wSecond);
    return text;
}

RegularFileErrors RegularFileErrorNumbers() {
    return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER};
}

std::string GaugePipePath(const std::string&) {
    return "\\\\.\\pipe\\MCDU_Input";
}

PipeErrors PipeErrorNumbers() {
    return {ERROR_FILE_NOT_FOUND, ERROR_PIPE_NOT_CONNECTED, ERROR_NO_DATA,
            ERROR_PIPE_BUSY,      ERROR_SEM_TIMEOUT,        WAIT_TIMEOUT};
}

}  // namespace txtest
