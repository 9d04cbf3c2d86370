#pragma once
// Opens connections to the simulator on a thread of its own, so that SimConnect_Open never holds
// its caller (the window thread, once a second) on the network: a simulator on another machine
// may take seconds to refuse, or accept and never answer.
//
// Each Open call reads SimConnect.cfg afresh, then takes the finished attempt's connection if one
// is there, or starts an attempt and waits a few milliseconds for it (long enough for a simulator
// on this machine to answer), or, while an attempt is still under way, returns at once. Problems
// worth a user's attention (a bad cfg value, an unresolvable address, a refused protocol, a
// simulator that does not answer) are logged once each until a connection opens again.

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "platform/ByteStream.h"
#include "platform/Mutex.h"
#include "simconnect/Connection.h"

namespace simconnect {

class Opener {
  public:
    // The process's connector (the library keeps one, as the simulator's own library does).
    static Opener& Instance();

    Opener() = default;
    // Cancels an attempt under way and waits for its thread (a few tens of milliseconds).
    ~Opener();
    Opener(const Opener&) = delete;
    Opener& operator=(const Opener&) = delete;

    // S_OK with `*connection` set; E_PENDING while an attempt is under way; E_FAIL when the last
    // attempt failed (no simulator, or one of the problems above).
    HRESULT Open(const std::string& appName, uint32_t configIndex,
                 std::unique_ptr<Connection>* connection) EXCLUDES(m_mutex);

    // How long a new attempt is waited for before Open returns E_PENDING.
    static constexpr std::chrono::milliseconds kFirstWait{20};
    // Bounds of one attempt: the connection, then the simulator's answer.
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};
    static constexpr std::chrono::milliseconds kAnswerTimeout{5000};

  private:
    // How an attempt came out.
    struct Outcome {
        platform::Status connected;  // how the connection came out
        Connection::OpenResult open;
    };
    // One attempt, shared by its thread and the connector. The thread writes the outcome and
    // sets `done` under `mutex` as it ends; the connector takes the outcome once `done` is set.
    struct Attempt {
        // Fixed before the thread starts.
        std::string key;  // what it connects to, as whom, under which protocol
        platform::StreamTarget target;
        uint32_t protocol = 0;
        // Raised by the connector to end the attempt early; polled by the thread.
        std::atomic<bool> cancel{false};
        platform::Mutex mutex;
        platform::CondVar finished;
        bool done GUARDED_BY(mutex) = false;
        Outcome outcome GUARDED_BY(mutex);
        // Started and joined by the connector (under the connector's m_mutex).
        std::thread thread;
    };

    static void Run(Attempt& attempt, uint32_t maxReceiveSize, bool disableNagle,
                    const std::string& appName);
    // Ends the attempt under way, if any, and waits for its thread.
    void DropAttempt() REQUIRES(m_mutex);
    // The outcome of a finished attempt: S_OK with the connection, or E_FAIL after its log line.
    HRESULT TakeOutcome(std::unique_ptr<Connection>* connection) REQUIRES(m_mutex);
    // Logs `line` unless it was logged since the last connection opened.
    void LogOnce(const std::string& line) REQUIRES(m_mutex);

    platform::Mutex m_mutex;
    std::unique_ptr<Attempt> m_attempt GUARDED_BY(m_mutex);
    std::set<std::string> m_logged GUARDED_BY(m_mutex);
};

}  // namespace simconnect
