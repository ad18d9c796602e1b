// The service's life as the Service Control Manager sees it: the states in their order with
// checkpoints that advance while pending, a start that never waits for a pipe, a stop within
// its announced time, and a failure that ends with our code so that recovery actions fire.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "service/ServiceRunner.h"
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
    void Reloaded(int, int, int) override { Note("reloaded"); }
    void ConnectorProblem(const std::string&, const std::string& t) override { Note(t); }
    void PipeAttached(const std::string&) override {}
    void PipeLost(const std::string&) override {}
    void ClientAdmitted(const std::string&, const std::string&) override {}
    void ClientRefused(const std::string&, const std::string&) override {}

    std::mutex lock;
    std::vector<ServiceReport> reports;
    std::vector<std::string> log;
};

class Source : public service::ConnectorSource {
  public:
    bool Load(std::vector<ConnectorSettings>* settings, std::string* problem) override {
        *settings = connectors;
        *problem = "access denied";
        return readable;
    }
    std::vector<ConnectorSettings> connectors;
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

}  // namespace
}  // namespace tolvi::test
