// The service's life as the Service Control Manager sees it: the states in their order with
// checkpoints that advance while pending, a start that never waits for a pipe, a stop within
// its announced time, and a failure that ends with our code so that recovery actions fire.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "pipeserver/PipeServer.h"
#include "service/MachineConnectors.h"
#include "service/ServiceRunner.h"
#include "service/ServiceStatus.h"
#include "support/Settings.h"
#include "support/TestClient.h"

namespace tolvi::test {
namespace {

using service::ServiceReport;
using service::ServiceState;

class Recorder : public service::ServiceControl, public service::ServiceLog {
  public:
    void Report(const ServiceReport& r) override {
        std::lock_guard<std::mutex> hold(lock);
        reports.push_back(r);
    }
    ServiceState Last() {
        std::lock_guard<std::mutex> hold(lock);
        return reports.empty() ? ServiceState::StartPending : reports.back().state;
    }
    void Note(const std::string& line) {
        std::lock_guard<std::mutex> hold(lock);
        log.push_back(line);
    }
    void Started(int n) override { Note("started " + std::to_string(n)); }
    void Stopped() override { Note("stopped"); }
    void Failed(const std::string& t) override { Note("failed " + t); }
    void Reloaded(int started, int changed, int removed) override {
        Note("reloaded " + std::to_string(started) + " " + std::to_string(changed) + " " +
             std::to_string(removed));
    }
    void ConnectorProblem(const std::string&, const std::string& t) override { Note(t); }
    void PipeAttached(const std::string&) override {}
    void PipeLost(const std::string&) override {}
    void ClientAdmitted(const std::string&, const std::string&) override {}
    void ClientRefused(const std::string&, const std::string& address) override {
        Note("refused " + address);
    }
    void SshStarted(int, const std::string&) override { Note("ssh started"); }
    void SshNotice(const std::string& line) override { Note(line); }
    void ConsoleAlert(const std::string&, const std::string& pattern, const std::string& line,
                      int) override {
        Note("alert " + pattern + ": " + line);
    }

    std::mutex lock;
    std::vector<ServiceReport> reports;
    std::vector<std::string> log;
};

class Source : public service::ConnectorSource {
  public:
    bool Load(std::vector<ConnectorSettings>* settings, AppOptions* loaded,
              std::string* problem) override {
        *settings = connectors;
        *loaded = options;
        *problem = "access denied";
        return readable;
    }
    std::vector<ConnectorSettings> connectors;
    AppOptions options;
    bool readable = true;
};

TEST(ServiceRunner, ReportsItsStatesInOrderAndStopsWithinItsHint) {
    Recorder scm;
    Source machine;
    uint16_t port = FreePort();
    machine.connectors = {SettingsFor("\\\\.\\pipe\\" + UniquePipeName().substr(9) + "-off",
                                      std::to_string(port))};  // its pipe does not exist
    service::ServiceRunner runner(scm, machine, scm);
    std::thread service([&] { runner.Run(); });
    ASSERT_TRUE(WaitUntil([&] { return scm.Last() == ServiceState::Running; }, 5000));
    TestClient client;  // listening already, though the pipe is missing
    EXPECT_TRUE(client.Connect(port));
    int64_t start = NowMs();
    runner.RequestStop();
    service.join();
    EXPECT_LT(NowMs() - start, service::ServiceRunner::kStopHintMs);

    std::vector<ServiceState> states;
    uint32_t last = 0;
    for (const ServiceReport& r : scm.reports) {
        if (states.empty() || states.back() != r.state)
            states.push_back(r.state);
        bool pending =
            r.state == ServiceState::StartPending || r.state == ServiceState::StopPending;
        // Each pending report advances the checkpoint with a time to wait; the others have none.
        EXPECT_EQ(r.checkpoint, pending ? last + 1 : 0) << int(r.state);
        EXPECT_EQ(r.waitHintMs > 0, pending);
        last = r.checkpoint;
    }
    EXPECT_EQ(states,
              (std::vector<ServiceState>{ServiceState::StartPending, ServiceState::Running,
                                         ServiceState::StopPending, ServiceState::Stopped}));
    EXPECT_EQ(scm.reports.back().exitCode, 0u);
    EXPECT_EQ(scm.log, (std::vector<std::string>{"started 1", "stopped"}));
}

// The status pipe is read by every user of the machine: what a console printed (the line of
// its last alert) is in it for administrators alone.
TEST(ServiceRunner, TheStatusGivesWhatAConsolePrintedToAdministratorsAlone) {
    Recorder scm;
    Source machine;
    std::string pipeName = UniquePipeName(), error;
    tools::PipeServer pipe(pipeName);
    ASSERT_TRUE(pipe.Listen(&error)) << error;
    ConnectorSettings watched = SettingsFor(pipeName, std::to_string(FreePort()));
    watched.alerts = "password";
    machine.connectors = {watched};
    service::ServiceRunner runner(scm, machine, scm);
    std::thread service([&] { runner.Run(); });
    ASSERT_TRUE(pipe.WaitClient(5000));  // kept open for its alerts
    const std::string line = "root password is hunter2";
    ASSERT_TRUE(pipe.Write((line + "\r\n").data(), line.size() + 2));
    EXPECT_TRUE(WaitUntil(
        [&] { return runner.StatusText(true).find(line) != std::string::npos; }, 5000));
    std::string others = runner.StatusText(false);
    EXPECT_EQ(others.find("hunter2"), std::string::npos) << others;
    EXPECT_NE(others.find("\"pattern\":\"password\""), std::string::npos) << others;
    runner.RequestStop();
    service.join();
}

TEST(ServiceRunner, AConfigurationThatCannotBeReadEndsWithOurCode) {
    Recorder scm;
    Source machine;
    machine.readable = false;
    service::ServiceRunner runner(scm, machine, scm);
    runner.Run();
    ASSERT_EQ(scm.reports.size(), 2u);
    EXPECT_EQ(scm.reports[1].state, ServiceState::Stopped);
    EXPECT_EQ(scm.reports[1].exitCode, service::kServiceSpecificError);
    EXPECT_EQ(scm.reports[1].specificCode, service::kCodeConfiguration);
    EXPECT_EQ(scm.log, (std::vector<std::string>{"failed access denied"}));
}

TEST(ServiceRunner, LogsAReloadThatOnlyRemovesAndARefusedAddressOnceAMinute) {
    Recorder scm;
    Source machine;
    uint16_t kept = FreePort(), gone = FreePort();
    machine.connectors = {SettingsFor(UniquePipeName(), std::to_string(kept)),
                          SettingsFor(UniquePipeName(), std::to_string(gone))};
    service::ServiceRunner runner(scm, machine, scm);
    std::thread service([&] { runner.Run(); });
    ASSERT_TRUE(WaitUntil([&] { return scm.Last() == ServiceState::Running; }, 5000));
    for (int knock = 0; knock < 3; ++knock) {  // only local clients are admitted
        TestClient stranger;
        ASSERT_TRUE(stranger.Connect(kept, "127.0.0.2"));
        EXPECT_TRUE(stranger.WaitClosed(3000));
    }
    machine.connectors.pop_back();
    runner.RequestReload();
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard<std::mutex> hold(scm.lock);
            return std::find(scm.log.begin(), scm.log.end(), "reloaded 0 0 1") != scm.log.end();
        },
        5000));
    runner.RequestStop();
    service.join();
    EXPECT_EQ(std::count(scm.log.begin(), scm.log.end(), "refused 127.0.0.2"), 1);
}

TEST(ServiceStatusText, EveryFieldComesBackWhateverItHolds) {
    service::ConnectorState s{"2323", "\\\\.\\pipe\\vm", "Error", "127.0.0.1 +1", 12, 34,
                              "build\tVM\nnight", "Port 2323 is served\tby"};
    std::string json = R"([{"port":2323,"description":"a\tb"}])";
    std::string text = service::FormatStatus({s, s}) + service::FormatSsh(22, "SHA256:x") +
                       service::FormatJson(json);
    std::vector<service::ConnectorState> back = service::ParseStatus(text);
    ASSERT_EQ(back.size(), 2u);  // the SSH and JSON lines are no connectors
    EXPECT_EQ(service::ParseJson(text), json);
    EXPECT_EQ(back[1].description, "build VM night");
    EXPECT_EQ(back[1].error, "Port 2323 is served by");
    EXPECT_EQ(back[1].sent, 12);
    EXPECT_EQ(back[1].received, 34);
}

TEST(MachineConnectors, RelativeLogsGoUnderTheServicesFolder) {
    std::vector<ConnectorSettings> logs(4);
    logs[0].logFile = "vm.log";
    logs[1].logFile = "C:vm.log";  // relative to a drive's current folder: not absolute
    logs[2].logFile = "D:\\logs\\vm.log";
    logs[3].logFile = "\\\\server\\logs\\vm.log";
    std::vector<ConnectorSettings> placed = service::WithLogsUnder(logs, "C:\\ProgramData\\tolvi");
    EXPECT_EQ(placed[0].logFile, "C:\\ProgramData\\tolvi\\vm.log");
    EXPECT_EQ(placed[1].logFile, "C:\\ProgramData\\tolvi\\C:vm.log");
    EXPECT_EQ(placed[2].logFile, logs[2].logFile);
    EXPECT_EQ(placed[3].logFile, logs[3].logFile);
}

}  // namespace
}  // namespace tolvi::test
