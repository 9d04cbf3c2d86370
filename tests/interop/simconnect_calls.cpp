// Makes simulator calls through the client library, one per line of standard input, so the
// interop tests can compare what the library puts on the wire with an independent client's bytes.
// A line is a call's name and its arguments separated by tabs, in the order the call takes them;
// "(null)" passes a null string. The first line is "Open NAME". Exit code 0 when every call
// returned S_OK, 1 when one did not, 2 when the open failed or the input cannot be read.

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "simconnect/SimConnect.h"

namespace {

// One input line's fields, read as the call's arguments; what cannot be read throws.
struct Fields : std::vector<std::string> {
    explicit Fields(const std::string& line) {
        std::istringstream fields(line + '\t');  // so that an empty last argument counts
        for (std::string field; std::getline(fields, field, '\t');) push_back(field);
    }
    // The calls table holds 32-bit words only; a wrong one would show as a byte difference.
    DWORD Word(size_t i) const { return static_cast<DWORD>(std::stoull(at(i))); }
    const char* Text(size_t i) const { return at(i) == "(null)" ? nullptr : at(i).c_str(); }
};

HRESULT Call(HANDLE h, const Fields& f) {
    const std::string& name = f.at(0);
    if (name == "AddToDataDefinition")
        return SimConnect_AddToDataDefinition(h, f.Word(1), f.Text(2), f.Text(3),
                                              static_cast<SIMCONNECT_DATATYPE>(f.Word(4)),
                                              std::stof(f.at(5)), f.Word(6));
    if (name == "RequestDataOnSimObject")
        return SimConnect_RequestDataOnSimObject(h, f.Word(1), f.Word(2), f.Word(3),
                                                 static_cast<SIMCONNECT_PERIOD>(f.Word(4)),
                                                 f.Word(5), f.Word(6), f.Word(7), f.Word(8));
    if (name == "RequestDataOnSimObjectType")
        return SimConnect_RequestDataOnSimObjectType(
            h, f.Word(1), f.Word(2), f.Word(3), static_cast<SIMCONNECT_SIMOBJECT_TYPE>(f.Word(4)));
    if (name == "MapClientEventToSimEvent")
        return SimConnect_MapClientEventToSimEvent(h, f.Word(1), f.Text(2));
    if (name == "SubscribeToSystemEvent")
        return SimConnect_SubscribeToSystemEvent(h, f.Word(1), f.Text(2));
    if (name == "AddClientEventToNotificationGroup")
        return SimConnect_AddClientEventToNotificationGroup(h, f.Word(1), f.Word(2),
                                                            static_cast<BOOL>(f.Word(3)));
    if (name == "SetNotificationGroupPriority")
        return SimConnect_SetNotificationGroupPriority(h, f.Word(1), f.Word(2));
    if (name == "TransmitClientEvent")
        return SimConnect_TransmitClientEvent(h, f.Word(1), f.Word(2), f.Word(3), f.Word(4),
                                              f.Word(5));
    throw std::invalid_argument("unknown call " + name);
}

int Run() {
    std::vector<Fields> lines;
    for (std::string line; std::getline(std::cin, line);)
        if (!line.empty()) lines.emplace_back(line);
    if (lines.empty() || lines[0].at(0) != "Open")
        throw std::invalid_argument("the first line must be Open");
    // The library may answer "not ready yet" while its connection attempt runs in the background.
    HANDLE handle = nullptr;
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < 200 && result != S_OK; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        result = SimConnect_Open(&handle, lines[0].Text(1), nullptr, 0, nullptr, 0);
    }
    if (result != S_OK) throw std::runtime_error("Open failed");
    int status = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (Call(handle, lines[i]) == S_OK) continue;
        std::fprintf(stderr, "simconnect_calls: line %zu (%s) failed\n", i + 1,
                     lines[i].at(0).c_str());
        status = 1;
    }
    // A few rounds to deliver what came in and to finish sending before the close.
    const auto ignore = [](SIMCONNECT_RECV*, DWORD, void*) {};
    for (int round = 0; round < 10 && status == 0; ++round) {
        if (SimConnect_CallDispatch(handle, ignore, nullptr) != S_OK) status = 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    SimConnect_Close(handle);
    return status;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& bad) {
        std::fprintf(stderr, "simconnect_calls: %s\n", bad.what());
        return 2;
    }
}
