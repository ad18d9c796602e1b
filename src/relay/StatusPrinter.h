// What tolvi-relay prints as it runs: one line per real transition of each connector, stamped
// to the millisecond; the workers of several connectors print through it at once.
#pragma once
#include <mutex>
#include <string>

#include "engine/AuditSink.h"
#include "engine/ConnectorObserver.h"
#include "ssh/ConsoleDirectory.h"

namespace tolvi::relay {

class StatusPrinter : public ConnectorObserver, public ssh::SshEvents {
  public:
    // The most characters of a line; what is longer is cut.
    static constexpr size_t kLongestLine = 8192;
    void Line(const std::string& text);
    // "[2323 \\.\pipe\com1 "description"]"
    static std::string Label(const PipeConnector& c);

    // Only the real transitions: a client arriving or leaving, the pipe opening or going
    // away; the status words that follow from them would say each one twice.
    void OnStatusChanged(const PipeConnector& c, int32_t status) override;
    void OnPipeAttached(const PipeConnector& c) override;
    void OnPipeLost(const PipeConnector& c) override;
    void OnPipeClosed(const PipeConnector& c) override;
    void OnClientArrived(const PipeConnector& c, const std::string& address) override;
    void OnClientRefused(const PipeConnector& c, const std::string& address) override;
    void OnClientBusy(const PipeConnector& c, const std::string& address) override;
    void OnClientLeft(const PipeConnector& c, const std::string& address) override;
    void OnNotice(const PipeConnector& c, const std::string& text) override;
    void OnErrorText(const PipeConnector& c, const std::string& text) override;
    void OnAlert(const PipeConnector& c, const std::string& text) override;
    // "alert: PATTERN: LINE", and how many matches the quiet time kept back.
    void OnConsoleAlert(const PipeConnector& c, const ConsoleAlert& alert) override;
    // "alerts: 1,234 lines not matched, the console is faster than its patterns"
    void OnAlertLinesSkipped(const PipeConnector& c, uint64_t lines) override;
    void OnSshNotice(const std::string& line) override { Line(line); }
    // The SSH server's refused logins, to the audit trail once there is one.
    void SetAudit(AuditSink* sink) { audit = sink; }
    void OnLoginRefused(const std::string& address, const std::string& userAsSent,
                        const std::string& keyFingerprint) override {
        if (audit)
            audit->LoginRefused(address, userAsSent, keyFingerprint);
    }

  private:
    std::mutex lock;
    AuditSink* audit = nullptr;
};

}  // namespace tolvi::relay
