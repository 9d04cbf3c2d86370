#pragma once
// The simulator stand-in's server: its "main window" (the presence lock), the TCP listeners where
// programs connect with the client library in the simulator's own protocol, and the control
// socket where tests and people steer it with line commands (README.md). Everything runs on one
// thread around poll().

#include <cstdint>
#include <cstdio>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "FlightModel.h"
#include "platform/FileLock.h"
#include "simconnect/Protocol.h"

struct StandinOptions {
    // Numeric addresses the clients' listeners are bound to. Left empty: 127.0.0.1 and ::1, and
    // one of them may be missing on this machine.
    std::vector<std::string> addresses;
    uint16_t port = 2048;  // where the client library looks without a SimConnect.cfg
    std::string controlPath;
    std::string lockPath;
    std::string logPath;  // empty: standard output
    std::string title = "Airbus A320 Tarvel";
    std::string aircraftFile = "SimObjects\\Airplanes\\Tarvel_A320\\aircraft.cfg";
    double rate = 1;         // simulated seconds per real second
    bool autostart = false;  // start a flight when the first client subscribes to SimStart
    bool window = true;      // open the main window at start
};

class StandinServer {
  public:
    explicit StandinServer(StandinOptions options);
    ~StandinServer();
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // Takes the presence lock and opens the listeners. False with a reason when any of it fails.
    bool Start(std::string* error);
    // Serves until a quit (command or `stopFd` readable, the signal pipe); returns the exit code.
    int Run(int stopFd);

  private:
    struct Datum {
        std::string name;
        std::string unit;
        uint32_t type = 0;
    };
    struct Periodic {
        uint32_t defineId = 0;
        uint32_t period = 0;
        uint32_t interval = 0;
        uint32_t flags = 0;
        double due = 0;
        std::vector<uint8_t> lastSent;
    };
    struct Client {
        int fd = -1;
        int number = 0;
        std::vector<uint8_t> input;
        // The protocol number of its open request: the version word of every message to it.
        uint32_t protocol = simconnect::kDefaultProtocol;
        bool opened = false;
        bool resetArmed = false;
        bool closed = false;
        std::map<uint32_t, std::vector<Datum>> definitions;
        std::map<uint32_t, std::string> mappedEvents;        // client event id -> sim event
        std::multimap<std::string, uint32_t> subscriptions;  // system event -> client event id
        std::map<uint32_t, Periodic> periodic;               // by request id
        uint32_t titleRequest = 0;                           // last request by type
        uint32_t titleDefine = 0;
    };
    struct Control {
        int fd = -1;
        std::string input;
        bool closed = false;
    };
    // The object id of the user aircraft in replies.
    static constexpr uint32_t kUserObjectId = 1;
    // A message built for one client's version word.
    using MessageFor = std::function<std::vector<uint8_t>(uint32_t version)>;

    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    double Now() const;
    bool OpenListeners(std::string* error);

    void AcceptClient(int listenFd);
    void AcceptControl();
    void ReadClient(Client& client);
    void ReadControl(Control& control);
    void Tick();

    // StandinRequests.cpp: what a client asks for.
    void HandleRequest(Client& client, const uint8_t* frame, uint32_t size);
    void HandleOpen(Client& client, uint32_t sendId, const simconnect::OpenRequest& open);
    void HandleBody(Client& client, uint32_t sendId, const simconnect::RequestBody& body);
    // The bytes of `definition` for the current flight values; `title` replaces the aircraft title.
    std::vector<uint8_t> EncodeData(const std::vector<Datum>& definition,
                                    const std::string& title) const;
    void SendData(Client& client, uint32_t messageId, uint32_t requestId, uint32_t defineId,
                  const std::string& title);

    // StandinCommands.cpp: the control channel's commands.
    std::string HandleCommand(const std::string& line);
    std::string Drop(const std::vector<std::string>& args);

    bool SendFrame(Client& client, const std::vector<uint8_t>& frame);
    // To every opened client, each with its own version word.
    void SendToAll(const MessageFor& message);
    void SendException(Client& client, uint32_t exception, uint32_t sendId, uint32_t index);
    void SendSystemEvent(const std::string& name, uint32_t data);
    void SendSystemFilenameEvent(const std::string& name, const std::string& fileName);
    void SetPaused(uint32_t state);
    void StartFlight();
    void CloseClient(Client& client, const char* why);
    void DrainAndClose(Client& client, const char* why);
    void Quit();

    StandinOptions m_options;
    bool m_defaultAddresses;  // no address was given: loopback, IPv4 and IPv6
    FILE* m_log = stdout;
    platform::FileLock m_window;
    std::vector<int> m_listenFds;
    int m_controlFd = -1;
    std::list<Client> m_clients;
    std::list<Control> m_controls;
    int m_nextClient = 1;
    bool m_quit = false;

    FlightModel m_model;
    bool m_flying = false;  // a flight has been started
    bool m_paused = false;
    bool m_held = false;  // values set by hand stay until "fly"
    double m_lastTick = 0;
    double m_autostartAt = 0;  // when the automatic flight start is due; 0: none pending
};
