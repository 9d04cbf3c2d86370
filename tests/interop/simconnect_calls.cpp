// Makes simulator calls through the client library, one per line of standard input, so the
// interop tests can compare what the library puts on the wire with an independent client's bytes.
// A line is a call's name and its arguments separated by tabs, in the order the call takes them;
// "(null)" passes a null string. The first line is "Open NAME". Each message the library delivers
// is printed as "recv ID SIZE". Exit code 0 when every call returned S_OK, 1 when one did not, 2
// for input that cannot be read.

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
class Fields {
  public:
    explicit Fields(const std::string& line) {
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) m_fields.push_back(field);
        if (line.back() == '\t') m_fields.emplace_back();  // an empty last argument
    }
    const std::string& Name() const { return m_fields.at(0); }
    DWORD Word(size_t i) const {
        const unsigned long long value = std::stoull(m_fields.at(i));
        if (value > 0xFFFFFFFFull ||
            m_fields[i].find_first_not_of("0123456789") != std::string::npos)
            throw std::invalid_argument("not a 32-bit word: " + m_fields[i]);
        return static_cast<DWORD>(value);
    }
    float Real(size_t i) const { return std::stof(m_fields.at(i)); }
    const char* Text(size_t i) const {
        return m_fields.at(i) == "(null)" ? nullptr : m_fields[i].c_str();
    }

  private:
    std::vector<std::string> m_fields;
};

HRESULT Call(HANDLE h, const Fields& f) {
    const std::string& name = f.Name();
    if (name == "AddToDataDefinition")
        return SimConnect_AddToDataDefinition(h, f.Word(1), f.Text(2), f.Text(3),
                                              static_cast<SIMCONNECT_DATATYPE>(f.Word(4)),
                                              f.Real(5), f.Word(6));
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

void PrintMessage(SIMCONNECT_RECV* message, DWORD size, void*) {
    std::printf("recv %u %u\n", message->dwID, size);
}

int Run() {
    std::vector<Fields> lines;
    for (std::string line; std::getline(std::cin, line);)
        if (!line.empty()) lines.emplace_back(line);
    if (lines.empty() || lines[0].Name() != "Open")
        throw std::invalid_argument("the first line must be Open");
    // The library may answer "not ready yet" while its connection attempt runs in the background.
    HANDLE handle = nullptr;
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < 200 && result != S_OK; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        result = SimConnect_Open(&handle, lines[0].Text(1), nullptr, 0, nullptr, 0);
    }
    if (result != S_OK) {
        std::fprintf(stderr, "simconnect_calls: Open failed: 0x%08X\n", unsigned(result));
        return 1;
    }
    int status = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (Call(handle, lines[i]) == S_OK) continue;
        std::fprintf(stderr, "simconnect_calls: line %zu (%s) failed\n", i + 1,
                     lines[i].Name().c_str());
        status = 1;
    }
    // A few rounds to deliver what came in and to finish sending before the close.
    for (int round = 0; round < 10 && status == 0; ++round) {
        if (SimConnect_CallDispatch(handle, PrintMessage, nullptr) != S_OK) status = 1;
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
