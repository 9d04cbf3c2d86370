// Makes simulator calls through the client library, one per line of standard input, so the
// interop tests can record what the library puts on the wire and compare it with the bytes of an
// independent client. A line is a call's name and its arguments, separated by tabs:
//   Open NAME
//   AddToDataDefinition DEFINE DATUM UNITS TYPE EPSILON DATUM_ID
//   RequestDataOnSimObject REQUEST DEFINE OBJECT PERIOD FLAGS ORIGIN INTERVAL LIMIT
//   RequestDataOnSimObjectType REQUEST DEFINE RADIUS TYPE
//   MapClientEventToSimEvent EVENT NAME
//   SubscribeToSystemEvent EVENT NAME
//   AddClientEventToNotificationGroup GROUP EVENT MASKABLE
//   SetNotificationGroupPriority GROUP PRIORITY
//   TransmitClientEvent OBJECT EVENT DATA GROUP FLAGS
// "(null)" passes a null string. The first line must be Open. Each message the library delivers is
// printed as "recv ID SIZE". Exit code 0 when every call returned S_OK, 1 when one did not, 2 for
// input that cannot be read.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "simconnect/SimConnect.h"

namespace {

using Fields = std::vector<std::string>;
using Request = std::function<HRESULT(HANDLE)>;

struct BadInput {
    std::string what;
};

Fields SplitTabs(const std::string& line) {
    Fields fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

DWORD Word(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value > 0xFFFFFFFFull || text[0] == '-')
        throw BadInput{"not a 32-bit word: \"" + text + "\""};
    return static_cast<DWORD>(value);
}

float Real(const std::string& text) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0') throw BadInput{"not a number: \"" + text + "\""};
    return value;
}

const char* Text(const std::string& text) {
    return text == "(null)" ? nullptr : text.c_str();
}

void Expect(const Fields& f, size_t arguments) {
    if (f.size() != arguments + 1)
        throw BadInput{f[0] + " takes " + std::to_string(arguments) + " arguments"};
}

// Reads one call's line into the request it makes, so that every line is checked before the
// library is touched.
Request Parse(const Fields& f) {
    const std::string& name = f[0];
    if (name == "AddToDataDefinition") {
        Expect(f, 6);
        return [define = Word(f[1]), datum = f[2], units = f[3], type = Word(f[4]),
                epsilon = Real(f[5]), id = Word(f[6])](HANDLE h) {
            return SimConnect_AddToDataDefinition(h, define, Text(datum), Text(units),
                                                  static_cast<SIMCONNECT_DATATYPE>(type), epsilon,
                                                  id);
        };
    }
    if (name == "RequestDataOnSimObject") {
        Expect(f, 8);
        return [request = Word(f[1]), define = Word(f[2]), object = Word(f[3]), period = Word(f[4]),
                flags = Word(f[5]), origin = Word(f[6]), interval = Word(f[7]),
                limit = Word(f[8])](HANDLE h) {
            return SimConnect_RequestDataOnSimObject(h, request, define, object,
                                                     static_cast<SIMCONNECT_PERIOD>(period), flags,
                                                     origin, interval, limit);
        };
    }
    if (name == "RequestDataOnSimObjectType") {
        Expect(f, 4);
        return [request = Word(f[1]), define = Word(f[2]), radius = Word(f[3]),
                type = Word(f[4])](HANDLE h) {
            return SimConnect_RequestDataOnSimObjectType(
                h, request, define, radius, static_cast<SIMCONNECT_SIMOBJECT_TYPE>(type));
        };
    }
    if (name == "MapClientEventToSimEvent") {
        Expect(f, 2);
        return [event = Word(f[1]), simEvent = f[2]](HANDLE h) {
            return SimConnect_MapClientEventToSimEvent(h, event, Text(simEvent));
        };
    }
    if (name == "SubscribeToSystemEvent") {
        Expect(f, 2);
        return [event = Word(f[1]), systemEvent = f[2]](HANDLE h) {
            return SimConnect_SubscribeToSystemEvent(h, event, Text(systemEvent));
        };
    }
    if (name == "AddClientEventToNotificationGroup") {
        Expect(f, 3);
        return [group = Word(f[1]), event = Word(f[2]), maskable = Word(f[3])](HANDLE h) {
            return SimConnect_AddClientEventToNotificationGroup(h, group, event,
                                                                static_cast<BOOL>(maskable));
        };
    }
    if (name == "SetNotificationGroupPriority") {
        Expect(f, 2);
        return [group = Word(f[1]), priority = Word(f[2])](HANDLE h) {
            return SimConnect_SetNotificationGroupPriority(h, group, priority);
        };
    }
    if (name == "TransmitClientEvent") {
        Expect(f, 5);
        return [object = Word(f[1]), event = Word(f[2]), data = Word(f[3]), group = Word(f[4]),
                flags = Word(f[5])](HANDLE h) {
            return SimConnect_TransmitClientEvent(h, object, event, data, group, flags);
        };
    }
    throw BadInput{"unknown call \"" + name + "\""};
}

void PrintMessage(SIMCONNECT_RECV* message, DWORD size, void*) {
    std::printf("recv %u %u\n", message->dwID, size);
}

// The library may answer "not ready yet" while its connection attempt runs in the background.
HRESULT OpenWithRetry(HANDLE* handle, const char* name) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(10);
    for (;;) {
        const HRESULT result = SimConnect_Open(handle, name, nullptr, 0, nullptr, 0);
        if (result == S_OK || steady_clock::now() >= deadline) return result;
        std::this_thread::sleep_for(milliseconds(50));
    }
}

// Gives the library a few rounds to deliver what came in and to finish sending before the close.
HRESULT DispatchAWhile(HANDLE handle) {
    HRESULT result = S_OK;
    for (int round = 0; round < 10 && result == S_OK; ++round) {
        result = SimConnect_CallDispatch(handle, PrintMessage, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return result;
}

int Run() {
    std::vector<Fields> lines;
    for (std::string line; std::getline(std::cin, line);)
        if (!line.empty()) lines.push_back(SplitTabs(line));
    if (lines.empty() || lines[0][0] != "Open" || lines[0].size() != 2)
        throw BadInput{"the first line must be: Open<TAB>NAME"};
    std::vector<Request> requests;
    for (size_t i = 1; i < lines.size(); ++i) requests.push_back(Parse(lines[i]));

    HANDLE handle = nullptr;
    const HRESULT opened = OpenWithRetry(&handle, Text(lines[0][1]));
    if (opened != S_OK) {
        std::fprintf(stderr, "simconnect_calls: Open failed: 0x%08X\n",
                     static_cast<unsigned>(opened));
        return 1;
    }
    int status = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const HRESULT result = requests[i](handle);
        if (result != S_OK) {
            std::fprintf(stderr, "simconnect_calls: line %zu (%s) failed: 0x%08X\n", i + 2,
                         lines[i + 1][0].c_str(), static_cast<unsigned>(result));
            status = 1;
        }
    }
    const HRESULT dispatched = DispatchAWhile(handle);
    if (dispatched != S_OK) {
        std::fprintf(stderr, "simconnect_calls: dispatch failed: 0x%08X\n",
                     static_cast<unsigned>(dispatched));
        status = 1;
    }
    SimConnect_Close(handle);
    return status;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const BadInput& bad) {
        std::fprintf(stderr, "simconnect_calls: %s\n", bad.what.c_str());
        return 2;
    }
}
