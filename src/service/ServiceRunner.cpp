// The service's life.
#include "service/ServiceRunner.h"

#include <chrono>
#include <map>

#include "engine/PipeConnector.h"
#include "platform/WaitSet.h"
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
    explicit Observer(ServiceLog& log) : log_(log) {}

    void OnPipeAttached(const PipeConnector& c) override { log_.PipeAttached(Label(c)); }
    void OnPipeLost(const PipeConnector& c) override { log_.PipeLost(Label(c)); }
    void OnClientArrived(const PipeConnector& c, const std::string& address) override {
        log_.ClientAdmitted(Label(c), address);
    }
    void OnClientRefused(const PipeConnector& c, const std::string& address) override {
        using Clock = std::chrono::steady_clock;
        Clock::time_point now = Clock::now();
        {
            std::lock_guard<std::mutex> hold(lock_);
            auto last = lastRefusal_.find(address);
            if (last != lastRefusal_.end() && now - last->second < std::chrono::minutes(1))
                return;
            lastRefusal_[address] = now;
            if (lastRefusal_.size() > 4096)
                lastRefusal_.clear();  // a scan of many addresses must not grow it for ever
        }
        log_.ClientRefused(Label(c), address);
    }
    void OnErrorText(const PipeConnector& c, const std::string& text) override {
        log_.ConnectorProblem(Label(c), text);
    }
    void OnAlert(const PipeConnector& c, const std::string& text) override {
        log_.ConnectorProblem(Label(c), text);
    }

  private:
    ServiceLog& log_;
    std::mutex lock_;
    std::map<std::string, std::chrono::steady_clock::time_point> lastRefusal_;
};

ServiceRunner::ServiceRunner(ServiceControl& control, ConnectorSource& source, ServiceLog& log)
    : control_(control),
      source_(source),
      log_(log),
      observer_(std::make_unique<Observer>(log)),
      host_(std::make_unique<ConnectorHost>(observer_.get())) {}

ServiceRunner::~ServiceRunner() = default;

void ServiceRunner::Report(ServiceState state, uint32_t waitHintMs, uint32_t exitCode,
                           uint32_t specificCode) {
    bool pending = state == ServiceState::StartPending || state == ServiceState::StopPending;
    checkpoint_ = pending ? checkpoint_ + 1 : 0;
    control_.Report(ServiceReport{state, checkpoint_, waitHintMs, exitCode, specificCode});
}

void ServiceRunner::Run() {
    Report(ServiceState::StartPending, kStartHintMs);
    std::vector<ConnectorSettings> settings;
    std::string problem;
    if (!source_.Load(&settings, &problem)) {
        log_.Failed(problem);
        Report(ServiceState::Stopped, 0, kServiceSpecificError, kCodeConfiguration);
        return;
    }
    // The listeners are bound now (each failure logged as it happens); a connector whose
    // pipe is missing waits for it as it always does, and never holds up the start.
    {
        std::lock_guard<std::mutex> hold(hostLock_);
        host_->Start(settings);
    }
    Report(ServiceState::StartPending, kStartHintMs);
    Report(ServiceState::Running, 0);
    log_.Started(static_cast<int>(settings.size()));

    platform::WaitSet wait;
    for (;;) {
        wait.Clear();
        wait.Add(stop_);
        wait.Add(reload_);
        wait.Wait(-1);
        if (stop_.IsSet())
            break;
        if (reload_.IsSet()) {
            reload_.Reset();
            Reload();
        }
    }
    StopConnectors();
    log_.Stopped();
    Report(ServiceState::Stopped, 0);
}

void ServiceRunner::Reload() {
    std::vector<ConnectorSettings> settings;
    std::string problem;
    if (!source_.Load(&settings, &problem)) {
        log_.Failed(problem);  // the connectors that run go on as they are
        return;
    }
    ConnectorHost::Difference d;
    {
        std::lock_guard<std::mutex> hold(hostLock_);
        d = host_->Reload(settings);
    }
    if (d.started + d.changed + d.removed > 0)
        log_.Reloaded(d.started, d.changed, d.removed);
}

// Every connector is asked at once, then waited for one by one, the checkpoint advancing with
// each, so that the Service Control Manager sees the stop go on.
void ServiceRunner::StopConnectors() {
    std::lock_guard<std::mutex> hold(hostLock_);
    Report(ServiceState::StopPending, kStopHintMs);
    ConnectorList& list = host_->Connectors();
    for (int row = 0; row < list.Count(); ++row)
        list.At(row).RequestStop();
    for (int row = 0; row < list.Count(); ++row) {
        list.At(row).StopAndWait();
        Report(ServiceState::StopPending, kStopHintMs);
    }
    list.Clear();
}

void ServiceRunner::RequestStop() {
    stop_.Set();
}

void ServiceRunner::RequestReload() {
    reload_.Set();
}

std::string ServiceRunner::StatusText() {
    std::lock_guard<std::mutex> hold(hostLock_);
    return FormatStatus(Snapshot(host_->Connectors()));
}

}  // namespace tolvi::service
