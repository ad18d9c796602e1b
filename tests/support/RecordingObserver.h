// What a connector tells its observer, recorded in order as a host would print it.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "engine/ConnectorObserver.h"
#include "engine/ConnectorStatus.h"

namespace tolvi::test {

class RecordingObserver : public ConnectorObserver {
  public:
    void OnStatusChanged(const PipeConnector&, int32_t status) override {
        Add(std::string("status ") + StatusWord(status));
    }
    void OnClientArrived(const PipeConnector&, const std::string& a) override {
        Add("arrived " + a);
    }
    void OnClientRefused(const PipeConnector&, const std::string& a) override {
        Add("refused " + a);
    }
    void OnClientBusy(const PipeConnector&, const std::string& a) override { Add("busy " + a); }
    void OnClientLeft(const PipeConnector&, const std::string& a) override { Add("left " + a); }
    void OnPipeAttached(const PipeConnector&) override { Add("pipe attached"); }
    void OnPipeLost(const PipeConnector&) override { Add("pipe lost"); }
    void OnErrorText(const PipeConnector&, const std::string& t) override { Add("error " + t); }
    void OnNotice(const PipeConnector&, const std::string& t) override { Add("notice " + t); }
    void OnConsoleAlert(const PipeConnector&, const ConsoleAlert& a) override {
        Add("console alert " + a.pattern + ": " + a.line + " +" + std::to_string(a.more));
    }
    void OnAlert(const PipeConnector&, const std::string& t) override {
        Add("alert " + t);
        std::lock_guard<std::mutex> hold(lock);
        alerts.push_back(t);
    }

    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> hold(lock);
        return events;
    }
    std::vector<std::string> Alerts() const {
        std::lock_guard<std::mutex> hold(lock);
        return alerts;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(lock);
        events.clear();
        alerts.clear();
    }

  private:
    void Add(const std::string& e) {
        std::lock_guard<std::mutex> hold(lock);
        events.push_back(e);
    }
    mutable std::mutex lock;
    std::vector<std::string> events;
    std::vector<std::string> alerts;
};

}  // namespace tolvi::test
