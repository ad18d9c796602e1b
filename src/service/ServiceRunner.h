// The tolvi service's life, apart from the Service Control Manager that it reports to: start
// (the listeners bound, a missing pipe never waited for), run until asked to stop, apply a
// changed set of machine connectors by its difference, stop every connector within the time
// it announced. The Windows glue passes its requests in and its reports out.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ConnectorObserver.h"
#include "config/ConfigurationStore.h"
#include "engine/ConnectorSettings.h"
#include "model/AuditTrail.h"
#include "model/ConnectorHost.h"
#include "platform/WakeSignal.h"
#include "ssh/SshHost.h"

namespace tolvi::service {

enum class ServiceState { StartPending, Running, StopPending, Stopped };

// The exit of a service that failed, as Windows's recovery actions see it.
constexpr uint32_t kServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR
// Our codes in it.
constexpr uint32_t kCodeConfiguration = 1;  // the machine's connectors could not be read
constexpr uint32_t kCodeStatusChannel = 2;  // the status pipe could not be made

struct ServiceReport {
    ServiceState state = ServiceState::StartPending;
    uint32_t checkpoint = 0;
    uint32_t waitHintMs = 0;
    uint32_t exitCode = 0;      // 0, or kServiceSpecificError
    uint32_t specificCode = 0;  // one of our codes
};

// What the service tells the Service Control Manager.
class ServiceControl {
  public:
    virtual ~ServiceControl() = default;
    virtual void Report(const ServiceReport& report) = 0;
};

// Where the service's connectors, and where it serves them over SSH, come from: the machine's
// key.
class ConnectorSource {
  public:
    virtual ~ConnectorSource() = default;
    // False, with the reason, when they cannot be read at all.
    virtual bool Load(std::vector<ConnectorSettings>* settings, AppOptions* options,
                      std::string* problem) = 0;
};

// What the service writes to the event log.
class ServiceLog {
  public:
    virtual ~ServiceLog() = default;
    virtual void Started(int connectors) = 0;
    virtual void Stopped() = 0;
    virtual void Failed(const std::string& text) = 0;
    virtual void Reloaded(int started, int changed, int removed) = 0;
    // A connector's failure: its listener, its log, a pipe it cannot read.
    virtual void ConnectorProblem(const std::string& connector, const std::string& text) = 0;
    // What is worth knowing and no failure: its pipe waiting for the machine, a break no pipe
    // carries, lines its alerts could not keep up with.
    virtual void ConnectorNotice(const std::string& connector, const std::string& text) {
        ConnectorProblem(connector, text);
    }
    virtual void PipeAttached(const std::string& connector) = 0;
    virtual void PipeLost(const std::string& connector) = 0;
    virtual void ClientAdmitted(const std::string& connector, const std::string& address) = 0;
    virtual void ClientRefused(const std::string& connector, const std::string& address) = 0;
    // The SSH server: where it serves and its host key, what it has to say, and why it could
    // not start.
    virtual void SshStarted(int port, const std::string& fingerprint) = 0;
    virtual void SshNotice(const std::string& line) = 0;
    // A line of a console matched one of its alert patterns.
    virtual void ConsoleAlert(const std::string& connector, const std::string& pattern,
                              const std::string& line, int more) = 0;
    // A record of the audit trail, as a sentence.
    virtual void Audit(const std::string& /*text*/) {}
};

class ServiceRunner {
  public:
    // How long each step may take, as the Service Control Manager is told.
    static constexpr uint32_t kStartHintMs = 10000;
    static constexpr uint32_t kStopHintMs = 5000;

    // sshFiles: where the SSH server's keys file and host key are; the audit trail,
    // audit.jsonl, is beside the keys file, for the administrators alone, and each of its
    // records goes to the event log too. The recordings are in recordingsRoot; on Windows, ""
    // is %ProgramData%\tolvi\recordings, made for the administrators alone at each start.
    ServiceRunner(ServiceControl& control, ConnectorSource& source, ServiceLog& log,
                  ssh::SshFiles sshFiles = {}, std::string recordingsRoot = "");
    // The audit trail, for the SSH server's refused logins (see SshLog).
    AuditSink& Audit() { return audit; }
    ~ServiceRunner();

    // Starts, runs until RequestStop, and stops; the last report is Stopped.
    void Run();
    // From any thread: STOP, PRESHUTDOWN; PARAMCHANGE and a change of the machine's key.
    void RequestStop();
    void RequestReload();
    // The live state of every connector, for the status channel; from any thread. Without
    // consoleText, no line a console printed is in it (a reader who is no administrator).
    std::string StatusText(bool consoleText = true);

  private:
    void Report(ServiceState state, uint32_t waitHintMs, uint32_t exitCode = 0,
                uint32_t specificCode = 0);
    void Reload();
    void StopConnectors();
    // Starts, moves or stops the SSH server as the options say.
    void ApplySsh(const AppOptions& options);
    // Where the connectors record and write the trail, made and protected as the start goes.
    void PreparePlaces();

    class Observer;
    ServiceControl& scm;
    ConnectorSource& connectorSource;
    ServiceLog& eventLog;
    AuditTrail audit;
    std::string recordings;
    std::unique_ptr<Observer> observer;
    std::unique_ptr<ConnectorHost> host;
    std::mutex hostLock;  // the host changes on the service's thread; status reads it
    class SshLog;
    std::unique_ptr<SshLog> sshLog;
    ssh::SshFiles sshFiles;
    std::unique_ptr<ssh::SshHost> ssh;
    int sshPort = 0;  // as it runs: 0 while it does not
    std::string sshListen;
    std::string sshFingerprint;  // guarded by hostLock, for the status
    platform::WakeSignal stop;
    platform::WakeSignal reload;
    uint32_t lastCheckpoint = 0;
};

}  // namespace tolvi::service
