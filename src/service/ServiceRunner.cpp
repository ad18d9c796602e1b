// The service's life.
#include "service/ServiceRunner.h"

#include <chrono>
#include <map>

#include "engine/PipeConnector.h"
#include "model/ConsolesJson.h"
#include "platform/Folder.h"
#include "platform/UserFolder.h"
#include "platform/WaitSet.h"
#include "service/ServiceFolders.h"
#include "service/ServiceStatus.h"

namespace tolvi::service {

namespace {

std::string Label(const PipeConnector& c) {
    return c.GetPortText() + " (" + c.GetPipeName() + ")";
}

}  // namespace

// The connectors' events as the event log takes them. A refused address is written once a
// minute at most: something that knocks without pause must not fill the log.
class ServiceRunner::Observer : public ConnectorObserver {
  public:
    explicit Observer(ServiceLog& log) : eventLog(log) {}

    void OnPipeAttached(const PipeConnector& c) override { eventLog.PipeAttached(Label(c)); }
    void OnPipeLost(const PipeConnector& c) override { eventLog.PipeLost(Label(c)); }
    void OnClientArrived(const PipeConnector& c, const std::string& address) override {
        eventLog.ClientAdmitted(Label(c), address);
    }
    void OnClientRefused(const PipeConnector& c, const std::string& address) override {
        using Clock = std::chrono::steady_clock;
        Clock::time_point now = Clock::now();
        {
            std::lock_guard<std::mutex> hold(lock);
            auto last = lastRefusal.find(address);
            if (last != lastRefusal.end() && now - last->second < std::chrono::minutes(1))
                return;
            lastRefusal[address] = now;
            if (lastRefusal.size() > 4096)
                lastRefusal.clear();  // a scan of many addresses must not grow it for ever
        }
        eventLog.ClientRefused(Label(c), address);
    }
    void OnErrorText(const PipeConnector& c, const std::string& text) override {
        eventLog.ConnectorProblem(Label(c), text);
    }
    void OnAlert(const PipeConnector& c, const std::string& text) override {
        eventLog.ConnectorProblem(Label(c), text);
    }
    void OnConsoleAlert(const PipeConnector& c, const tolvi::ConsoleAlert& alert) override {
        eventLog.ConsoleAlert(Label(c), alert.pattern, alert.line, alert.more);
    }
    void OnAlertLinesSkipped(const PipeConnector& c, uint64_t lines) override {
        eventLog.ConnectorNotice(Label(c), "alerts: " + SkippedLinesText(lines));
    }
    void OnNotice(const PipeConnector& c, const std::string& text) override {
        eventLog.ConnectorNotice(Label(c), text);
    }

  private:
    ServiceLog& eventLog;
    std::mutex lock;
    std::map<std::string, std::chrono::steady_clock::time_point> lastRefusal;
};

// What the SSH server says goes to the event log, and its refused logins to the audit trail.
class ServiceRunner::SshLog : public ssh::SshEvents {
  public:
    SshLog(ServiceLog& log, AuditSink& audit) : log(log), audit(audit) {}
    void OnSshNotice(const std::string& line) override { log.SshNotice(line); }
    void OnLoginRefused(const std::string& address, const std::string& userAsSent,
                        const std::string& keyFingerprint) override {
        audit.LoginRefused(address, userAsSent, keyFingerprint);
    }

  private:
    ServiceLog& log;
    AuditSink& audit;
};

ServiceRunner::ServiceRunner(ServiceControl& control, ConnectorSource& source, ServiceLog& log,
                             ssh::SshFiles files, std::string recordingsRoot)
    : scm(control),
      connectorSource(source),
      eventLog(log),
      recordings(std::move(recordingsRoot)),
      observer(std::make_unique<Observer>(log)),
      host(std::make_unique<ConnectorHost>(observer.get())),
      sshLog(std::make_unique<SshLog>(log, audit)),
      sshFiles(std::move(files)),
      ssh(std::make_unique<ssh::SshHost>(*host, *sshLog)) {}

ServiceRunner::~ServiceRunner() {
    ssh->Stop();
}

void ServiceRunner::ApplySsh(const AppOptions& options) {
    if (options.SshPort == sshPort && options.SshListen == sshListen)
        return;  // as it runs: its sessions go on
    ssh->Stop();
    sshPort = 0;
    sshListen.clear();
    {
        std::lock_guard<std::mutex> hold(hostLock);
        sshFingerprint.clear();
    }
    if (options.SshPort <= 0)
        return;
    std::string why;
    if (!ssh->Start(static_cast<uint16_t>(options.SshPort), options.SshListen, sshFiles, &why)) {
        eventLog.SshNotice("SSH: " + why);  // the consoles go on without it
        return;
    }
    sshPort = options.SshPort;
    sshListen = options.SshListen;
    {
        std::lock_guard<std::mutex> hold(hostLock);
        sshFingerprint = ssh->Fingerprint();
    }
    eventLog.SshStarted(sshPort, ssh->Fingerprint());
}

void ServiceRunner::PreparePlaces() {
    std::string why;
#ifdef _WIN32
    if (recordings.empty()) {
        if (MakeMachineRecordingsRoot(&why))
            recordings = MachineRecordingsRoot();
        else  // the consoles go on, unrecorded
            eventLog.Failed("its recordings' folder " + MachineRecordingsRoot() +
                            " cannot be made for the administrators alone (" + why + ")");
    }
#endif
    ConnectorPlaces places;
    places.recordingsRoot = recordings;
    if (!sshFiles.keysFile.empty()) {
        std::string path = platform::JoinPath(platform::FolderOf(sshFiles.keysFile), "audit.jsonl");
        if (!audit.Open(path))
            eventLog.SshNotice(audit.Problem());  // tried again at each record
#ifdef _WIN32
        else if (!ProtectForAdministrators(path, &why))
            eventLog.SshNotice("The audit trail " + path + " cannot be kept from other users (" +
                               why + ")");
#endif
        audit.SetEcho([this](const std::string& text) { eventLog.Audit(text); });
        places.audit = &audit;
    }
    std::lock_guard<std::mutex> hold(hostLock);
    host->SetPlaces(places);
}

void ServiceRunner::Report(ServiceState state, uint32_t waitHintMs, uint32_t exitCode,
                           uint32_t specificCode) {
    bool pending = state == ServiceState::StartPending || state == ServiceState::StopPending;
    lastCheckpoint = pending ? lastCheckpoint + 1 : 0;
    scm.Report(ServiceReport{state, lastCheckpoint, waitHintMs, exitCode, specificCode});
}

void ServiceRunner::Run() {
    Report(ServiceState::StartPending, kStartHintMs);
    std::vector<ConnectorSettings> settings;
    AppOptions options;
    std::string problem;
    if (!connectorSource.Load(&settings, &options, &problem)) {
        eventLog.Failed(problem);
        Report(ServiceState::Stopped, 0, kServiceSpecificError, kCodeConfiguration);
        return;
    }
    PreparePlaces();
    // The listeners are bound now (each failure logged as it happens); a connector whose
    // pipe is missing waits for it as it always does, and never holds up the start.
    {
        std::lock_guard<std::mutex> hold(hostLock);
        host->Start(settings);
    }
    ApplySsh(options);
    Report(ServiceState::StartPending, kStartHintMs);
    Report(ServiceState::Running, 0);
    eventLog.Started(static_cast<int>(settings.size()));

    platform::WaitSet wait;
    for (;;) {
        wait.Clear();
        wait.Add(stop);
        wait.Add(reload);
        wait.Wait(-1);
        if (stop.IsSet())
            break;
        if (reload.IsSet()) {
            reload.Reset();
            Reload();
        }
    }
    ssh->Stop();  // its sessions are clients of the connectors, which stop next
    StopConnectors();
    eventLog.Stopped();
    Report(ServiceState::Stopped, 0);
}

void ServiceRunner::Reload() {
    std::vector<ConnectorSettings> settings;
    AppOptions options;
    std::string problem;
    if (!connectorSource.Load(&settings, &options, &problem)) {
        eventLog.Failed(problem);  // the connectors that run go on as they are
        return;
    }
    ApplySsh(options);
    ConnectorHost::Difference d;
    {
        std::lock_guard<std::mutex> hold(hostLock);
        d = host->Reload(settings);
    }
    if (d.started + d.changed + d.removed > 0)
        eventLog.Reloaded(d.started, d.changed, d.removed);
}

// Every connector is asked at once, then waited for one by one, the checkpoint advancing with
// each, so that the Service Control Manager sees the stop go on.
void ServiceRunner::StopConnectors() {
    std::lock_guard<std::mutex> hold(hostLock);
    Report(ServiceState::StopPending, kStopHintMs);
    ConnectorList& list = host->Connectors();
    for (int row = 0; row < list.Count(); ++row)
        list.At(row).RequestStop();
    for (int row = 0; row < list.Count(); ++row) {
        list.At(row).StopAndWait();
        Report(ServiceState::StopPending, kStopHintMs);
    }
    list.Clear();
}

void ServiceRunner::RequestStop() {
    stop.Set();
}

void ServiceRunner::RequestReload() {
    reload.Set();
}

std::string ServiceRunner::StatusText(bool consoleText) {
    std::lock_guard<std::mutex> hold(hostLock);
    return FormatStatus(Snapshot(host->Connectors())) +
           FormatSsh(ssh->IsRunning() ? ssh->Port() : 0, sshFingerprint) +
           FormatJson(ConsolesJson(host->Connectors(), consoleText));
}

}  // namespace tolvi::service
