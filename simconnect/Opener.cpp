#include "simconnect/Opener.h"

#include "log/Log.h"
#include "simconnect/ConfigFile.h"
#include "simconnect/Protocol.h"

namespace simconnect {

namespace {

// Lines remembered as logged; beyond that the memory starts afresh rather than grow.
constexpr size_t kMaxRemembered = 64;

}  // namespace

Opener& Opener::Instance() {
    static Opener connector;
    return connector;
}

Opener::~Opener() {
    platform::MutexLock lock(m_mutex);
    DropAttempt();
}

void Opener::Run(Attempt& attempt, uint32_t maxReceiveSize, bool disableNagle,
                 const std::string& appName) {
    platform::StreamTarget target = attempt.target;
    target.disableNagle = disableNagle;
    platform::Result<platform::ConnectedStream> connected =
        platform::ConnectStream(target, kConnectTimeout, attempt.cancel);
    Connection::OpenResult open;
    if (connected.IsOk()) {
        open = Connection::Handshake(std::move(connected.value.stream), attempt.protocol,
                                     maxReceiveSize, connected.value.onThisMachine, appName,
                                     kAnswerTimeout, attempt.cancel);
    }
    platform::MutexLock lock(attempt.mutex);
    attempt.outcome.connected = std::move(connected.status);
    attempt.outcome.open = std::move(open);
    attempt.done = true;
    attempt.finished.SignalAll();
}

void Opener::DropAttempt() {
    if (!m_attempt) return;
    m_attempt->cancel = true;
    if (m_attempt->thread.joinable()) m_attempt->thread.join();
    m_attempt.reset();
}

void Opener::LogOnce(const std::string& line) {
    if (m_logged.count(line) != 0) return;
    if (m_logged.size() >= kMaxRemembered) m_logged.clear();
    m_logged.insert(line);
    logging::LogLine(logging::LogFile, "%s\n", line.c_str());
}

HRESULT Opener::TakeOutcome(std::unique_ptr<Connection>* connection) {
    Attempt& attempt = *m_attempt;
    attempt.thread.join();
    Outcome outcome;
    {
        platform::MutexLock lock(attempt.mutex);
        outcome = std::move(attempt.outcome);
    }
    const std::string where = DescribeTarget(attempt.target);
    HRESULT result = E_FAIL;
    using platform::ErrorKind;
    using OpenStatus = Connection::OpenStatus;
    switch (outcome.connected.Kind()) {
        case ErrorKind::kUnresolved:
            LogOnce("SimConnect: the simulator's address " + attempt.target.address +
                    " does not resolve (" + outcome.connected.Text() + ").");
            break;
        case ErrorKind::kUnsupported:
            LogOnce("SimConnect: cannot reach the simulator at " + where + ": " +
                    outcome.connected.Text() + ".");
            break;
        case ErrorKind::kOk: {
            const simconnect::ProtocolRelease* release = simconnect::FindRelease(attempt.protocol);
            switch (outcome.open.status) {
                case OpenStatus::kOk:
                    *connection = std::move(outcome.open.connection);
                    m_logged.clear();
                    result = S_OK;
                    break;
                case OpenStatus::kVersionMismatch:
                    LogOnce("SimConnect: the simulator at " + where + " refused protocol " +
                            std::to_string(attempt.protocol) + " (" + release->name +
                            ", client version " + simconnect::VersionText(*release) +
                            "): version mismatch. ClientVersion in SimConnect.cfg chooses "
                            "another.");
                    break;
                case OpenStatus::kNoAnswer:
                    LogOnce("SimConnect: the simulator at " + where +
                            " accepted the connection but did not answer within " +
                            std::to_string(kAnswerTimeout.count() / 1000) + " s.");
                    break;
                case OpenStatus::kBadAnswer:
                    LogOnce("SimConnect: the simulator at " + where +
                            " answered the open request wrongly: " + outcome.open.detail + ".");
                    break;
                case OpenStatus::kClosed:  // turned away, as a simulator without its window does
                case OpenStatus::kCancelled:
                    break;
            }
            break;
        }
        default:  // kNoServer, the usual offline state (no simulator runs yet), or a cancel
            break;
    }
    m_attempt.reset();
    return result;
}

HRESULT Opener::Open(const std::string& appName, uint32_t configIndex,
                     std::unique_ptr<Connection>* connection) {
    const Config config = LoadConfig(configIndex);
    platform::MutexLock lock(m_mutex);
    for (const std::string& problem : config.problems) LogOnce(problem);
    if (simconnect::FindRelease(config.protocol) == nullptr) return E_FAIL;

    const std::string key = DescribeTarget(config.target) + "|" + std::to_string(config.protocol) +
                            "|" + std::to_string(config.maxReceiveSize) + "|" +
                            (config.target.disableNagle ? "1" : "0") + "|" + appName;
    if (m_attempt && m_attempt->key != key) DropAttempt();

    if (m_attempt) {
        Attempt& attempt = *m_attempt;
        platform::MutexLock attemptLock(attempt.mutex);
        if (!attempt.done) return E_PENDING;
    } else {
        m_attempt = std::make_unique<Attempt>();
        Attempt& attempt = *m_attempt;
        attempt.key = key;
        attempt.target = config.target;
        attempt.protocol = config.protocol;
        try {
            attempt.thread = std::thread(&Opener::Run, std::ref(attempt), config.maxReceiveSize,
                                         config.target.disableNagle, appName);
        } catch (const std::system_error&) {
            LogOnce("SimConnect: no thread for a connection attempt.");
            m_attempt.reset();
            return E_FAIL;
        }
        const auto deadline = std::chrono::steady_clock::now() + kFirstWait;
        platform::MutexLock attemptLock(attempt.mutex);
        while (!attempt.done) {
            if (!attempt.finished.WaitUntil(attempt.mutex, deadline) && !attempt.done)
                return E_PENDING;
        }
    }
    return TakeOutcome(connection);
}

}  // namespace simconnect
